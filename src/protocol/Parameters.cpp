#include "protocol/Parameters.h"

#include <array>
#include <charconv>

namespace kvproto {

namespace {

using E = Encoding;
using S = SendSequence;
using K = ParameterKind;
using C = CharSet;
using D = DeviceRule;

constexpr std::array<std::string_view, 10> kBaudItems{
    "1200",     "2400",     "4800",     "9600",     "19200",
    "1200(DY)", "2400(DY)", "4800(DY)", "9600(DY)", "19200(DY)"};
constexpr std::array<std::string_view, 3> kParityItems{"None", "Odd", "Even"};
constexpr std::array<std::string_view, 2> kInputModeItems{"Digital Input Acquisition",
                                                          "Pulse Counting"};
// The two empty items after "1 pulse for 100 tons of water" name no equivalent.
constexpr std::array<std::string_view, 7> kPulseEqItems{"100 pulses per ton of water",
                                                        "10 pulses per ton of water",
                                                        "1 pulses per ton of water",
                                                        "1 pulse for 10 tons of water",
                                                        "1 pulse for 100 tons of water",
                                                        "",
                                                        ""};
constexpr std::array<std::string_view, 4> kOutputEqItems{"1", "0.1", "0.01", "0.001"};
constexpr std::array<std::string_view, 3> kInterfaceItems{"0_Close", "1_NET", "2_RS485"};

constexpr std::int64_t kEightDigits = 99'999'999;

// A drop-down list value.
constexpr Parameter list(std::string_view name, std::string_view control, std::string_view button,
                         std::string_view command, std::size_t field, S sequence,
                         std::span<const std::string_view> items, int readRow, std::string_view tag,
                         std::size_t offset, std::int64_t deviceMax) {
    return {name,  control,          button,   command, field,    sequence, E::Index,
            items, C::Numeric,       2,        false,   readRow,  tag,      offset,
            1,     K::Configuration, D::Index, 0,       deviceMax};
}

// An entry field value.
constexpr Parameter entry(std::string_view name, std::string_view control, std::string_view button,
                          std::string_view command, std::size_t field, S sequence, E encoding,
                          C chars, int width, bool keyFilter, int readRow, std::string_view tag,
                          std::size_t offset, std::size_t readWidth, K kind, D device,
                          std::int64_t deviceMin = 0, std::int64_t deviceMax = 0) {
    return {name,      control, button, command,   field,    sequence, encoding,
            {},        chars,   width,  keyFilter, readRow,  tag,      offset,
            readWidth, kind,    device, deviceMin, deviceMax};
}

// AINn: URV, LRV and starting point in one frame and one listing line.
constexpr Parameter analog(std::string_view name, std::string_view control, std::string_view button,
                           std::string_view command, std::size_t field, int readRow,
                           std::string_view tag) {
    constexpr std::size_t kOffsets[] = {5, 12, 19};
    constexpr int kWidths[] = {6, 6, 5};
    return entry(name, control, button, command, field, S::A, E::Text, C::SignedDecimal,
                 kWidths[field], true, readRow, tag, kOffsets[field],
                 static_cast<std::size_t>(kWidths[field]), K::Configuration, D::SignedDecimal);
}

constexpr Parameter coefficient(std::string_view name, std::string_view control,
                                std::string_view button, std::string_view command, int readRow,
                                std::string_view tag) {
    return entry(name, control, button, command, 0, S::A, E::Text, C::SignedDecimal, 4, false,
                 readRow, tag, 5, 4, K::Configuration, D::Decimal);
}

constexpr std::array<Parameter, kParameterCount> kParameters{{
    list("rs485.baud", "MR485BT", "Button188", "AR485X", 0, S::A, kBaudItems, 14, "ARS485X:", 8, 9),
    list("rs485.parity", "MR485JN", "Button188", "AR485X", 1, S::A, kParityItems, 14,
         "ARS485X:", 10, 2),
    entry("rs485.address", "Station", "Button4", "ST", 0, S::A, E::Pad3, C::Numeric, 6, true, 1,
          "TC1:", 4, 3, K::Identity, D::Unsigned, 1, 247),
    list("din1.mode", "DIN1", "Button46", "DI01", 0, S::A, kInputModeItems, 13, "DI01:", 5, 1),
    list("din2.mode", "DIN2", "Button47", "DI02", 0, S::A, kInputModeItems, 13, "DI01:", 7, 1),
    list("din2.pulse_equivalent", "PUDLING", "Button15", "PUDL", 0, S::B, kPulseEqItems, 17, "PUDL",
         5, 4),
    entry("din2.pulse_width", "Edit3", "Button8", "MTM", 0, S::D, E::Pad3, C::Numeric, 3, false, 16,
          "MTM:", 4, 3, K::Configuration, D::Unsigned, 1, 999),
    entry("pin1.base", "PUSET1", "Button52", "LP1", 0, S::A, E::Pad8, C::Numeric, 8, true, 0,
          "LP1:", 4, 8, K::CounterBase, D::Unsigned, 0, kEightDigits),
    entry("pin2.base", "PUSET2", "Button53", "LP2", 0, S::A, E::Pad8, C::Numeric, 8, true, 0,
          "LP2:", 4, 8, K::CounterBase, D::Unsigned, 0, kEightDigits),
    analog("ad1.urv", "AD1H", "AD1SET", "AIN1", 0, 5, "AIN1:"),
    analog("ad1.lrv", "AD1L", "AD1SET", "AIN1", 1, 5, "AIN1:"),
    analog("ad1.start", "AD1LD", "AD1SET", "AIN1", 2, 5, "AIN1:"),
    analog("ad2.urv", "AD2H", "AD2SET", "AIN2", 0, 6, "AIN2:"),
    analog("ad2.lrv", "AD2L", "AD2SET", "AIN2", 1, 6, "AIN2:"),
    analog("ad2.start", "AD2LD", "AD2SET", "AIN2", 2, 6, "AIN2:"),
    analog("ad3.urv", "AD3H", "Button1", "AIN3", 0, 7, "AIN3:"),
    analog("ad3.lrv", "AD3L", "Button1", "AIN3", 1, 7, "AIN3:"),
    analog("ad3.start", "AD3LD", "Button1", "AIN3", 2, 7, "AIN3:"),
    analog("ad4.urv", "AD4H", "Button2", "AIN4", 0, 8, "AIN4:"),
    analog("ad4.lrv", "AD4L", "Button2", "AIN4", 1, 8, "AIN4:"),
    analog("ad4.start", "AD4LD", "Button2", "AIN4", 2, 8, "AIN4:"),
    coefficient("ad1.coefficient", "AD1XISHU", "Button85", "AXS1", 9, "AXS1:"),
    coefficient("ad2.coefficient", "AD2XISHU", "Button86", "AXS2", 10, "AXS2:"),
    coefficient("ad3.coefficient", "AD3XISHU", "Button9", "AXS3", 11, "AXS3:"),
    coefficient("ad4.coefficient", "AD4XISHU", "Button11", "AXS4", 12, "AXS4:"),
    entry("ad1.total.integer", "PUSET3", "PButton52", "LPN", 0, S::C, E::Pad8, C::Numeric, 8, true,
          0, "LPN:", 4, 8, K::CounterBase, D::Unsigned, 0, kEightDigits),
    // Thousandths, sent as typed: "50" is 0.050.
    entry("ad1.total.decimal", "PUSET1XIAO", "Button3", "LPF", 0, S::B, E::Text, C::Numeric, 3,
          true, 0, "LPF:", 4, 3, K::CounterBase, D::Unsigned, 0, 999),
    list("output.pulse_equivalent", "ComboBox1", "Button7", "MDL", 0, S::A, kOutputEqItems, 3,
         "MDL", 4, 3),
    entry("output.pulse_width", "Edit2", "Button6", "MKT", 0, S::A, E::Pad3, C::Numeric, 3, true, 4,
          "MKT", 4, 3, K::Configuration, D::Unsigned, 1, 999),
    entry("ad1.residual_cutoff", "Edit1", "Button5", "ZOM", 0, S::B, E::Text, C::SignedDecimal, 5,
          true, 2, "ZOM", 4, 5, K::Configuration, D::Decimal),
    list("interface.type", "BRS485NX", "Button12", "BR485X", 0, S::A, kInterfaceItems, 15,
         "BRS485X:", 8, 2),
}};

bool inSet(CharSet set, char c) {
    if (c >= '0' && c <= '9') return true;
    return set == CharSet::SignedDecimal && (c == '.' || c == '-');
}

bool uniqueItem(const Parameter& p, std::size_t index) {
    const std::string_view text = p.items[index];
    if (text.empty()) return false;
    for (std::size_t i = 0; i < p.items.size(); ++i)
        if (i != index && p.items[i] == text) return false;
    return true;
}

std::optional<int> wholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || ptr != text.data() + text.size() || text.front() == '-' ||
        text.front() == '+')
        return std::nullopt;
    return value;
}

std::string quoted(std::string_view value) {
    std::string out = "\"";
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7f) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

}  // namespace

std::span<const Parameter> parameters() {
    return kParameters;
}

const Parameter* findParameter(std::string_view name) {
    for (const Parameter& p : kParameters)
        if (p.name == name) return &p;
    return nullptr;
}

const Parameter* parameterForControl(std::string_view control) {
    for (const Parameter& p : kParameters)
        if (p.control == control) return &p;
    return nullptr;
}

std::size_t parameterIndex(const Parameter& parameter) {
    return static_cast<std::size_t>(&parameter - kParameters.data());
}

std::string ruleText(const Parameter& p) {
    if (p.isList()) {
        std::string out = "one of ";
        bool first = true;
        for (std::size_t i = 0; i < p.items.size(); ++i) {
            if (!uniqueItem(p, i)) continue;
            if (!first) out += ", ";
            out += quoted(p.items[i]);
            first = false;
        }
        return out + " (or the item number 0.." + std::to_string(p.items.size() - 1) + ")";
    }
    const std::string chars =
        p.chars == CharSet::Numeric ? "digits only" : "digits, '.' and '-' only";
    return chars + ", 1 to " + std::to_string(p.width) + " characters";
}

int itemNumber(const Parameter& p, std::string_view value) {
    if (!p.isList()) return -1;
    for (std::size_t i = 0; i < p.items.size(); ++i)
        if (uniqueItem(p, i) && p.items[i] == value) return static_cast<int>(i);
    const std::optional<int> n = wholeNumber(value);
    if (n && *n >= 0 && static_cast<std::size_t>(*n) < p.items.size()) return *n;
    return -1;
}

std::optional<std::string> itemValue(const Parameter& p, int index) {
    if (!p.isList() || index < 0 || static_cast<std::size_t>(index) >= p.items.size())
        return std::nullopt;
    const auto i = static_cast<std::size_t>(index);
    if (uniqueItem(p, i)) return std::string(p.items[i]);
    return std::to_string(index);
}

CheckedValue checkValue(const Parameter& p, std::string_view value) {
    CheckedValue result;
    const auto refuse = [&] {
        result.error =
            std::string(p.name) + ": " + quoted(value) + " is not accepted (" + ruleText(p) + ")";
        return result;
    };
    if (p.isList()) {
        // A text equal to an item wins over a number ("1" in the output equivalent list).
        for (std::size_t i = 0; i < p.items.size(); ++i) {
            if (!p.items[i].empty() && p.items[i] == value) {
                result.ok = true;
                result.value = *itemValue(p, static_cast<int>(i));
                return result;
            }
        }
        const std::optional<int> n = wholeNumber(value);
        if (!n || static_cast<std::size_t>(*n) >= p.items.size()) return refuse();
        result.ok = true;
        result.value = *itemValue(p, *n);
        return result;
    }
    if (value.empty() || value.size() > static_cast<std::size_t>(p.width)) return refuse();
    for (char c : value)
        if (!inSet(p.chars, c)) return refuse();
    result.ok = true;
    result.value = std::string(value);
    return result;
}

}  // namespace kvproto
