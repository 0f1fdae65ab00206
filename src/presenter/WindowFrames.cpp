#include "presenter/WindowFrames.h"

#include <vector>

#include "protocol/ReadBack.h"

namespace kvpresenter {

using kvproto::Encoding;
using kvproto::FieldSpec;
using kvproto::ReadBackSink;
using kvproto::ReadBackValue;

namespace {

class ControlsSink : public ReadBackSink {
public:
    explicit ControlsSink(Controls& controls) : controls_(controls) {}
    void text(const ReadBackValue& v, std::string_view chars) override {
        controls_.setText(v.control, chars);
    }
    void index(const ReadBackValue& v, int index) override {
        controls_.setItemIndex(v.control, index);
    }

private:
    Controls& controls_;
};

}  // namespace

std::string encodeField(const Controls& controls, const FieldSpec& field) {
    if (field.encoding == Encoding::Index)
        return kvproto::encodeValue(field.encoding, {controls.itemIndex(field.control), {}});
    return kvproto::encodeValue(field.encoding, {-1, controls.text(field.control)});
}

std::string buildSetFrame(std::string_view word, std::span<const FieldSpec> fields,
                          const Controls& controls) {
    std::vector<std::string> values;
    for (const FieldSpec& field : fields) values.push_back(encodeField(controls, field));
    return kvproto::assembleSetFrame(word, values);
}

void applyReadBack(std::string_view reply, Controls& controls) {
    ControlsSink sink(controls);
    kvproto::runReadBack(reply, sink);
}

}  // namespace kvpresenter
