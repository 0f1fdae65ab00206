#include "protocol/Frames.h"

#include <string>
#include <vector>

#include "protocol/Conversions.h"

namespace kvproto {

std::string encodeValue(Encoding encoding, const EncodedField& field) {
    switch (encoding) {
        case Encoding::Index:
            return std::to_string(field.index);
        case Encoding::Pad3:
            return formatPadded(strToInt(field.text), 3);
        case Encoding::Pad8:
            return formatPadded(strToInt(field.text), 8);
        case Encoding::Text:
            return field.text;
    }
    return {};
}

std::string assembleSetFrame(std::string_view word, std::span<const std::string> values) {
    std::string frame(kSetPrefix);
    frame.append(word);
    frame += ':';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) frame += ',';
        frame += values[i];
    }
    frame += '#';
    return frame;
}

}  // namespace kvproto
