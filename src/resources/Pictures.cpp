#include "resources/Pictures.h"

#include "resources/EmbeddedPictures.h"

namespace kvres {

std::span<const std::uint8_t> pictureBytes(PictureId id) {
    switch (id) {
        case PictureId::Logo:
            return {embedded::logo, embedded::logoSize};
        case PictureId::WiringDiagram:
            return {embedded::wiring, embedded::wiringSize};
        case PictureId::Icon:
            return {embedded::icon, embedded::iconSize};
    }
    return {};
}

}  // namespace kvres
