#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvpic {

// One picture of an icon file: square, RGB (rows top to bottom, 3 bytes per pixel).
struct IconImage {
    int size = 0;  // 1 to 256 pixels
    std::vector<std::uint8_t> rgb;
};

// The bytes of a Windows icon file (.ico) holding `images` in the given order, each stored as
// PNG (as Windows Vista and later read them). Empty, with `error` set, for no images, a size
// outside 1..256 or a picture that cannot be encoded.
std::vector<std::uint8_t> encodeIco(const std::vector<IconImage>& images, std::string& error);

}  // namespace kvpic
