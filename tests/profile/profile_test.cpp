// Profile files: written in the model's order, read back equal, and every kind of bad file
// refused with one message naming the file, the key and the rule.
#include "profile/Profile.h"

#include <gtest/gtest.h>

#include <string>

#include "ops/Operations.h"
#include "protocol/Compare.h"

namespace {

using namespace kvprofile;
using kvproto::CollectorSettings;

CollectorSettings fullSettings() {
    CollectorSettings s;
    const std::pair<const char*, const char*> values[] = {
        {"interface.type", "2_RS485"}, {"rs485.baud", "19200"},   {"rs485.parity", "Odd"},
        {"rs485.address", "017"},      {"pin1.base", "00000123"}, {"ad1.urv", "000100"},
        {"ad1.lrv", "-00004"},         {"ad1.start", "0.250"},    {"ad1.total.integer", "5"},
        {"ad1.total.decimal", "050"},
    };
    for (const auto& [name, value] : values) EXPECT_FALSE(s.set(name, value).has_value()) << name;
    return s;
}

TEST(ProfileFile, WritesKeysInTheModelsOrderOnePerLineAndReadsBackEqual) {
    const Profile profile{"2026-12-08T10:15:00Z", "/dev/ttyUSB0", "kv480t", fullSettings()};
    const std::string text = writeProfile(profile);
    // The model's order, not the order the values were set in.
    EXPECT_LT(text.find("\"rs485.baud\""), text.find("\"rs485.parity\""));
    EXPECT_LT(text.find("\"ad1.start\""), text.find("\"ad1.total.integer\""));
    EXPECT_LT(text.find("\"ad1.total.decimal\""), text.find("\"interface.type\""));
    EXPECT_NE(text.find("\n    \"rs485.baud\": \"19200\",\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("{\n  \"format\": \"kv480t-profile\",\n  \"version\": 1,", 0), 0u);

    const ReadResult back = parseProfile(text, "site.json");
    ASSERT_TRUE(back.profile) << back.error;
    EXPECT_EQ(back.profile->settings, profile.settings);
    EXPECT_EQ(back.profile->saved, profile.saved);
    EXPECT_EQ(back.profile->port, profile.port);
    EXPECT_EQ(back.profile->tool, profile.tool);
}

TEST(ProfileFile, AnOlderFilesSourceIsReadAsPortOrTool) {
    const struct {
        const char* source;
        const char* port;
        const char* tool;
    } cases[] = {{"/dev/ttyUSB0", "/dev/ttyUSB0", ""}, {"kv480t-config", "", "kv480t-config"}};
    for (const auto& c : cases) {
        const std::string text = std::string("{\"format\": \"kv480t-profile\", \"version\": 1, ") +
                                 "\"source\": \"" + c.source + "\", \"settings\": {}}";
        const ReadResult back = parseProfile(text, "old.json");
        ASSERT_TRUE(back.profile) << back.error;
        EXPECT_EQ(back.profile->port, c.port) << c.source;
        EXPECT_EQ(back.profile->tool, c.tool) << c.source;
    }
}

TEST(ProfileFile, StationAndCountersOnlyWhenAsked) {
    const CollectorSettings all = fullSettings();
    struct Case {
        Include include;
        bool station, counters;
    };
    for (const Case& c : {Case{{false, false}, false, false}, Case{{true, false}, true, false},
                          Case{{false, true}, false, true}, Case{{true, true}, true, true}}) {
        const CollectorSettings kept = filtered(all, c.include);
        EXPECT_EQ(kept.has("rs485.address"), c.station);
        EXPECT_EQ(kept.has("pin1.base"), c.counters);
        EXPECT_EQ(kept.has("ad1.total.integer"), c.counters);
        EXPECT_EQ(kept.has("ad1.total.decimal"), c.counters);
        EXPECT_TRUE(kept.has("rs485.baud"));
        EXPECT_TRUE(kept.has("ad1.urv"));
    }
}

TEST(ProfileFile, BadFilesGiveOneMessageNamingFileKeyAndRule) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;  // the whole message
    };
    const std::string head = R"({"format": "kv480t-profile", "version": 1, "settings": )";
    const Case cases[] = {
        {"malformed", R"({"format": "kv480t-profile",)", "p.json: not valid JSON (at byte 29)"},
        {"not an object", "[1, 2]", "p.json: not a profile: the file must hold one JSON object"},
        {"other format", R"({"format": "other", "version": 1, "settings": {}})",
         "p.json: format: not a profile: \"format\" must be \"kv480t-profile\""},
        {"future version", R"({"format": "kv480t-profile", "version": 2, "settings": {}})",
         "p.json: version: unknown profile version (this tool reads version 1)"},
        {"no settings", R"({"format": "kv480t-profile", "version": 1})",
         "p.json: settings: missing, or not an object of name: value"},
        {"unknown name", head + R"({"ad5.urv": "1"}})",
         "p.json: settings.ad5.urv: unknown parameter name"},
        {"number instead of text", head + R"({"rs485.address": 17}})",
         "p.json: settings.rs485.address: the value must be a text in quotes (a whole number "
         "from 1 to 247, 1 to 6 digits)"},
        {"characters", head + R"({"ad1.urv": "12a", "ad1.lrv": "0", "ad1.start": "0"}})",
         "p.json: settings.ad1.urv: ad1.urv: \"12a\" is not accepted (a decimal number, 1 to 6 "
         "characters: digits, one '.' at most, '-' only in front)"},
        {"minus inside", head + R"({"ad1.urv": "1-2", "ad1.lrv": "0", "ad1.start": "0"}})",
         "p.json: settings.ad1.urv: ad1.urv: \"1-2\" is not accepted (a decimal number, 1 to 6 "
         "characters: digits, one '.' at most, '-' only in front)"},
        {"station out of range", head + R"({"rs485.address": "248"}})",
         "p.json: settings.rs485.address: rs485.address: \"248\" is not accepted (a whole number "
         "from 1 to 247, 1 to 6 digits)"},
        {"inverted range", head + R"({"ad1.urv": "4", "ad1.lrv": "4", "ad1.start": "0"}})",
         "p.json: settings: ad1.urv: 4 is not above ad1.lrv (4) (the upper range value must be "
         "above the lower one)"},
        {"width", head + R"({"output.pulse_width": "1234"}})",
         "p.json: settings.output.pulse_width: output.pulse_width: \"1234\" is not accepted "
         "(a whole number from 1 to 999, 1 to 3 digits)"},
        {"list item", head + R"({"rs485.parity": "Mark"}})",
         "p.json: settings.rs485.parity: rs485.parity: \"Mark\" is not accepted (one of "
         "\"None\", \"Odd\", \"Even\" (or the item number 0..2))"},
        {"half a command", head + R"({"ad2.urv": "20"}})",
         "p.json: settings: ad2.urv: ad2.urv, ad2.lrv, ad2.start go to the collector together "
         "(one AIN2 command): give all of them or none"},
        {"binary", std::string("\xff\xfe\0\x01", 4), "p.json: not valid JSON (at byte 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadResult r = parseProfile(c.text, "p.json");
        EXPECT_FALSE(r.profile.has_value());
        EXPECT_EQ(r.error, c.expected);
    }
    const ReadResult missing = readProfileFile("/nonexistent/dir/p.json");
    EXPECT_EQ(missing.error, "/nonexistent/dir/p.json: cannot be read (No such file or directory)");
}

TEST(CompareSettings, ValuesCompareAsValuesOfTheirParameter) {
    struct Case {
        const char* name;
        const char* a;
        const char* b;
        bool same;
    };
    const Case cases[] = {
        {"ad1.urv", "20", "000020", true},
        {"ad1.urv", "1.6", "1.6000", true},
        {"ad1.lrv", "-.5", "-0.500", true},
        {"ad1.lrv", "-4", "-00004", true},
        {"ad1.lrv", "4", "-00004", false},
        {"ad1.start", "0", "-0", true},
        {"ad1.urv", "20", "200", false},
        {"rs485.baud", "4", "19200", true},
        {"rs485.baud", "3", "19200", false},
        {"rs485.address", "17", "017", true},
        {"ad1.coefficient", "1.05", "1.050", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.a + " vs " + c.b);
        EXPECT_EQ(kvproto::sameValue(*kvproto::findParameter(c.name), c.a, c.b), c.same);
    }
    CollectorSettings asked, got;
    ASSERT_FALSE(asked.set("ad1.urv", "000120").has_value());
    ASSERT_FALSE(asked.set("rs485.parity", "Odd").has_value());
    ASSERT_FALSE(asked.set("pin1.base", "5").has_value());  // listed under its own tag
    ASSERT_FALSE(got.set("ad1.urv", "000100").has_value());
    const auto differences = kvops::compare(asked, got);
    EXPECT_EQ(kvproto::describeDifferences(differences, "in the profile"),
              "3 differ: rs485.parity not reported, Odd in the profile; pin1.base not reported, "
              "5 in the profile; ad1.urv 000100 on the collector, 000120 in the profile");
}

}  // namespace
