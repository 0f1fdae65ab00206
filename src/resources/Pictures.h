// The main window's pictures, embedded in the program as JPEG files, and a JPEG decoder
// built on libjpeg. No GUI toolkit in here: the window turns a decoded Image into its own
// picture type.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kvres {

enum class PictureId {
    Logo,           // 649 x 259, the header picture Image2
    WiringDiagram,  // 516 x 374, the "Wiring Diagram" page's Image1
    Icon,           // 64 x 64, the window icon
};

// The embedded JPEG file of a picture; lives for the whole program.
std::span<const std::uint8_t> pictureBytes(PictureId id);

// Decoded picture: rows top to bottom, three bytes (R, G, B) per pixel.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

// Largest picture decodeJpeg accepts, per side and in pixels.
inline constexpr int kMaxJpegSide = 8192;
inline constexpr long long kMaxJpegPixels = 16LL * 1024 * 1024;

// Decodes a JPEG file (greyscale or colour) into 8-bit RGB. On failure -- not a JPEG,
// corrupt or truncated data (libjpeg's warnings count as failure too), an unsupported
// colour space, or a picture larger than the limits above -- returns false with a
// readable reason in `error` and leaves `out` empty. Never ends the process.
bool decodeJpeg(std::span<const std::uint8_t> jpeg, Image& out, std::string& error);

}  // namespace kvres
