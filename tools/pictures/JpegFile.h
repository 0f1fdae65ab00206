#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvpic {

// Writes an RGB picture (rows top to bottom, 3 bytes per pixel) as a baseline JPEG.
// Returns an error text, empty on success.
std::string writeJpeg(const std::string& path, int width, int height,
                      const std::vector<std::uint8_t>& rgb, int quality);

}  // namespace kvpic
