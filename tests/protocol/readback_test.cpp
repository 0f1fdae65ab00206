// Parameter read-back: every row at its positions, the skip and abort rules, and its run
// inside the exchange controller.
#include "protocol/ReadBack.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FakeWindow.h"
#include "presenter/WindowFrames.h"
#include "protocol/Conversions.h"

namespace {

using kvpresenter::applyReadBack;
using kvproto::ConversionError;
using kvtest::EventLog;
using kvtest::FakeControls;
using kvtest::SessionRig;

// What a control should hold afterwards: text for edits, item index for lists.
struct Expect {
    const char* control;
    std::string text;
    int index = -2;  // -2: an edit, compare the text
};

using Snapshot = std::map<std::string, std::pair<std::string, int>>;

// Checks that exactly the expected controls changed.
void expectChanged(const FakeControls& controls, const Snapshot& before,
                   const std::vector<Expect>& expected) {
    Snapshot want = before;
    for (const Expect& e : expected) {
        auto& entry = want.at(e.control);
        if (e.index == -2) {
            entry.first = e.text;
        } else {
            entry.second = e.index;
            entry.first = e.text;
        }
    }
    const Snapshot after = controls.snapshot();
    for (const auto& [name, value] : want) {
        EXPECT_EQ(after.at(name), value) << name;
    }
}

Expect edit(const char* control, std::string text) {
    return {control, std::move(text)};
}
Expect list(const char* control, int index, std::string text) {
    return {control, std::move(text), index};
}

struct RowCase {
    std::string reply;
    std::vector<Expect> expected;
};

// Each reply read back over a window at its start values changes exactly the expected controls.
template <std::size_t N>
void expectRows(const RowCase (&cases)[N]) {
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.reply);
        FakeControls fresh(nullptr);
        kvtest::fillStartValues(fresh);
        const Snapshot before = fresh.snapshot();
        applyReadBack(c.reply, fresh);
        expectChanged(fresh, before, c.expected);
    }
}

class ReadBackTest : public ::testing::Test {
protected:
    ReadBackTest() { kvtest::fillStartValues(controls); }
    EventLog log;
    FakeControls controls{&log};
};

TEST_F(ReadBackTest, EveryRowAtItsPositionsWithUntestedPositionsIgnored) {
    const RowCase cases[] = {
        {"xxTC1:123yy", {edit("Station", "123")}},
        {"ZOM?0.050", {edit("Edit1", "0.050")}},
        {"MDL=3", {list("ComboBox1", 3, "0.001")}},
        {"--MKT 020", {edit("Edit2", "020")}},
        {"AIN1:001234X000100Y00050",
         {edit("AD1H", "001234"), edit("AD1L", "000100"), edit("AD1LD", "00050")}},
        {"AIN2:-1.5  ,4.0   ,0    ",
         {edit("AD2H", "-1.5  "), edit("AD2L", "4.0   "), edit("AD2LD", "0    ")}},
        {"AIN3:aaaaaa#bbbbbb#ccccc",
         {edit("AD3H", "aaaaaa"), edit("AD3L", "bbbbbb"), edit("AD3LD", "ccccc")}},
        {"AIN4:000020,000004,00000!",
         {edit("AD4H", "000020"), edit("AD4L", "000004"), edit("AD4LD", "00000")}},
        {"AXS1:1.05", {edit("AD1XISHU", "1.05")}},
        {"AXS2:2.50#", {edit("AD2XISHU", "2.50")}},
        {"AXS3:,,,,", {edit("AD3XISHU", ",,,,")}},
        {"AXS4:   1", {edit("AD4XISHU", "   1")}},
        {"DI01:1#0",
         {list("DIN1", 1, "Pulse Counting"), list("DIN2", 0, "Digital Input Acquisition")}},
        {"ARS485X:4.2", {list("MR485BT", 4, "19200"), list("MR485JN", 2, "Even")}},
        {"BRS485X:2", {list("BRS485NX", 2, "2_RS485")}},
        {"MTM:005", {edit("Edit3", "005")}},
        {"PUDL:6", {list("PUDLING", 6, "")}},
        {"PUDL 3", {list("PUDLING", 3, "1 pulse for 10 tons of water")}},
    };
    expectRows(cases);
}

TEST_F(ReadBackTest, AFullReplyFillsEveryFieldAndList) {
    const std::string reply =
        "TC1:017;ZOM:0.125;MDL:1;MKT:030;"
        "AIN1:000020,000004,00000;AIN2:000021,000005,00001;"
        "AIN3:000022,000006,00002;AIN4:000023,000007,00003;"
        "AXS1:1.01;AXS2:1.02;AXS3:1.03;AXS4:1.04;DI01:0,1;ARS485X:8,1;BRS485X:1;"
        "MTM:009;PUDL:4;";
    const Snapshot before = controls.snapshot();
    applyReadBack(reply, controls);
    expectChanged(controls, before,
                  {edit("Station", "017"),
                   edit("Edit1", "0.125"),
                   list("ComboBox1", 1, "0.1"),
                   edit("Edit2", "030"),
                   edit("AD1H", "000020"),
                   edit("AD1L", "000004"),
                   edit("AD1LD", "00000"),
                   edit("AD2H", "000021"),
                   edit("AD2L", "000005"),
                   edit("AD2LD", "00001"),
                   edit("AD3H", "000022"),
                   edit("AD3L", "000006"),
                   edit("AD3LD", "00002"),
                   edit("AD4H", "000023"),
                   edit("AD4L", "000007"),
                   edit("AD4LD", "00003"),
                   edit("AD1XISHU", "1.01"),
                   edit("AD2XISHU", "1.02"),
                   edit("AD3XISHU", "1.03"),
                   edit("AD4XISHU", "1.04"),
                   list("DIN1", 0, "Digital Input Acquisition"),
                   list("DIN2", 1, "Pulse Counting"),
                   list("MR485BT", 8, "9600(DY)"),
                   list("MR485JN", 1, "Odd"),
                   list("BRS485NX", 1, "1_NET"),
                   edit("Edit3", "009"),
                   list("PUDLING", 4, "1 pulse for 100 tons of water")});
}

TEST_F(ReadBackTest, FirstOccurrenceWins) {
    applyReadBack("MKT:111 MKT:222 DI01:1,1 DI01:0,0 TC1:aaaTC1:bbb", controls);
    EXPECT_EQ(controls.text("Edit2"), "111");
    EXPECT_EQ(controls.itemIndex("DIN1"), 1);
    EXPECT_EQ(controls.itemIndex("DIN2"), 1);
    EXPECT_EQ(controls.text("Station"), "aaa");
}

TEST_F(ReadBackTest, AbsentTagsLeaveTheirControlsAlone) {
    const Snapshot before = controls.snapshot();
    for (const char* reply : {"", "#", "KORVEL#OK#", "tc1:123 zom 1.000 ain1:", "TC1", "AIN1"}) {
        applyReadBack(reply, controls);
    }
    expectChanged(controls, before, {});
}

TEST_F(ReadBackTest, IndexBeyondTheListLeavesNoSelection) {
    applyReadBack("MDL:9 DI01:5,2 ARS485X:9,3 BRS485X:3 PUDL:7", controls);
    EXPECT_EQ(controls.itemIndex("ComboBox1"), -1);
    EXPECT_EQ(controls.itemIndex("DIN1"), -1);
    EXPECT_EQ(controls.itemIndex("DIN2"), -1);
    EXPECT_EQ(controls.itemIndex("MR485BT"), 9);  // the tenth of ten items
    EXPECT_EQ(controls.itemIndex("MR485JN"), -1);
    EXPECT_EQ(controls.itemIndex("BRS485NX"), -1);
    EXPECT_EQ(controls.itemIndex("PUDLING"), -1);
}

TEST_F(ReadBackTest, TruncatedTagIsSkippedWhole) {
    const RowCase cases[] = {
        {"TC1:12", {}},
        {"TC1:123", {edit("Station", "123")}},  // fits exactly
        {"ZOM:0.00", {}},
        {"MDL:", {}},
        {"AIN1:001234,000100,0005", {}},
        {"AIN1:001234,000100,00050",
         {edit("AD1H", "001234"), edit("AD1L", "000100"), edit("AD1LD", "00050")}},
        {"AXS1:1.0", {}},
        {"DI01:1,", {}},
        {"DI01:1", {}},
        {"ARS485X:4,", {}},
        {"BRS485X:", {}},
        {"MTM:00", {}},
        {"PUDL:", {}},
        {"PUDL", {}},
        // Earlier rows still apply.
        {"TC1:456 MKT:1", {edit("Station", "456")}},
    };
    expectRows(cases);
}

TEST_F(ReadBackTest, NonDigitIndexAbortsTheRest) {
    struct Case {
        std::string reply;
        std::string bad;
        std::vector<Expect> applied;
    };
    const Case cases[] = {
        // Rows 1 and 2 applied, row 3 fails, rows 4-17 not applied.
        {"TC1:123 ZOM:1.234 MDL;x MKT:999 PUDL:1",
         "x",
         {edit("Station", "123"), edit("Edit1", "1.234")}},
        {"MDL:-", "-", {}},
        {"MDL:+", "+", {}},
        {"MDL: ", " ", {}},
        {std::string("MDL:\0", 5), std::string("\0", 1), {}},
        // Within a row the values before the bad one stay applied.
        {"DI01:1,x MTM:123", "x", {list("DIN1", 1, "Pulse Counting")}},
        {"AXS1:9.99 ARS485X:a,1", "a", {edit("AD1XISHU", "9.99")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        FakeControls fresh(nullptr);
        kvtest::fillStartValues(fresh);
        const Snapshot before = fresh.snapshot();
        try {
            applyReadBack(c.reply, fresh);
            ADD_FAILURE() << "no conversion error";
        } catch (const ConversionError& error) {
            EXPECT_EQ(error.message(), "'" + c.bad + "' is not a valid integer value");
        }
        expectChanged(fresh, before, c.applied);
    }
}

TEST(ReadBackInSession, ConversionErrorKeepsCode101AndTheReply) {
    SessionRig rig;
    rig.timer6.fire();
    rig.session.readParametersClick();
    const std::string reply = "TC1:123 ZOM:1.234 MDL:x MKT:999";
    rig.receive(reply);
    rig.clock.advance(1000);  // a part of a listing: read once no further piece can come
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.messages.boxes, std::vector<std::string>{"'x' is not a valid integer value"});
    EXPECT_EQ(rig.session.pendingRequest(), kvpresenter::PendingRequest::ReadParameters);
    EXPECT_EQ(rig.session.replyText(), reply);
    EXPECT_EQ(rig.controls.text("Station"), "123");
    EXPECT_EQ(rig.controls.text("Edit1"), "1.234");
    EXPECT_EQ(rig.controls.text("Edit2"), "001");
    EXPECT_FALSE(rig.timer6.enabled());

    // The next block runs the read-back again.
    rig.receive("MDL:2 MKT:999");
    rig.clock.advance(1000);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.messages.boxes.size(), 1u);
    EXPECT_EQ(rig.controls.itemIndex("ComboBox1"), 2);
    EXPECT_EQ(rig.controls.text("Edit2"), "999");
    EXPECT_EQ(rig.session.pendingRequest(), kvpresenter::PendingRequest::Idle);
    EXPECT_EQ(rig.session.replyText(), "");
}

TEST(ReadBackInSession, ErrorBoxCarriesAZeroByteWhole) {
    SessionRig rig;
    rig.session.readParametersClick();
    rig.receive(std::string("MDL:\0", 5));
    rig.clock.advance(1000);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.messages.boxes,
              std::vector<std::string>{std::string("'") + '\0' + "' is not a valid integer value"});
}

TEST(ReadBackInSession, TableCoversSeventeenRowsOverTheWindowsControls) {
    // Each target is a control of the window of the right kind (the fake fails otherwise).
    kvtest::FakeControls controls(nullptr);
    kvtest::fillStartValues(controls);
    EXPECT_EQ(kvproto::readBackRows().size(), 17u);
    for (const kvproto::ReadBackRow& row : kvproto::readBackRows()) {
        for (const kvproto::ReadBackValue& v : row.valueSpan()) {
            EXPECT_TRUE(controls.has(v.control)) << v.control;
            if (v.isIndex) {
                EXPECT_GT(controls.itemCount(v.control), 0) << v.control;
            }
        }
    }
}

}  // namespace
