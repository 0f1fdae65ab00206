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

std::string encodeField(const Controls& controls, const FieldSpec& field) {
    if (field.encoding == Encoding::Index)
        return encodeValue(field.encoding, {controls.itemIndex(field.control), {}});
    return encodeValue(field.encoding, {-1, controls.text(field.control)});
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

std::string buildSetFrame(std::string_view word, std::span<const FieldSpec> fields,
                          const Controls& controls) {
    std::vector<std::string> values;
    for (const FieldSpec& field : fields) values.push_back(encodeField(controls, field));
    return assembleSetFrame(word, values);
}

}  // namespace kvproto
