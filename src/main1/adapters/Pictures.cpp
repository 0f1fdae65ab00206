#include "main1/adapters/Pictures.h"

#include <cstring>

namespace kvmain {
namespace {

const char* pictureName(PictureId id) {
    switch (id) {
        case PictureId::Logo:
            return "logo";
        case PictureId::WiringDiagram:
            return "wiring diagram";
        case PictureId::Icon:
            return "icon";
    }
    return "picture";
}

}  // namespace

QImage decodeToQImage(std::span<const std::uint8_t> jpeg, QString* error) {
    kvres::Image decoded;
    std::string reason;
    if (!kvres::decodeJpeg(jpeg, decoded, reason)) {
        if (error) *error = QString::fromStdString(reason);
        return {};
    }
    QImage image(decoded.width, decoded.height, QImage::Format_RGB888);
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("out of memory for a %1 x %2 picture")
                         .arg(decoded.width)
                         .arg(decoded.height);
        return {};
    }
    // QImage pads its rows to 4 bytes; the decoded rows are packed.
    const std::size_t rowBytes = static_cast<std::size_t>(decoded.width) * 3;
    for (int y = 0; y < decoded.height; ++y)
        std::memcpy(image.scanLine(y), &decoded.rgb[rowBytes * static_cast<std::size_t>(y)],
                    rowBytes);
    if (error) error->clear();
    return image;
}

QImage loadPicture(PictureId id, QString* error) {
    QImage image = decodeToQImage(kvres::pictureBytes(id), error);
    if (image.isNull() && error)
        *error = QStringLiteral("The %1 could not be shown: %2")
                     .arg(QLatin1StringView(pictureName(id)), *error);
    return image;
}

}  // namespace kvmain
