#include "sim/Values.h"

#include <charconv>
#include <cstdio>

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
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if (!allDigits(whole) || !allDigits(fraction)) return std::nullopt;

    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    std::string_view shortFraction = fraction;
    while (!shortFraction.empty() && shortFraction.back() == '0') shortFraction.remove_suffix(1);
    if (whole.empty() && shortFraction.empty()) negative = false;  // -0 is 0
    if (negative && !allowNegative) return std::nullopt;
    const std::string sign = negative ? "-" : "";
    const std::string digits = whole.empty() ? "0" : std::string(whole);

    if (fraction.empty() || shortFraction.empty()) {
        // Whole number: zeros on the left. A typed fraction of zeros is kept if it fits.
        if (!fraction.empty()) {
            std::string kept = sign + digits + "." + std::string(fraction);
            if (kept.size() <= width) return kept.append(width - kept.size(), '0');
        }
        if (sign.size() + digits.size() > width) return std::nullopt;
        return sign + std::string(width - sign.size() - digits.size(), '0') + digits;
    }
    // With a fraction: the first form that fits, then zeros on the right.
    for (const std::string& form :
         {sign + digits + "." + std::string(fraction),
          sign + digits + "." + std::string(shortFraction),
          whole.empty() ? sign + "." + std::string(shortFraction) : std::string()}) {
        if (!form.empty() && form.size() <= width) {
            std::string out = form;
            return out.append(width - out.size(), '0');
        }
    }
    return std::nullopt;
}

std::string zeroPadded(std::int64_t value, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", digits, static_cast<long long>(value));
    return buf;
}

double decimalValue(std::string_view normalised) {
    double value = 0;
    std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
    return value;
}

}  // namespace kvsim
