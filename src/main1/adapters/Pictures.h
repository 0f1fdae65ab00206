// The embedded pictures as QImages, decoded with libjpeg (not through Qt's image plug-ins).
#pragma once

#include <QImage>
#include <QString>

#include "resources/Pictures.h"

namespace kvmain {

using kvres::PictureId;

// An RGB888 image of the picture; a null image and, when `error` is given, a readable reason
// when the picture cannot be decoded.
QImage loadPicture(PictureId id, QString* error);

// Same for any JPEG file held in memory.
QImage decodeToQImage(std::span<const std::uint8_t> jpeg, QString* error);

}  // namespace kvmain
