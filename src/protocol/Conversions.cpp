#include "protocol/Conversions.h"

#include <limits>

namespace kvproto {

namespace {
std::string errorText(std::string_view text) {
    std::string message = "'";
    message.append(text);
    message += "' is not a valid integer value";
    return message;
}
}  // namespace

ConversionError::ConversionError(std::string_view text)
    : std::runtime_error(errorText(text)), message_(errorText(text)), text_(text) {}

std::int32_t strToInt(std::string_view text) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size()) throw ConversionError(text);
    // Accumulate in 64 bits; the limit check keeps the value bounded long before it could
    // overflow, whatever the number of digits.
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') throw ConversionError(text);
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) throw ConversionError(text);
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

std::string formatPadded(std::int32_t value, int minDigits) {
    const std::int64_t wide = value;
    std::string digits = std::to_string(wide < 0 ? -wide : wide);
    if (static_cast<int>(digits.size()) < minDigits) {
        digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

}  // namespace kvproto
