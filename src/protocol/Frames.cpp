#include "protocol/Frames.h"

#include <string>

#include "protocol/Conversions.h"

namespace kvproto {

std::string encodeField(const Controls& controls, const FieldSpec& field) {
    switch (field.encoding) {
        case Encoding::Index:
            return std::to_string(controls.itemIndex(field.control));
        case Encoding::Pad3:
            return formatPadded(strToInt(controls.text(field.control)), 3);
        case Encoding::Pad8:
            return formatPadded(strToInt(controls.text(field.control)), 8);
        case Encoding::Text:
            return controls.text(field.control);
    }
    return {};
}

std::string buildSetFrame(std::string_view word, std::span<const FieldSpec> fields,
                          const Controls& controls) {
    std::string frame(kSetPrefix);
    frame.append(word);
    frame += ':';
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) frame += ',';
        frame += encodeField(controls, fields[i]);
    }
    frame += '#';
    return frame;
}

}  // namespace kvproto
