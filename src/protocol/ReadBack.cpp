#include "protocol/ReadBack.h"

#include "protocol/Conversions.h"

namespace kvproto {

namespace {

constexpr ReadBackValue text(std::size_t offset, std::size_t width, std::string_view control) {
    return {offset, width, false, control};
}
constexpr ReadBackValue index(std::size_t offset, std::string_view control) {
    return {offset, 1, true, control};
}
constexpr ReadBackRow row(std::string_view tag, ReadBackValue value) {
    return {tag, {value, {}, {}}, 1};
}
constexpr ReadBackRow channel(std::string_view tag, std::string_view urv, std::string_view lrv,
                              std::string_view start) {
    return {tag, {text(5, 6, urv), text(12, 6, lrv), text(19, 5, start)}, 3};
}

constexpr std::array<ReadBackRow, 17> kRows{{
    row("TC1:", text(4, 3, "Station")),
    row("ZOM", text(4, 5, "Edit1")),
    row("MDL", index(4, "ComboBox1")),
    row("MKT", text(4, 3, "Edit2")),
    channel("AIN1:", "AD1H", "AD1L", "AD1LD"),
    channel("AIN2:", "AD2H", "AD2L", "AD2LD"),
    channel("AIN3:", "AD3H", "AD3L", "AD3LD"),
    channel("AIN4:", "AD4H", "AD4L", "AD4LD"),
    row("AXS1:", text(5, 4, "AD1XISHU")),
    row("AXS2:", text(5, 4, "AD2XISHU")),
    row("AXS3:", text(5, 4, "AD3XISHU")),
    row("AXS4:", text(5, 4, "AD4XISHU")),
    {"DI01:", {index(5, "DIN1"), index(7, "DIN2"), {}}, 2},
    {"ARS485X:", {index(8, "MR485BT"), index(10, "MR485JN"), {}}, 2},
    row("BRS485X:", index(8, "BRS485NX")),
    row("MTM:", text(4, 3, "Edit3")),
    row("PUDL", index(5, "PUDLING")),
}};

}  // namespace

std::span<const ReadBackRow> readBackRows() {
    return kRows;
}

std::size_t findTag(std::string_view reply, std::string_view tag) {
    return reply.find(tag);
}

void applyReadBack(std::string_view reply, Controls& controls) {
    for (const ReadBackRow& r : kRows) {
        const std::size_t at = findTag(reply, r.tag);
        if (at == std::string_view::npos) continue;
        bool fits = true;
        for (const ReadBackValue& v : r.valueSpan()) {
            if (at + v.offset + v.width > reply.size()) fits = false;
        }
        if (!fits) continue;
        for (const ReadBackValue& v : r.valueSpan()) {
            const std::string_view chars = reply.substr(at + v.offset, v.width);
            if (v.isIndex) {
                controls.setItemIndex(v.control, strToInt(chars));
            } else {
                controls.setText(v.control, chars);
            }
        }
    }
}

}  // namespace kvproto
