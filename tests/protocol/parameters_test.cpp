// The parameter table and the values it accepts: what files, the command line and the
// simulated collector exchange, and the frames and read-backs built from them.
#include "protocol/Parameters.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FakeWindow.h"
#include "protocol/CollectorSettings.h"
#include "protocol/Conversions.h"
#include "protocol/ReadBack.h"
#include "protocol/SetCommands.h"

namespace {

using namespace kvproto;

TEST(ParameterTable, NamesControlsAndCommandFieldsAreConsistent) {
    std::set<std::string_view> names, controls;
    for (const Parameter& p : parameters()) {
        SCOPED_TRACE(p.name);
        EXPECT_TRUE(names.insert(p.name).second) << "stable name twice";
        EXPECT_TRUE(controls.insert(p.control).second) << "control twice";
        EXPECT_EQ(findParameter(p.name), &p);
        EXPECT_EQ(p.isList(), !p.items.empty());
        const SetCommand& command = setCommandFor(p);
        ASSERT_LT(p.field, command.fieldCount);
        EXPECT_EQ(command.parameters[p.field], &p);
        EXPECT_EQ(command.button, p.button);
        EXPECT_EQ(command.sequence, p.sequence);
    }
    EXPECT_EQ(names.size(), kParameterCount);
    EXPECT_EQ(setCommands().size(), 22u);
    // Every field of every command is some parameter, none left empty.
    for (const SetCommand& c : setCommands())
        for (const Parameter* p : c.parameterSpan()) EXPECT_NE(p, nullptr) << c.word;
    EXPECT_EQ(findParameter("ad5.urv"), nullptr);
}

TEST(ParameterValues, ListsTakeAnItemsTextOrItsNumberAndWriteTheText) {
    struct Case {
        const char* name;
        const char* input;
        const char* stored;  // nullptr: refused
    };
    const Case cases[] = {
        {"rs485.baud", "19200", "19200"},
        {"rs485.baud", "4", "19200"},
        {"rs485.baud", "9600(DY)", "9600(DY)"},
        {"rs485.baud", "10", nullptr},
        {"rs485.baud", "-1", nullptr},
        {"rs485.baud", " 4", nullptr},
        {"rs485.baud", "", nullptr},
        {"rs485.parity", "Even", "Even"},
        {"rs485.parity", "even", nullptr},      // item texts are exact
        {"output.pulse_equivalent", "1", "1"},  // the item "1", not item number 1
        {"output.pulse_equivalent", "3", "0.001"},
        {"output.pulse_equivalent", "0.01", "0.01"},
        // The empty items have no text to write: their number stands for them.
        {"din2.pulse_equivalent", "5", "5"},
        {"din2.pulse_equivalent", "6", "6"},
        {"din2.pulse_equivalent", "1 pulse for 10 tons of water", "1 pulse for 10 tons of water"},
        {"interface.type", "2_RS485", "2_RS485"},
        {"interface.type", "0", "0_Close"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " <- '" + c.input + "'");
        CollectorSettings s;
        const auto error = s.set(c.name, c.input);
        if (c.stored == nullptr) {
            ASSERT_TRUE(error.has_value());
            EXPECT_NE(error->find(c.name), std::string::npos) << *error;
            EXPECT_NE(error->find("one of"), std::string::npos) << *error;
            EXPECT_FALSE(s.has(c.name));
        } else {
            ASSERT_FALSE(error.has_value()) << *error;
            EXPECT_EQ(s.get(c.name), c.stored);
            // What is written reads back as the same item.
            const Parameter& p = *findParameter(c.name);
            CollectorSettings again;
            ASSERT_FALSE(again.set(p, *s.get(p)).has_value());
            EXPECT_EQ(again.itemIndex(p), s.itemIndex(p));
        }
    }
}

TEST(ParameterValues, EntryFieldsTakeTheirCharactersUpToTheirWidth) {
    struct Case {
        const char* name;
        const char* input;
        bool accepted;
    };
    const Case cases[] = {
        {"rs485.address", "247", true},
        {"rs485.address", "000012", true},
        {"rs485.address", "0", false},
        {"rs485.address", "248", false},
        {"rs485.address", "123456", false},
        {"rs485.address", "1234567", false},
        {"rs485.address", "12a", false},
        {"rs485.address", "-1", false},
        {"ad1.urv", "-12.5", true},
        {"ad1.urv", "123.456", false},
        {"ad1.urv", "1-2", false},
        {"ad1.urv", "1.2.3", false},
        {"ad1.urv", "-", false},
        {"ad1.residual_cutoff", "-1", false},
        {"ad1.start", "-.123", true},
        {"ad1.start", "1,2", false},
        {"ad1.coefficient", "1.05", true},
        {"ad1.coefficient", "1.005", false},
        {"pin1.base", "99999999", true},
        {"pin1.base", "1.5", false},
        {"ad1.total.decimal", "050", true},
        {"ad1.total.decimal", "0500", false},
        {"ad1.residual_cutoff", "0.050", true},
        {"ad1.residual_cutoff", "", false},
        {"din2.pulse_width", "5", true},
        {"din2.pulse_width", "KORVEL#", false},
        {"din2.pulse_width", "000", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " <- '" + c.input + "'");
        CollectorSettings s;
        const auto error = s.set(c.name, c.input);
        EXPECT_EQ(!error.has_value(), c.accepted) << error.value_or("");
        if (c.accepted) {
            EXPECT_EQ(s.get(c.name), c.input);
        } else if (error) {
            EXPECT_NE(error->find(std::string(c.name) + ": \"" + c.input + "\" is not accepted ("),
                      std::string::npos)
                << *error;
        }
    }
    CollectorSettings s;
    EXPECT_EQ(s.set("ad9.urv", "1").value_or(""), "unknown parameter \"ad9.urv\"");
}

TEST(ParameterValues, ARangeMustBeAboveItsLowerValueAndAssignmentsAreCheckedWhole) {
    struct Case {
        std::vector<std::string> assignments;
        std::string problem;  // readAssignments' error, else refusedCommand's; "" when taken
    };
    const Case cases[] = {
        {{"ad1.urv=20", "ad1.lrv=4", "ad1.start=0"}, ""},
        {{"ad1.urv=-5", "ad1.lrv=0", "ad1.start=0"},
         "ad1.urv: -5 is not above ad1.lrv (0) (the upper range value must be above the lower "
         "one)"},
        {{"ad2.urv=4.0", "ad2.lrv=4", "ad2.start=0"}, "ad2.urv: 4.0 is not above ad2.lrv (4)"},
        {{"ad1.urv=-5"}, ""},  // the lower value is the collector's: checked once read
        {{"ad1.urv"}, "\"ad1.urv\" is not NAME=VALUE"},
        {{"ad5.urv=1"}, "ad5.urv: unknown parameter name"},
        {{"ad1.urv=1", "ad1.urv=2"}, "ad1.urv: given twice"},
        {{"rs485.address=300"}, "rs485.address: \"300\" is not accepted ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.assignments.front());
        const kvproto::Assignments read = kvproto::readAssignments(c.assignments);
        const std::string problem =
            read.error.empty() ? kvproto::refusedCommand(read.settings) : read.error;
        if (c.problem.empty())
            EXPECT_EQ(problem, "");
        else
            EXPECT_TRUE(problem.starts_with(c.problem)) << problem;
    }
}

TEST(ParameterValues, SettingsFramesMatchTheWindowsFramesForTheSameValues) {
    // The same values entered in the window's fields and held as settings give the same
    // frame for every set command: the two roads share one set of frame rules.
    const std::vector<std::pair<const char*, const char*>> values = {
        {"rs485.baud", "2400"},
        {"rs485.parity", "Odd"},
        {"rs485.address", "12"},
        {"din1.mode", "Pulse Counting"},
        {"din2.mode", "0"},
        {"din2.pulse_equivalent", "4"},
        {"din2.pulse_width", "7"},
        {"pin1.base", "123"},
        {"pin2.base", "4567"},
        {"ad1.urv", "20"},
        {"ad1.lrv", "4"},
        {"ad1.start", "0"},
        {"ad2.urv", "1.6"},
        {"ad2.lrv", "-.5"},
        {"ad2.start", ".25"},
        {"ad3.urv", "300"},
        {"ad3.lrv", "30"},
        {"ad3.start", "3"},
        {"ad4.urv", "400"},
        {"ad4.lrv", "40"},
        {"ad4.start", "4"},
        {"ad1.coefficient", "1.05"},
        {"ad2.coefficient", "2"},
        {"ad3.coefficient", "0.5"},
        {"ad4.coefficient", "9999"},
        {"ad1.total.integer", "1234"},
        {"ad1.total.decimal", "50"},
        {"output.pulse_equivalent", "0.01"},
        {"output.pulse_width", "20"},
        {"ad1.residual_cutoff", "0.05"},
        {"interface.type", "1_NET"},
    };
    ASSERT_EQ(values.size(), kParameterCount);
    kvtest::SessionRig rig;
    CollectorSettings settings;
    for (const auto& [name, value] : values) {
        ASSERT_FALSE(settings.set(name, value).has_value()) << name;
        const Parameter& p = *findParameter(name);
        if (p.isList())
            rig.controls.setItemIndex(p.control, settings.itemIndex(p));
        else
            rig.controls.setText(p.control, value);
    }
    for (const SetCommand& command : setCommands()) {
        SCOPED_TRACE(command.word);
        const std::size_t before = rig.serial.written.size();
        ASSERT_TRUE(rig.session.setButtonClick(command.button));
        ASSERT_EQ(rig.serial.written.size(), before + 1);
        EXPECT_EQ(buildSetFrame(command, settings), rig.serial.written.back());
    }
    CollectorSettings partial;
    ASSERT_FALSE(partial.set("ad1.urv", "20").has_value());
    EXPECT_THROW(buildSetFrame(*findSetCommandByWord("AIN1"), partial), std::invalid_argument);
}

TEST(ParameterValues, ReadBackIntoSettingsKeepsWhatTheRulesTakeAndNamesTheRest) {
    const std::string listing =
        "TC1:017\r\nZOM:0.050\r\nMDL:2\r\nMKT:020\r\nAIN1:000200,000010,00003\r\n"
        "AXS1:1.01\r\nDI01:1,0\r\nARS485X:4,2\r\nBRS485X:7\r\nMTM:007\r\nPUDL:6\r\n";
    std::vector<std::string> problems;
    const CollectorSettings s = readBackSettings(listing, &problems);
    EXPECT_EQ(s.get("rs485.address"), "017");
    EXPECT_EQ(s.get("ad1.residual_cutoff"), "0.050");
    EXPECT_EQ(s.get("output.pulse_equivalent"), "0.01");
    EXPECT_EQ(s.get("ad1.urv"), "000200");
    EXPECT_EQ(s.get("ad1.start"), "00003");
    EXPECT_EQ(s.get("din1.mode"), "Pulse Counting");
    EXPECT_EQ(s.get("din2.mode"), "Digital Input Acquisition");
    EXPECT_EQ(s.get("rs485.baud"), "19200");
    EXPECT_EQ(s.get("rs485.parity"), "Even");
    EXPECT_EQ(s.get("din2.pulse_equivalent"), "6");
    EXPECT_FALSE(s.has("ad2.urv"));         // not in the listing
    EXPECT_FALSE(s.has("interface.type"));  // item 7 does not exist
    EXPECT_FALSE(s.has("pin1.base"));       // never read back
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("interface.type"), std::string::npos) << problems[0];
    EXPECT_THROW(readBackSettings("MDL:x", nullptr), ConversionError);
}

}  // namespace

// The form of every value, in parts, agrees with what checkValue() takes: the range (a list's
// item numbers) and no further, `width` characters and no more, '-' only where signed.
TEST(ParameterForms, EveryFormIsWhatTheCheckTakes) {
    for (const Parameter& p : parameters()) {
        SCOPED_TRACE(p.name);
        const ValueForm form = valueForm(p);
        const auto takes = [&](const std::string& value) { return checkValue(p, value).ok; };
        const auto number = [&](std::int64_t n) { return takes(std::to_string(n)); };
        EXPECT_EQ(form.kind == ValueForm::Kind::List, p.isList());
        EXPECT_EQ(form.min.has_value(), form.kind != ValueForm::Kind::Decimal);
        if (form.min) {
            EXPECT_TRUE(number(*form.min) && number(*form.max));
            EXPECT_FALSE(number(*form.max + 1) || (*form.min > 0 && number(*form.min - 1)));
        }
        EXPECT_EQ(takes("-1"), form.isSigned);
        if (form.width > 0) {
            const auto digits = static_cast<std::size_t>(form.width);
            EXPECT_TRUE(takes(std::string(digits - 1, '0') + "1"));
            EXPECT_FALSE(takes(std::string(digits, '0') + "1"));
        }
        ASSERT_EQ(form.items.size(), p.items.size());
        for (const std::string_view item : form.items)
            EXPECT_TRUE(item.empty() || checkValue(p, item).value == item) << item;
    }

    // The form in words, where kv480t names's test does not show it.
    const std::pair<const char*, std::string> words[] = {
        {"ad1.coefficient", "a decimal number, 1 to 4 characters: digits, one '.' at most"},
        {"ad1.urv",
         "a decimal number, 1 to 6 characters: digits, one '.' at most, '-' only in front"},
        {"rs485.parity", "one of \"None\", \"Odd\", \"Even\" (or the item number 0..2)"},
    };
    for (const auto& [name, text] : words) EXPECT_EQ(ruleText(*findParameter(name)), text);
}
