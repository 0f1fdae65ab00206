#include "protocol/Parameters.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "protocol/ByteText.h"

namespace kvproto {

namespace {

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

constexpr std::array<Parameter, kParameterCount> kParameters{{
    {.name = "rs485.baud",
     .control = "MR485BT",
     .button = "Button188",
     .command = "AR485X",
     .encoding = Encoding::Index,
     .items = kBaudItems,
     .width = 2,
     .readRow = 14,
     .tag = "ARS485X:",
     .offset = 8,
     .readWidth = 1,
     .device = DeviceRule::Index,
     .deviceMax = 9},
    {.name = "rs485.parity",
     .control = "MR485JN",
     .button = "Button188",
     .command = "AR485X",
     .field = 1,
     .encoding = Encoding::Index,
     .items = kParityItems,
     .width = 2,
     .readRow = 14,
     .tag = "ARS485X:",
     .offset = 10,
     .readWidth = 1,
     .device = DeviceRule::Index,
     .deviceMax = 2},
    {.name = "rs485.address",
     .control = "Station",
     .button = "Button4",
     .command = "ST",
     .encoding = Encoding::Pad3,
     .width = 6,
     .keyFilter = true,
     .readRow = 1,
     .tag = "TC1:",
     .offset = 4,
     .readWidth = 3,
     .kind = ParameterKind::Identity,
     .device = DeviceRule::Unsigned,
     .deviceMin = 1,
     .deviceMax = 247},
    {.name = "din1.mode",
     .control = "DIN1",
     .button = "Button46",
     .command = "DI01",
     .encoding = Encoding::Index,
     .items = kInputModeItems,
     .width = 2,
     .readRow = 13,
     .tag = "DI01:",
     .offset = 5,
     .readWidth = 1,
     .device = DeviceRule::Index,
     .deviceMax = 1},
    {.name = "din2.mode",
     .control = "DIN2",
     .button = "Button47",
     .command = "DI02",
     .encoding = Encoding::Index,
     .items = kInputModeItems,
     .width = 2,
     .readRow = 13,
     .tag = "DI01:",
     .offset = 7,
     .readWidth = 1,
     .device = DeviceRule::Index,
     .deviceMax = 1},
    {.name = "din2.pulse_equivalent",
     .control = "PUDLING",
     .button = "Button15",
     .command = "PUDL",
     .sequence = SendSequence::B,
     .encoding = Encoding::Index,
     .items = kPulseEqItems,
     .width = 2,
     .readRow = 17,
     .tag = "PUDL",
     .offset = 5,
     .readWidth = 1,
     .device = DeviceRule::Index,
     .deviceMax = 4},
    {.name = "din2.pulse_width",
     .control = "Edit3",
     .button = "Button8",
     .command = "MTM",
     .sequence = SendSequence::D,
     .encoding = Encoding::Pad3,
     .width = 3,
     .readRow = 16,
     .tag = "MTM:",
     .offset = 4,
     .readWidth = 3,
     .device = DeviceRule::Unsigned,
     .deviceMin = 1,
     .deviceMax = 999},
    {.name = "pin1.base",
     .control = "PUSET1",
     .button = "Button52",
     .command = "LP1",
     .encoding = Encoding::Pad8,
     .width = 8,
     .keyFilter = true,
     .tag = "LP1:",
     .offset = 4,
     .readWidth = 8,
     .kind = ParameterKind::CounterBase,
     .device = DeviceRule::Unsigned,
     .deviceMax = kEightDigits},
    {.name = "pin2.base",
     .control = "PUSET2",
     .button = "Button53",
     .command = "LP2",
     .encoding = Encoding::Pad8,
     .width = 8,
     .keyFilter = true,
     .tag = "LP2:",
     .offset = 4,
     .readWidth = 8,
     .kind = ParameterKind::CounterBase,
     .device = DeviceRule::Unsigned,
     .deviceMax = kEightDigits},
    {.name = "ad1.urv",
     .control = "AD1H",
     .button = "AD1SET",
     .command = "AIN1",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 5,
     .tag = "AIN1:",
     .offset = 5,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad1.lrv",
     .control = "AD1L",
     .button = "AD1SET",
     .command = "AIN1",
     .field = 1,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 5,
     .tag = "AIN1:",
     .offset = 12,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad1.start",
     .control = "AD1LD",
     .button = "AD1SET",
     .command = "AIN1",
     .field = 2,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 5,
     .keyFilter = true,
     .readRow = 5,
     .tag = "AIN1:",
     .offset = 19,
     .readWidth = 5,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad2.urv",
     .control = "AD2H",
     .button = "AD2SET",
     .command = "AIN2",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 6,
     .tag = "AIN2:",
     .offset = 5,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad2.lrv",
     .control = "AD2L",
     .button = "AD2SET",
     .command = "AIN2",
     .field = 1,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 6,
     .tag = "AIN2:",
     .offset = 12,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad2.start",
     .control = "AD2LD",
     .button = "AD2SET",
     .command = "AIN2",
     .field = 2,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 5,
     .keyFilter = true,
     .readRow = 6,
     .tag = "AIN2:",
     .offset = 19,
     .readWidth = 5,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad3.urv",
     .control = "AD3H",
     .button = "Button1",
     .command = "AIN3",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 7,
     .tag = "AIN3:",
     .offset = 5,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad3.lrv",
     .control = "AD3L",
     .button = "Button1",
     .command = "AIN3",
     .field = 1,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 7,
     .tag = "AIN3:",
     .offset = 12,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad3.start",
     .control = "AD3LD",
     .button = "Button1",
     .command = "AIN3",
     .field = 2,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 5,
     .keyFilter = true,
     .readRow = 7,
     .tag = "AIN3:",
     .offset = 19,
     .readWidth = 5,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad4.urv",
     .control = "AD4H",
     .button = "Button2",
     .command = "AIN4",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 8,
     .tag = "AIN4:",
     .offset = 5,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad4.lrv",
     .control = "AD4L",
     .button = "Button2",
     .command = "AIN4",
     .field = 1,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 6,
     .keyFilter = true,
     .readRow = 8,
     .tag = "AIN4:",
     .offset = 12,
     .readWidth = 6,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad4.start",
     .control = "AD4LD",
     .button = "Button2",
     .command = "AIN4",
     .field = 2,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 5,
     .keyFilter = true,
     .readRow = 8,
     .tag = "AIN4:",
     .offset = 19,
     .readWidth = 5,
     .device = DeviceRule::SignedDecimal},
    {.name = "ad1.coefficient",
     .control = "AD1XISHU",
     .button = "Button85",
     .command = "AXS1",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 4,
     .readRow = 9,
     .tag = "AXS1:",
     .offset = 5,
     .readWidth = 4,
     .device = DeviceRule::Decimal},
    {.name = "ad2.coefficient",
     .control = "AD2XISHU",
     .button = "Button86",
     .command = "AXS2",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 4,
     .readRow = 10,
     .tag = "AXS2:",
     .offset = 5,
     .readWidth = 4,
     .device = DeviceRule::Decimal},
    {.name = "ad3.coefficient",
     .control = "AD3XISHU",
     .button = "Button9",
     .command = "AXS3",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 4,
     .readRow = 11,
     .tag = "AXS3:",
     .offset = 5,
     .readWidth = 4,
     .device = DeviceRule::Decimal},
    {.name = "ad4.coefficient",
     .control = "AD4XISHU",
     .button = "Button11",
     .command = "AXS4",
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 4,
     .readRow = 12,
     .tag = "AXS4:",
     .offset = 5,
     .readWidth = 4,
     .device = DeviceRule::Decimal},
    {.name = "ad1.total.integer",
     .control = "PUSET3",
     .button = "PButton52",
     .command = "LPN",
     .sequence = SendSequence::C,
     .encoding = Encoding::Pad8,
     .width = 8,
     .keyFilter = true,
     .tag = "LPN:",
     .offset = 4,
     .readWidth = 8,
     .kind = ParameterKind::CounterBase,
     .device = DeviceRule::Unsigned,
     .deviceMax = kEightDigits},
    // Thousandths, sent as typed: "50" is 0.050.
    {.name = "ad1.total.decimal",
     .control = "PUSET1XIAO",
     .button = "Button3",
     .command = "LPF",
     .sequence = SendSequence::B,
     .encoding = Encoding::Text,
     .width = 3,
     .keyFilter = true,
     .tag = "LPF:",
     .offset = 4,
     .readWidth = 3,
     .kind = ParameterKind::CounterBase,
     .device = DeviceRule::Unsigned,
     .deviceMax = 999},
    {.name = "output.pulse_equivalent",
     .control = "ComboBox1",
     .button = "Button7",
     .command = "MDL",
     .encoding = Encoding::Index,
     .items = kOutputEqItems,
     .width = 2,
     .readRow = 3,
     .tag = "MDL",
     .offset = 4,
     .readWidth = 1,
     .device = DeviceRule::Index,
     .deviceMax = 3},
    {.name = "output.pulse_width",
     .control = "Edit2",
     .button = "Button6",
     .command = "MKT",
     .encoding = Encoding::Pad3,
     .width = 3,
     .keyFilter = true,
     .readRow = 4,
     .tag = "MKT",
     .offset = 4,
     .readWidth = 3,
     .device = DeviceRule::Unsigned,
     .deviceMin = 1,
     .deviceMax = 999},
    {.name = "ad1.residual_cutoff",
     .control = "Edit1",
     .button = "Button5",
     .command = "ZOM",
     .sequence = SendSequence::B,
     .encoding = Encoding::Text,
     .chars = CharSet::SignedDecimal,
     .width = 5,
     .keyFilter = true,
     .readRow = 2,
     .tag = "ZOM",
     .offset = 4,
     .readWidth = 5,
     .device = DeviceRule::Decimal},
    {.name = "interface.type",
     .control = "BRS485NX",
     .button = "Button12",
     .command = "BR485X",
     .encoding = Encoding::Index,
     .items = kInterfaceItems,
     .width = 2,
     .readRow = 15,
     .tag = "BRS485X:",
     .offset = 8,
     .readWidth = 1,
     .device = DeviceRule::Index,
     .deviceMax = 2},
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

// 9, 99, 999, ...: the largest number of `digits` digits.
std::int64_t largestOfDigits(int digits) {
    std::int64_t n = 0;
    for (int i = 0; i < digits && n < 1'000'000'000'000'000LL; ++i) n = n * 10 + 9;
    return n;
}

// What the device rule asks of an entry field's text beyond its characters and width.
bool deviceTakes(const Parameter& p, std::string_view value) {
    switch (p.device) {
        case DeviceRule::Unsigned: {
            std::int64_t n = 0;
            for (const char c : value) {
                if (c < '0' || c > '9') return false;
                n = std::min<std::int64_t>(n * 10 + (c - '0'), 1'000'000'000'000LL);
            }
            return n >= p.deviceMin && n <= p.deviceMax;
        }
        case DeviceRule::Decimal:
        case DeviceRule::SignedDecimal: {
            if (p.device == DeviceRule::SignedDecimal && value.starts_with('-'))
                value.remove_prefix(1);
            bool dot = false;
            bool digit = false;
            for (const char c : value) {
                if (c == '.' && !dot) {
                    dot = true;
                } else if (c >= '0' && c <= '9') {
                    digit = true;
                } else {
                    return false;
                }
            }
            return digit;
        }
        case DeviceRule::Index:
            break;
    }
    return true;
}

std::string quoted(std::string_view value) {
    return "\"" + escapedBytes(value) + "\"";
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

std::size_t parameterIndex(const Parameter& parameter) {
    return static_cast<std::size_t>(&parameter - kParameters.data());
}

ValueForm valueForm(const Parameter& p) {
    using Kind = ValueForm::Kind;
    ValueForm form;
    if (p.isList()) {
        form.kind = Kind::List;
        form.min = 0;
        form.max = static_cast<std::int64_t>(p.items.size()) - 1;
        for (std::size_t i = 0; i < p.items.size(); ++i)
            form.items.push_back(uniqueItem(p, i) ? p.items[i] : "");
        return form;
    }
    form.width = p.width;
    switch (p.device) {
        case DeviceRule::Unsigned:
            form.kind = p.deviceMin > 0 || p.deviceMax < largestOfDigits(p.width) ? Kind::Number
                                                                                  : Kind::Digits;
            form.min = p.deviceMin;
            form.max = p.deviceMax;
            break;
        case DeviceRule::SignedDecimal:
            form.isSigned = true;
            [[fallthrough]];
        case DeviceRule::Decimal:
            form.kind = Kind::Decimal;
            break;
        case DeviceRule::Index:
            break;
    }
    return form;
}

std::string_view formKindWords(ValueForm::Kind kind) {
    switch (kind) {
        case ValueForm::Kind::List:
            return "list";
        case ValueForm::Kind::Number:
            return "number";
        case ValueForm::Kind::Digits:
            return "digits";
        case ValueForm::Kind::Decimal:
            return "decimal";
    }
    return "digits";
}

std::string ruleText(const Parameter& p) {
    const ValueForm form = valueForm(p);
    const std::string width = "1 to " + std::to_string(form.width);
    switch (form.kind) {
        case ValueForm::Kind::List: {
            std::string out = "one of ";
            bool first = true;
            for (const std::string_view item : form.items) {
                if (item.empty()) continue;
                if (!first) out += ", ";
                out += quoted(item);
                first = false;
            }
            return out + " (or the item number " + std::to_string(*form.min) + ".." +
                   std::to_string(*form.max) + ")";
        }
        case ValueForm::Kind::Number:
            return "a whole number from " + std::to_string(*form.min) + " to " +
                   std::to_string(*form.max) + ", " + width + " digits";
        case ValueForm::Kind::Decimal:
            return "a decimal number, " + width + " characters: digits, one '.' at most" +
                   (form.isSigned ? ", '-' only in front" : "");
        case ValueForm::Kind::Digits:
            break;
    }
    return "digits only, " + width + " characters";
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
    if (!deviceTakes(p, value)) return refuse();
    result.ok = true;
    result.value = std::string(value);
    return result;
}

}  // namespace kvproto
