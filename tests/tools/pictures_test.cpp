// The picture generator: its PNG writer (read back with libpng, which also checks every
// chunk's CRC), the desktop icon drawn at each installed size, the committed JPEG copies and
// the committed Windows program icon.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "Canvas.h"
#include "IcoFile.h"
#include "Pictures.h"
#include "PngFile.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class TempDir {
public:
    TempDir()
        : path_(fs::temp_directory_path() / ("kv-pictures-test-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

struct Decoded {
    int width = 0, height = 0;
    Bytes rgb;
    std::string error;
};

Bytes fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Decoded readPngBytes(const Bytes& bytes) {
    Decoded d;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        d.error = image.message;
        return d;
    }
    image.format = PNG_FORMAT_RGB;
    d.width = static_cast<int>(image.width);
    d.height = static_cast<int>(image.height);
    d.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr)) d.error = image.message;
    png_image_free(&image);
    return d;
}

Decoded readPng(const fs::path& path) {
    return readPngBytes(fileBytes(path));
}

std::uint32_t bigEndian32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | std::uint32_t{b[at + 3]};
}

// A picture whose pixels all differ, so a shifted row or swapped channel shows.
Bytes pattern(int width, int height) {
    Bytes rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            rgb.push_back(static_cast<std::uint8_t>(x * 37 + y * 11));
            rgb.push_back(static_cast<std::uint8_t>(255 - y * 29));
            rgb.push_back(static_cast<std::uint8_t>(x * 3 + y * 101 + 7));
        }
    return rgb;
}

struct Picture {
    const char* name;
    int width, height;
    Bytes rgb;
};

void PrintTo(const Picture& p, std::ostream* os) {
    *os << p.name;
}

Picture fromCanvas(const char* name, const kvpic::Canvas& c) {
    return {name, c.width(), c.height(), c.rgb()};
}

// --- the PNG writer ----------------------------------------------------------------------

class PngRoundTrip : public testing::TestWithParam<Picture> {};

TEST_P(PngRoundTrip, ReadsBackPixelForPixel) {
    const Picture& p = GetParam();
    const TempDir dir;
    const fs::path path = dir / "picture.png";
    ASSERT_EQ(kvpic::writePng(path.string(), p.width, p.height, p.rgb), "");

    const Decoded d = readPng(path);
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.width, p.width);
    EXPECT_EQ(d.height, p.height);
    EXPECT_EQ(d.rgb, p.rgb);

    // Signature, then IHDR first: size, 8 bits, truecolour, no interlacing.
    const Bytes b = fileBytes(path);
    ASSERT_GE(b.size(), 33u);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 8),
              (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}));
    EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "IHDR");
    EXPECT_EQ(bigEndian32(b, 16), static_cast<std::uint32_t>(p.width));
    EXPECT_EQ(bigEndian32(b, 20), static_cast<std::uint32_t>(p.height));
    EXPECT_EQ(b[24], 8);
    EXPECT_EQ(b[25], 2);
    EXPECT_EQ(b[28], 0);
    EXPECT_EQ(std::string(b.end() - 8, b.end() - 4), "IEND");
}

INSTANTIATE_TEST_SUITE_P(Pictures, PngRoundTrip,
                         testing::Values(Picture{"one_pixel", 1, 1, {200, 10, 30}},
                                         Picture{"odd_width", 3, 5, pattern(3, 5)},
                                         Picture{"one_row", 97, 1, pattern(97, 1)},
                                         Picture{"one_column", 1, 41, pattern(1, 41)},
                                         fromCanvas("icon_16", kvpic::drawIcon(16)),
                                         fromCanvas("icon_256", kvpic::drawIcon(256)),
                                         fromCanvas("wiring", kvpic::drawWiringDiagram())),
                         [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    int width, height;
    std::size_t bytes;
    bool missingFolder;
};

class PngRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(PngRefusal, SaysWhyAndWritesNothing) {
    const Refusal& r = GetParam();
    const TempDir dir;
    const fs::path path = r.missingFolder ? dir / "absent/picture.png" : dir / "picture.png";
    EXPECT_NE(kvpic::writePng(path.string(), r.width, r.height, Bytes(r.bytes, 0)), "");
    EXPECT_FALSE(fs::exists(path));
}

INSTANTIATE_TEST_SUITE_P(Cases, PngRefusal,
                         testing::Values(Refusal{"no_width", 0, 4, 0, false},
                                         Refusal{"negative_height", 2, -1, 0, false},
                                         Refusal{"too_few_bytes", 4, 4, 47, false},
                                         Refusal{"too_many_bytes", 4, 4, 49, false},
                                         Refusal{"missing_folder", 4, 4, 48, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the desktop icon at each size -------------------------------------------------------

// The picture averaged down to n x n blocks (the size must be a multiple of n).
std::vector<double> blocks(const kvpic::Canvas& c, int n) {
    const Bytes rgb = c.rgb();
    const int step = c.width() / n;
    std::vector<double> out(static_cast<std::size_t>(n) * n * 3, 0.0);
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x)
            for (int ch = 0; ch < 3; ++ch)
                out[(static_cast<std::size_t>(y / step) * n + x / step) * 3 + ch] +=
                    rgb[(static_cast<std::size_t>(y) * c.width() + x) * 3 + ch];
    for (double& v : out) v /= step * step;
    return out;
}

class DesktopIcon : public testing::TestWithParam<int> {};

// Every size shows the same drawing: seen as 8 x 8 blocks it matches the largest icon
// (the smaller sizes may shift the letters by up to half a pixel to keep them sharp).
TEST_P(DesktopIcon, IsTheLargestIconScaledDown) {
    const int size = GetParam();
    const kvpic::Canvas icon = kvpic::drawIcon(size);
    ASSERT_EQ(icon.width(), size);
    ASSERT_EQ(icon.height(), size);
    const std::vector<double> got = blocks(icon, 8);
    const std::vector<double> want = blocks(kvpic::drawIcon(256), 8);
    double sum = 0, worst = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        sum += std::abs(got[i] - want[i]);
        worst = std::max(worst, std::abs(got[i] - want[i]));
    }
    EXPECT_LT(sum / static_cast<double>(got.size()), 4.0) << "mean difference per channel";
    EXPECT_LT(worst, 90.0) << "largest difference of one block's channel";
}

INSTANTIATE_TEST_SUITE_P(InstalledSizes, DesktopIcon, testing::ValuesIn(kvpic::kIconSizes));

// --- the committed window pictures ---------------------------------------------------------

Decoded readJpeg(const fs::path& path) {
    Decoded d;
    const Bytes data = fileBytes(path);
    if (data.empty()) {
        d.error = "cannot read " + path.string();
        return d;
    }
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);  // the committed files are well-formed
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    d.width = static_cast<int>(cinfo.output_width);
    d.height = static_cast<int>(cinfo.output_height);
    d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &d.rgb[static_cast<std::size_t>(cinfo.output_scanline) * d.width * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return d;
}

struct Committed {
    const char* file;
    kvpic::Canvas (*draw)();
};

void PrintTo(const Committed& c, std::ostream* os) {
    *os << c.file;
}

class CommittedPicture : public testing::TestWithParam<Committed> {};

// The drawings and the JPEG files the window embeds have not drifted apart (JPEG is lossy,
// so the comparison allows a small mean difference).
TEST_P(CommittedPicture, MatchesTheDrawing) {
    const Committed& c = GetParam();
    const Decoded d = readJpeg(fs::path(KV_RESOURCES_DIR) / c.file);
    ASSERT_EQ(d.error, "");
    const kvpic::Canvas canvas = c.draw();
    ASSERT_EQ(d.width, canvas.width());
    ASSERT_EQ(d.height, canvas.height());
    const Bytes drawn = canvas.rgb();
    double sum = 0;
    for (std::size_t i = 0; i < drawn.size(); ++i) sum += std::abs(drawn[i] - d.rgb[i]);
    EXPECT_LT(sum / static_cast<double>(drawn.size()), 2.0);
}

INSTANTIATE_TEST_SUITE_P(Resources, CommittedPicture,
                         testing::Values(Committed{"icon.jpg", kvpic::drawIcon},
                                         Committed{"logo.jpg", kvpic::drawLogo},
                                         Committed{"wiring.jpg", kvpic::drawWiringDiagram}),
                         [](const auto& info) {
                             const std::string f = info.param.file;
                             return f.substr(0, f.find('.'));
                         });

// --- the Windows program icon ------------------------------------------------------------

std::uint32_t littleEndian(const Bytes& b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::size_t>(i)];
    return v;
}

// The committed .ico, read as Windows reads it: its directory, and each entry's PNG, which must
// be the icon drawn at that size pixel for pixel (so the file and the drawing have not drifted
// apart either).
TEST(ProgramIcon, HoldsTheIconDrawnAtEachSize) {
    const Bytes ico = fileBytes(fs::path(KV_RESOURCES_DIR) / "kv480t-config.ico");
    ASSERT_GE(ico.size(), 6u);
    EXPECT_EQ(littleEndian(ico, 0, 2), 0u);
    EXPECT_EQ(littleEndian(ico, 2, 2), 1u);  // an icon, not a cursor
    const std::size_t count = littleEndian(ico, 4, 2);
    ASSERT_EQ(count, std::size(kvpic::kProgramIconSizes));
    ASSERT_GE(ico.size(), 6 + 16 * count);
    std::size_t expectedOffset = 6 + 16 * count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        const int size = kvpic::kProgramIconSizes[i];
        EXPECT_EQ(ico[entry], size == 256 ? 0 : size);
        EXPECT_EQ(ico[entry + 1], size == 256 ? 0 : size);
        const std::size_t length = littleEndian(ico, entry + 8, 4);
        const std::size_t offset = littleEndian(ico, entry + 12, 4);
        EXPECT_EQ(offset, expectedOffset) << "pictures follow the directory without gaps";
        ASSERT_LE(offset + length, ico.size());
        expectedOffset = offset + length;
        const Decoded d =
            readPngBytes(Bytes(ico.begin() + static_cast<std::ptrdiff_t>(offset),
                               ico.begin() + static_cast<std::ptrdiff_t>(offset + length)));
        ASSERT_EQ(d.error, "") << size;
        EXPECT_EQ(d.width, size);
        EXPECT_EQ(d.height, size);
        EXPECT_TRUE(d.rgb == kvpic::drawIcon(size).rgb()) << size;
    }
    EXPECT_EQ(expectedOffset, ico.size());
}

TEST(ProgramIcon, RefusesWhatAnIconFileCannotHold) {
    std::string error;
    EXPECT_TRUE(kvpic::encodeIco({}, error).empty());
    EXPECT_FALSE(error.empty());
    for (const int size : {0, -1, 257}) {
        const kvpic::IconImage image{
            size, Bytes(size > 0 ? static_cast<std::size_t>(size) * size * 3 : 0)};
        EXPECT_TRUE(kvpic::encodeIco({image}, error).empty()) << size;
        EXPECT_NE(error.find(std::to_string(size)), std::string::npos) << error;
    }
    // A picture whose pixels do not fill its size.
    EXPECT_TRUE(kvpic::encodeIco({{16, Bytes(10)}}, error).empty());
    EXPECT_EQ(error, "picture size mismatch");
    EXPECT_FALSE(kvpic::encodeIco({{1, Bytes(3)}, {256, pattern(256, 256)}}, error).empty());
    EXPECT_EQ(error, "");
}

}  // namespace
