#include "PngFile.h"

#include <zlib.h>

#include <cstdio>

namespace kvpic {

namespace {

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

// A chunk: length, type, data, CRC over type and data.
void putChunk(std::vector<std::uint8_t>& out, const char (&type)[5],
              const std::vector<std::uint8_t>& data) {
    putBigEndian32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc =
        crc32(crc32(0L, Z_NULL, 0), out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    putBigEndian32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::vector<std::uint8_t> encodePng(int width, int height, const std::vector<std::uint8_t>& rgb,
                                    std::string& error) {
    error.clear();
    if (width <= 0 || height <= 0) {
        error = "picture has no pixels";
        return {};
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (rgb.size() != rowBytes * height) {
        error = "picture size mismatch";
        return {};
    }

    // Each row is preceded by its filter type byte (0: none).
    std::vector<std::uint8_t> raw;
    raw.reserve((rowBytes + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * y);
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(rowBytes));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        error = "zlib could not compress the picture";
        return {};
    }
    packed.resize(packedSize);

    std::vector<std::uint8_t> header;
    putBigEndian32(header, static_cast<std::uint32_t>(width));
    putBigEndian32(header, static_cast<std::uint32_t>(height));
    // Bit depth 8, colour type 2 (RGB), deflate, adaptive filtering, no interlace.
    header.insert(header.end(), {8, 2, 0, 0, 0});

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    putChunk(file, "IHDR", header);
    putChunk(file, "IDAT", packed);
    putChunk(file, "IEND", {});
    return file;
}

std::string writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return "cannot create " + path;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    // fclose flushes: a full disk may only show here.
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) return "cannot write " + path;
    return {};
}

std::string writePng(const std::string& path, int width, int height,
                     const std::vector<std::uint8_t>& rgb) {
    std::string error;
    const std::vector<std::uint8_t> file = encodePng(width, height, rgb, error);
    if (!error.empty()) return error;
    return writeFile(path, file);
}

}  // namespace kvpic
