// The embedded pictures as QImages: sizes, format, and the same pixels as the decoder gives
// (QImage pads its rows; the decoder's are packed).
#include "main1/adapters/Pictures.h"

#include <gtest/gtest.h>

namespace {

using kvres::PictureId;

TEST(PicturesAdapterTest, EveryPictureBecomesAnRgbImageWithTheDecodedPixels) {
    struct Case {
        PictureId id;
        int width, height;
    };
    const Case cases[] = {{PictureId::Logo, 649, 259},
                          {PictureId::WiringDiagram, 516, 374},
                          {PictureId::Icon, 64, 64}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        QString error = QStringLiteral("stale");
        const QImage image = kvmain::loadPicture(c.id, &error);
        ASSERT_FALSE(image.isNull()) << error.toStdString();
        EXPECT_TRUE(error.isEmpty());
        EXPECT_EQ(image.size(), QSize(c.width, c.height));
        EXPECT_EQ(image.format(), QImage::Format_RGB888);

        kvres::Image raw;
        std::string rawError;
        ASSERT_TRUE(kvres::decodeJpeg(kvres::pictureBytes(c.id), raw, rawError));
        int mismatches = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const std::uint8_t* p = &raw.rgb[(static_cast<std::size_t>(y) * c.width + x) * 3];
                mismatches += image.pixel(x, y) != qRgb(p[0], p[1], p[2]);
            }
        EXPECT_EQ(mismatches, 0);
    }
    // The icon's background is the brand blue: red and blue are not swapped.
    const QColor corner = kvmain::loadPicture(PictureId::Icon, nullptr).pixelColor(0, 0);
    EXPECT_LT(corner.red(), 60);
    EXPECT_GT(corner.blue(), 110);
}

TEST(PicturesAdapterTest, DamagedJpegGivesANullImageAndTheReason) {
    const auto logo = kvres::pictureBytes(PictureId::Logo);
    QString error;
    const QImage image = kvmain::decodeToQImage(logo.first(logo.size() / 2), &error);
    EXPECT_TRUE(image.isNull());
    EXPECT_TRUE(error.startsWith(QStringLiteral("JPEG decoding failed: "))) << error.toStdString();

    const std::uint8_t garbage[] = {1, 2, 3, 4, 5};
    EXPECT_TRUE(kvmain::decodeToQImage(garbage, nullptr).isNull());  // no error text wanted
}

}  // namespace
