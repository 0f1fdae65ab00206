// Value parsing of the simulated collector: what each kind of set-frame field accepts and
// how decimal settings are normalised to the widths the collector reports them at.
#include "sim/Values.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "protocol/Parameters.h"
#include "sim/DeviceRules.h"
#include "sim/DeviceState.h"

namespace {

struct DecimalCase {
    const char* text;
    std::size_t width;
    bool allowNegative;
    std::optional<std::string> expected;
};

// The value of a typed number, read independently of the code under test.
double typedValue(std::string text) {
    const std::size_t digitsAt = text.starts_with('-') ? 1 : 0;
    if (text.compare(digitsAt, 1, ".") == 0) text.insert(digitsAt, "0");
    return std::stod(text);
}

class NormaliseDecimal : public testing::TestWithParam<DecimalCase> {};

TEST_P(NormaliseDecimal, FitsWidthKeepsValue) {
    const DecimalCase& c = GetParam();
    const auto got = kvsim::normaliseDecimal(c.text, c.width, c.allowNegative);
    EXPECT_EQ(got, c.expected) << "text '" << c.text << "' width " << c.width;
    if (got) {
        EXPECT_EQ(got->size(), c.width);
        // Normalising again changes nothing, and the value is the typed one.
        EXPECT_EQ(kvsim::normaliseDecimal(*got, c.width, c.allowNegative), got);
        EXPECT_DOUBLE_EQ(kvsim::decimalValue(*got), typedValue(c.text));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormaliseDecimal,
    testing::Values(
        // integers are zero-padded on the left
        DecimalCase{"20", 6, true, "000020"}, DecimalCase{"-4", 6, true, "-00004"},
        DecimalCase{"123456", 6, true, "123456"}, DecimalCase{"0", 5, true, "00000"},
        DecimalCase{"000020", 6, true, "000020"}, DecimalCase{"0000020", 6, true, "000020"},
        DecimalCase{"5.", 5, true, "00005"}, DecimalCase{"-0", 5, true, "00000"},
        DecimalCase{"-0.000", 5, false, "0.000"}, DecimalCase{"1.00", 4, false, "1.00"},
        DecimalCase{"00.000", 5, false, "0.000"}, DecimalCase{"0.0000", 5, false, "00000"},
        // fractions are padded on the right, with a "0" integer part when it fits
        DecimalCase{"0.05", 5, false, "0.050"}, DecimalCase{".5", 5, false, "0.500"},
        DecimalCase{"20.5", 6, true, "20.500"}, DecimalCase{"1.5000", 4, false, "1.50"},
        DecimalCase{"-.1234", 6, true, "-.1234"}, DecimalCase{"-1.5", 6, true, "-1.500"},
        DecimalCase{".1234", 5, false, ".1234"}, DecimalCase{"1.05", 4, false, "1.05"},
        // what cannot be represented, or is no number, is refused
        DecimalCase{"1234567", 6, true, std::nullopt}, DecimalCase{"-12345", 5, true, std::nullopt},
        DecimalCase{"1.005", 4, false, std::nullopt}, DecimalCase{"-1", 5, false, std::nullopt},
        DecimalCase{"", 5, true, std::nullopt}, DecimalCase{"-", 5, true, std::nullopt},
        DecimalCase{".", 5, true, std::nullopt}, DecimalCase{"-.", 5, true, std::nullopt},
        DecimalCase{"1.2.3", 6, true, std::nullopt}, DecimalCase{"--5", 6, true, std::nullopt},
        DecimalCase{"5-", 6, true, std::nullopt}, DecimalCase{" 5", 6, true, std::nullopt},
        DecimalCase{"1e3", 6, true, std::nullopt}, DecimalCase{"+5", 6, true, std::nullopt}));

struct UnsignedCase {
    const char* text;
    std::int64_t min;
    std::int64_t max;
    std::optional<std::int64_t> expected;
};

TEST(ParseUnsigned, DigitsWithinRange) {
    const UnsignedCase cases[] = {
        {"000", 0, 999, 0},
        {"012", 1, 247, 12},
        {"247", 1, 247, 247},
        {"248", 1, 247, std::nullopt},
        {"000", 1, 247, std::nullopt},
        {"-005", 0, 999, std::nullopt},
        {"", 0, 9, std::nullopt},
        {"1 ", 0, 9, std::nullopt},
        {"+1", 0, 9, std::nullopt},
        {"99999999", 0, 99999999, 99999999},
        {"100000000", 0, 99999999, std::nullopt},
        {"99999999999999999999", 0, 99999999, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kvsim::parseUnsigned(c.text, c.min, c.max), c.expected) << "'" << c.text << "'";
    EXPECT_EQ(kvsim::parseIndex("-1", 2), std::nullopt);
    EXPECT_EQ(kvsim::parseIndex("2", 2), 2);
    EXPECT_EQ(kvsim::parseIndex("3", 2), std::nullopt);
}

// Every setting the collector starts with is already in its reported form: its rule takes it
// unchanged (decimals normalised, integers zero-padded), at the width it is reported with.
TEST(FactoryDefaults, SettingsAreNormalised) {
    const kvsim::DeviceState s = kvsim::factoryDefaults();
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        EXPECT_EQ(s.text(p).size(), p.readWidth) << p.name << ": " << s.text(p);
        EXPECT_EQ(kvsim::acceptValue(p, s.text(p)), s.text(p)) << p.name;
        const bool isDecimal = p.device == kvproto::DeviceRule::Decimal ||
                               p.device == kvproto::DeviceRule::SignedDecimal;
        if (isDecimal) {
            EXPECT_EQ(kvsim::normaliseDecimal(s.text(p), p.readWidth,
                                              p.device == kvproto::DeviceRule::SignedDecimal),
                      s.text(p))
                << p.name;
        }
    }
}

}  // namespace

namespace {

// The tool never sends a value the collector refuses: every entry-field value the parameter
// table's check takes, the simulated collector takes too.
TEST(DeviceRules, TakeEveryValueTheToolsCheckTakes) {
    const char* const candidates[] = {
        "0",   "1",  "7",  "247", "248", "999",   "000",    "12345", "99999999", "-1",    "-0",
        "1.5", ".5", "5.", "-.5", "1-2", "1.2.3", "-12.50", "",      "0.0000",   "123456"};
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        if (p.isList()) continue;
        for (const char* value : candidates) {
            if (!kvproto::checkValue(p, value).ok) continue;
            EXPECT_TRUE(kvsim::acceptValue(p, value).has_value()) << p.name << " <- " << value;
        }
    }
}

}  // namespace
