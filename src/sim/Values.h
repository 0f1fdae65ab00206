// Value parsing of the collector: how the text of one set-frame field becomes a setting.
// The collector keeps decimal settings as text of a fixed width (the width at which it
// reports them back), so every accepted value is normalised to that width here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvsim {

// A list selection: one or more decimal digits (no sign) with a value in [0, max].
std::optional<int> parseIndex(std::string_view text, int max);

// An unsigned integer: one to ten decimal digits (leading zeros allowed, no sign) with a
// value in [min, max].
std::optional<std::int64_t> parseUnsigned(std::string_view text, std::int64_t min,
                                          std::int64_t max);

// A decimal number ("-"? digits ("." digits)?, at least one digit, no blanks) brought to
// exactly `width` characters without changing its value:
//   - a number without fraction digits is padded with zeros on the left ("20", 6 -> "000020",
//     "-4", 6 -> "-00004");
//   - a number with a fraction gets a "0" integer part and is padded with zeros on the right
//     ("0.05", 5 -> "0.050", ".5", 4 -> "0.50"); when that is too long, trailing zeros of the
//     fraction and then the "0" integer part are left out ("1.5000", 4 -> "1.50",
//     "-.1234", 6 -> "-.1234");
//   - leading zeros of the integer part are dropped, and zero loses its minus sign.
// A text already so normalised comes back unchanged. Empty when the text is no such number,
// when it is negative and !allowNegative, or when the value needs more than `width`
// characters.
std::optional<std::string> normaliseDecimal(std::string_view text, std::size_t width,
                                            bool allowNegative);

// Decimal text of a non-negative value with at least `digits` digits: 7, 3 -> "007".
std::string zeroPadded(std::int64_t value, int digits);

// The value of a number accepted by normaliseDecimal.
double decimalValue(std::string_view normalised);

}  // namespace kvsim
