// Number conversions used when frames are built from entry fields and when the read-back
// turns reply characters into list indexes. They follow the collector tool's long-standing
// rules: an integer is an optional sign followed by decimal digits that fit a signed 32-bit
// value; anything else is refused with a ConversionError.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvproto {

// Raised for text that is not a valid integer. message() is the text shown to the user:
// "'<text>' is not a valid integer value". Reply bytes may hold a zero byte, which would
// cut what() short, so message() is the one to show.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(std::string_view text);
    const std::string& message() const { return message_; }
    const std::string& offendingText() const { return text_; }

private:
    std::string message_;
    std::string text_;
};

// Optional '+' or '-', then one or more decimal digits, nothing else (no blanks), within
// the signed 32-bit range. Throws ConversionError otherwise.
std::int32_t strToInt(std::string_view text);

// Decimal text of value with at least minDigits digits (leading zeros added, never cut);
// a negative value keeps its minus sign in front of the padded digits: -5, 3 -> "-005".
std::string formatPadded(std::int32_t value, int minDigits);

}  // namespace kvproto
