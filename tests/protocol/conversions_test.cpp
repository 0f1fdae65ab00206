#include "protocol/Conversions.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "protocol/ByteText.h"

namespace {

using kvproto::ConversionError;
using kvproto::formatPadded;
using kvproto::strToInt;

struct Valid {
    std::string text;
    std::int32_t value;
};

TEST(StrToInt, AcceptsOptionalSignAndDecimalDigits) {
    const Valid cases[] = {
        {"0", 0},
        {"7", 7},
        {"007", 7},
        {"+12", 12},
        {"-5", -5},
        {"-0", 0},
        {"0000000", 0},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"00000000002147483647", 2147483647},
    };
    for (const Valid& c : cases) {
        EXPECT_EQ(strToInt(c.text), c.value) << "'" << c.text << "'";
    }
}

TEST(StrToInt, RefusesAnythingElseWithTheOffendingText) {
    const std::string cases[] = {
        "",
        " 5",
        "5 ",
        " ",
        "+",
        "-",
        "--5",
        "+-5",
        "5-",
        "1.5",
        "0x10",
        "$10",
        "a",
        "1e3",
        "12a",
        "2147483648",
        "-2147483649",
        "99999999999999999999",
        std::string("1\0", 2),
    };
    for (const std::string& text : cases) {
        try {
            strToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.message(), "'" + text + "' is not a valid integer value");
            EXPECT_EQ(error.offendingText(), text);
        }
    }
}

struct Padded {
    std::int32_t value;
    int digits;
    std::string text;
};

TEST(FormatPadded, PadsToAtLeastTheWidthAndNeverCuts) {
    const Padded cases[] = {
        {5, 3, "005"},
        {0, 3, "000"},
        {12, 3, "012"},
        {123, 3, "123"},
        {1234, 3, "1234"},
        {123456, 3, "123456"},
        {-5, 3, "-005"},
        {-1234, 3, "-1234"},
        {123, 8, "00000123"},
        {0, 8, "00000000"},
        {123456789, 8, "123456789"},
        {-7, 8, "-00000007"},
        {INT32_MIN, 8, "-2147483648"},
        {INT32_MAX, 3, "2147483647"},
    };
    for (const Padded& c : cases) {
        EXPECT_EQ(formatPadded(c.value, c.digits), c.text) << c.value << " / " << c.digits;
    }
}

// Text kept as UTF-8 where it is UTF-8: the shortest form of each length is kept, an overlong
// form, a surrogate, a code point past U+10FFFF or a cut sequence is escaped byte by byte.
TEST(EscapedBytes, KeepsWellFormedUtf8AndEscapesTheRest) {
    const struct {
        std::string bytes;
        std::string shown;
    } cases[] = {
        {"S\xC3\xBC"
         "d",
         "S\xC3\xBC"
         "d"},
        {"\xC2\x80", "\xC2\x80"},
        {"\xC1\xBF", "\\xC1\\xBF"},
        {"\xE0\xA0\x80", "\xE0\xA0\x80"},
        {"\xE0\x9F\xBF", "\\xE0\\x9F\\xBF"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"\xF0\x90\x80\x80", "\xF0\x90\x80\x80"},
        {"\xF0\x8F\xBF\xBF", "\\xF0\\x8F\\xBF\\xBF"},
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        {"\xC3", "\\xC3"},
    };
    const kvproto::Escaping utf8{kvproto::Escaping::Controls::Tab, kvproto::Escaping::Beyond::Utf8};
    for (const auto& c : cases) {
        EXPECT_EQ(kvproto::escapedBytes(c.bytes, utf8), c.shown);
        EXPECT_EQ(kvproto::validUtf8(c.bytes), c.shown == c.bytes) << c.shown;
    }
}

}  // namespace
