// The embedded pictures and the JPEG decoder: sizes, colours, and refusal of damaged data
// without ending the process.
#include "resources/Pictures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

using kvres::Image;
using kvres::PictureId;
using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    int r, g, b;
};

Rgb pixelAt(const Image& image, int x, int y) {
    const std::uint8_t* p = &image.rgb[(static_cast<std::size_t>(y) * image.width + x) * 3];
    return {p[0], p[1], p[2]};
}

// Encodes pixels (components = 1 grey or 3 RGB) with libjpeg into memory.
Bytes encode(int width, int height, int components, const Bytes& pixels) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            &pixels[static_cast<std::size_t>(cinfo.next_scanline) * width * components]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes bytesOf(PictureId id) {
    const auto span = kvres::pictureBytes(id);
    return Bytes(span.begin(), span.end());
}

// --- the embedded pictures ---------------------------------------------------------------

struct EmbeddedCase {
    const char* name;
    PictureId id;
    int width, height;
    Rgb corner;  // colour of the top-left pixel, roughly
};

class EmbeddedPicture : public testing::TestWithParam<EmbeddedCase> {};

TEST_P(EmbeddedPicture, DecodesToItsSizeAndColours) {
    const EmbeddedCase& c = GetParam();
    Image image;
    std::string error;
    ASSERT_TRUE(kvres::decodeJpeg(kvres::pictureBytes(c.id), image, error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
    ASSERT_EQ(image.rgb.size(), static_cast<std::size_t>(c.width) * c.height * 3);
    const Rgb corner = pixelAt(image, 0, 0);
    EXPECT_NEAR(corner.r, c.corner.r, 12);
    EXPECT_NEAR(corner.g, c.corner.g, 12);
    EXPECT_NEAR(corner.b, c.corner.b, 12);
    // A drawing, not a blank: a fair share of pixels stands out from the background.
    int marked = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb p = pixelAt(image, x, y);
            marked +=
                std::abs(p.r - corner.r) + std::abs(p.g - corner.g) + std::abs(p.b - corner.b) >
                150;
        }
    EXPECT_GT(marked, c.width * c.height / 50);
}

void PrintTo(const EmbeddedCase& c, std::ostream* os) {
    *os << c.name;
}

TEST(EmbeddedPictureFiles, AreTheCommittedFilesByteForByte) {
    const std::pair<PictureId, const char*> files[] = {{PictureId::Logo, "logo.jpg"},
                                                       {PictureId::WiringDiagram, "wiring.jpg"},
                                                       {PictureId::Icon, "icon.jpg"}};
    for (const auto& [id, name] : files) {
        SCOPED_TRACE(name);
        const std::string path = std::string(KV_RESOURCES_DIR) + "/" + name;
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << path;
        const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytesOf(id), file);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, EmbeddedPicture,
    testing::Values(EmbeddedCase{"Logo", PictureId::Logo, 649, 259, {255, 255, 255}},
                    EmbeddedCase{
                        "WiringDiagram", PictureId::WiringDiagram, 516, 374, {255, 255, 255}},
                    EmbeddedCase{"Icon", PictureId::Icon, 64, 64, {18, 70, 140}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- damaged data --------------------------------------------------------------------------

struct DamagedCase {
    const char* name;
    Bytes (*make)();
};

Bytes truncatedLogo(double keep) {
    Bytes b = bytesOf(PictureId::Logo);
    b.resize(static_cast<std::size_t>(static_cast<double>(b.size()) * keep));
    return b;
}

// A valid small JPEG whose frame header claims a huge picture.
Bytes hugeFrame(int width, int height) {
    Bytes b = encode(8, 8, 3, Bytes(8 * 8 * 3, 128));
    for (std::size_t i = 0; i + 8 < b.size(); ++i)
        if (b[i] == 0xFF && b[i + 1] == 0xC0) {  // SOF0: length(2) precision(1) height(2) width(2)
            b[i + 5] = static_cast<std::uint8_t>(height >> 8);
            b[i + 6] = static_cast<std::uint8_t>(height);
            b[i + 7] = static_cast<std::uint8_t>(width >> 8);
            b[i + 8] = static_cast<std::uint8_t>(width);
            return b;
        }
    ADD_FAILURE() << "no SOF0 marker in the encoded test picture";
    return b;
}

const DamagedCase kDamaged[] = {
    {"Empty", [] { return Bytes{}; }},
    {"StartMarkerOnly",
     [] {
         return Bytes{0xFF, 0xD8};
     }},
    {"Text", [] { return Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'j', 'p', 'e', 'g'}; }},
    {"Garbage",
     [] {
         Bytes b(4096);
         unsigned x = 12345;
         for (auto& v : b) v = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
         return b;
     }},
    {"GarbageAfterStartMarker",
     [] {
         Bytes b(4096, 0x5A);
         b[0] = 0xFF, b[1] = 0xD8;
         return b;
     }},
    {"TruncatedInHeader", [] { return truncatedLogo(0.002); }},
    {"TruncatedHalfway", [] { return truncatedLogo(0.5); }},
    {"TruncatedNearEnd", [] { return truncatedLogo(0.99); }},
    {"WiderThanLimit", [] { return hugeFrame(kvres::kMaxJpegSide + 1, 8); }},
    {"TooManyPixels", [] { return hugeFrame(8000, 8000); }},
};

void PrintTo(const DamagedCase& c, std::ostream* os) {
    *os << c.name;
}

class DamagedJpeg : public testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedJpeg, IsRefusedWithAReasonAndTheDecoderStaysUsable) {
    const Bytes data = GetParam().make();
    Image image;
    image.width = 3;  // stale content must not survive a failed decode
    image.rgb.assign(9, 1);
    std::string error;
    EXPECT_FALSE(kvres::decodeJpeg(data, image, error));
    EXPECT_NE(error.find("JPEG decoding failed: "), std::string::npos) << error;
    EXPECT_GT(error.size(), std::string("JPEG decoding failed: ").size());
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_TRUE(image.rgb.empty());

    // The process goes on, and the next decode works.
    ASSERT_TRUE(kvres::decodeJpeg(kvres::pictureBytes(PictureId::Icon), image, error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(image.width, 64);
}

INSTANTIATE_TEST_SUITE_P(Inputs, DamagedJpeg, testing::ValuesIn(kDamaged),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedJpeg, LimitsNameTheSize) {
    Image image;
    std::string error;
    EXPECT_FALSE(kvres::decodeJpeg(hugeFrame(9000, 16), image, error));
    EXPECT_NE(error.find("too large (9000 x 16)"), std::string::npos) << error;
}

// --- known patterns ------------------------------------------------------------------------

TEST(KnownPattern, ColourQuadrantsKeepTheirChannels) {
    // Four 16 x 16 blocks: red, green / blue, yellow.
    const Rgb colours[2][2] = {{{220, 20, 20}, {20, 200, 40}}, {{30, 40, 210}, {230, 220, 30}}};
    const int w = 32, h = 32;
    Bytes pixels(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb& c = colours[y / 16][x / 16];
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * w + x) * 3];
            p[0] = static_cast<std::uint8_t>(c.r);
            p[1] = static_cast<std::uint8_t>(c.g);
            p[2] = static_cast<std::uint8_t>(c.b);
        }
    Image image;
    std::string error;
    ASSERT_TRUE(kvres::decodeJpeg(encode(w, h, 3, pixels), image, error)) << error;
    ASSERT_EQ(image.width, w);
    ASSERT_EQ(image.height, h);
    for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx) {
            const Rgb want = colours[qy][qx];
            const Rgb got = pixelAt(image, qx * 16 + 8, qy * 16 + 8);
            SCOPED_TRACE(testing::Message() << "quadrant " << qx << "," << qy);
            EXPECT_NEAR(got.r, want.r, 16);
            EXPECT_NEAR(got.g, want.g, 16);
            EXPECT_NEAR(got.b, want.b, 16);
        }
}

TEST(KnownPattern, GreyPictureComesOutAsEqualChannels) {
    const int w = 16, h = 8;
    Bytes pixels(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels[static_cast<std::size_t>(y) * w + x] = x < 8 ? 30 : 220;
    Image image;
    std::string error;
    ASSERT_TRUE(kvres::decodeJpeg(encode(w, h, 1, pixels), image, error)) << error;
    ASSERT_EQ(image.rgb.size(), static_cast<std::size_t>(w) * h * 3);
    for (const auto& [x, level] : {std::pair{2, 30}, std::pair{13, 220}}) {
        const Rgb got = pixelAt(image, x, 4);
        EXPECT_NEAR(got.r, level, 10);
        EXPECT_EQ(got.r, got.g);
        EXPECT_EQ(got.g, got.b);
    }
}

}  // namespace
