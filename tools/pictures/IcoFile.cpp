#include "IcoFile.h"

#include "PngFile.h"

namespace kvpic {

namespace {

void putLittleEndian16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    putLittleEndian16(out, v & 0xFFFF);
    putLittleEndian16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> encodeIco(const std::vector<IconImage>& images, std::string& error) {
    error.clear();
    if (images.empty() || images.size() > 0xFFFF) {
        error = "an icon file needs 1 to 65535 pictures";
        return {};
    }
    std::vector<std::vector<std::uint8_t>> pngs;
    for (const IconImage& image : images) {
        if (image.size < 1 || image.size > 256) {
            error = "icon size " + std::to_string(image.size) + " is outside 1..256";
            return {};
        }
        pngs.push_back(encodePng(image.size, image.size, image.rgb, error));
        if (!error.empty()) return {};
    }

    // ICONDIR: reserved, type 1 (icon), count; then one 16-byte ICONDIRENTRY per picture.
    std::vector<std::uint8_t> file;
    putLittleEndian16(file, 0);
    putLittleEndian16(file, 1);
    putLittleEndian16(file, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const auto side = static_cast<std::uint8_t>(images[i].size == 256 ? 0 : images[i].size);
        file.insert(file.end(), {side, side, 0, 0});  // width, height, no palette, reserved
        putLittleEndian16(file, 1);                   // colour planes
        putLittleEndian16(file, 24);                  // bits per pixel
        putLittleEndian32(file, static_cast<std::uint32_t>(pngs[i].size()));
        putLittleEndian32(file, offset);
        offset += static_cast<std::uint32_t>(pngs[i].size());
    }
    for (const std::vector<std::uint8_t>& png : pngs)
        file.insert(file.end(), png.begin(), png.end());
    return file;
}

}  // namespace kvpic
