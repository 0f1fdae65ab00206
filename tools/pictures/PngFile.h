#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvpic {

// An RGB picture (rows top to bottom, 3 bytes per pixel) as the bytes of a PNG file, as
// writePng writes it. Empty, with `error` set, when it cannot be encoded.
std::vector<std::uint8_t> encodePng(int width, int height, const std::vector<std::uint8_t>& rgb,
                                    std::string& error);

// Writes `bytes` to `path`. Returns an error text, empty on success.
std::string writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Writes an RGB picture (rows top to bottom, 3 bytes per pixel) as an 8-bit truecolour PNG
// (no interlacing, filter "none" on every row, zlib at its best compression).
// Returns an error text, empty on success.
std::string writePng(const std::string& path, int width, int height,
                     const std::vector<std::uint8_t>& rgb);

}  // namespace kvpic
