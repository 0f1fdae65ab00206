#include "sim/Values.h"

#include <charconv>

namespace kvsim {

namespace {

bool allDigits(std::string_view text) {
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::optional<int> parseIndex(std::string_view text, int max) {
    const auto value = parseUnsigned(text, 0, max);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<std::int64_t> parseUnsigned(std::string_view text, std::int64_t min,
                                          std::int64_t max) {
    if (text.empty() || text.size() > 10 || !allDigits(text)) return std::nullopt;
    std::int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::string> normaliseDecimal(std::string_view text, std::size_t width,
                                            bool allowNegative) {
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const auto dot = text.find('.');
    std::string_view whole = text.substr(0, dot);
    std::string_view fraction =
        dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if (!allDigits(whole) || !allDigits(fraction)) return std::nullopt;

    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    if (whole.empty() && fraction.empty()) negative = false;  // -0 is 0
    if (negative && !allowNegative) return std::nullopt;

    const std::string sign = negative ? "-" : "";
    std::string out;
    if (fraction.empty()) {
        const std::string digits = whole.empty() ? "0" : std::string(whole);
        if (sign.size() + digits.size() > width) return std::nullopt;
        out = sign + std::string(width - sign.size() - digits.size(), '0') + digits;
        return out;
    }
    out = sign + (whole.empty() ? "0" : std::string(whole)) + "." + std::string(fraction);
    if (out.size() > width && whole.empty()) out = sign + "." + std::string(fraction);
    if (out.size() > width) return std::nullopt;
    out.append(width - out.size(), '0');
    return out;
}

double decimalValue(std::string_view normalised) {
    double value = 0;
    std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
    return value;
}

}  // namespace kvsim
