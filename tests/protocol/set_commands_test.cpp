// The 22 "Set" buttons: frames, value encodings, send sequences and their failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeWindow.h"
#include "protocol/SetCommands.h"

namespace {

using kvtest::EventLog;
using kvtest::SessionRig;

// The log a send sequence leaves behind for a frame that converts.
EventLog sequenceLog(char sequence, const std::string& frame) {
    switch (sequence) {
        case 'A':
        case 'C':
            return {"discomm:=" + frame, "clear Memo8", "write " + frame};
        case 'B':
            return {"discomm:=", "clear Memo8", "Timer3.enabled", "discomm:=" + frame,
                    "write " + frame};
        case 'D':
            return {"Timer3.enabled", "discomm:=" + frame,     "clear Memo8",
                    "write " + frame, "Timer3.interval:=3000", "Timer3.enabled"};
    }
    return {};
}

struct StartValueCase {
    const char* button;
    const char* frame;  // empty: the field is empty at start and cannot be converted
    char sequence;
};

const StartValueCase kStartValueCases[] = {
    {"Button188", "KORVEL#AR485X:3,0#", 'A'},
    {"Button4", "KORVEL#ST:000#", 'A'},
    {"Button46", "KORVEL#DI01:0#", 'A'},
    {"Button47", "KORVEL#DI02:0#", 'A'},
    {"Button15", "KORVEL#PUDL:0#", 'B'},
    {"Button8", "KORVEL#MTM:005#", 'D'},
    {"Button52", "", 'A'},
    {"Button53", "", 'A'},
    {"AD1SET", "KORVEL#AIN1:,,#", 'A'},
    {"AD2SET", "KORVEL#AIN2:,,#", 'A'},
    {"Button1", "KORVEL#AIN3:,,#", 'A'},
    {"Button2", "KORVEL#AIN4:,,#", 'A'},
    {"Button85", "KORVEL#AXS1:#", 'A'},
    {"Button86", "KORVEL#AXS2:#", 'A'},
    {"Button9", "KORVEL#AXS3:#", 'A'},
    {"Button11", "KORVEL#AXS4:#", 'A'},
    {"PButton52", "KORVEL#LPN:00000000#", 'C'},
    {"Button3", "KORVEL#LPF:000#", 'B'},
    {"Button7", "KORVEL#MDL:0#", 'A'},
    {"Button6", "KORVEL#MKT:001#", 'A'},
    {"Button5", "KORVEL#ZOM:0.000#", 'B'},
    {"Button12", "KORVEL#BR485X:-1#", 'A'},
};

TEST(SetCommands, EveryButtonFromTheStartValues) {
    ASSERT_EQ(kvproto::setCommands().size(), std::size(kStartValueCases));
    for (const StartValueCase& c : kStartValueCases) {
        SCOPED_TRACE(c.button);
        SessionRig rig;
        ASSERT_TRUE(rig.session.setButtonClick(c.button));
        const std::string frame = c.frame;
        if (frame.empty()) {
            EXPECT_EQ(rig.takeLog(), EventLog{"message '' is not a valid integer value"});
            EXPECT_EQ(rig.session.pendingRequest(), kvpresenter::PendingRequest::Idle);
            continue;
        }
        EXPECT_EQ(rig.takeLog(), sequenceLog(c.sequence, frame));
        EXPECT_EQ(rig.serial.written, std::vector<std::string>{frame});
        EXPECT_EQ(rig.controls.text("discomm"), frame);
        const bool setsPending = c.sequence != 'A';
        EXPECT_EQ(rig.session.pendingRequest(), setsPending
                                                    ? kvpresenter::PendingRequest::ReplyExpected
                                                    : kvpresenter::PendingRequest::Idle);
        EXPECT_EQ(rig.timer3.enabled(), c.sequence == 'B' || c.sequence == 'D');
        EXPECT_TRUE(rig.messages.boxes.empty());
    }
}

struct Input {
    const char* control;
    const char* text;  // for a list: its item index in decimal
};

struct FrameCase {
    const char* button;
    std::vector<Input> inputs;
    const char* frame;
};

bool isList(const char* control) {
    for (const char* list :
         {"MR485BT", "MR485JN", "DIN1", "DIN2", "PUDLING", "ComboBox1", "BRS485NX"}) {
        if (std::string(list) == control) return true;
    }
    return false;
}

TEST(SetCommands, FramesFromEnteredValues) {
    const FrameCase cases[] = {
        {"Button188", {{"MR485BT", "4"}, {"MR485JN", "2"}}, "KORVEL#AR485X:4,2#"},
        {"Button188", {{"MR485BT", "9"}, {"MR485JN", "1"}}, "KORVEL#AR485X:9,1#"},
        {"Button4", {{"Station", "12"}}, "KORVEL#ST:012#"},
        {"Button4", {{"Station", "123456"}}, "KORVEL#ST:123456#"},
        {"Button46", {{"DIN1", "1"}}, "KORVEL#DI01:1#"},
        {"Button47", {{"DIN2", "1"}}, "KORVEL#DI02:1#"},
        {"Button52", {{"PUSET1", "123"}}, "KORVEL#LP1:00000123#"},
        {"Button53", {{"PUSET2", "87654321"}}, "KORVEL#LP2:87654321#"},
        {"AD1SET", {{"AD1H", "20"}, {"AD1L", "4"}, {"AD1LD", "0"}}, "KORVEL#AIN1:20,4,0#"},
        {"AD1SET", {{"AD1H", " -1.5"}, {"AD1LD", "a b"}}, "KORVEL#AIN1: -1.5,,a b#"},
        {"Button86", {{"AD2XISHU", "1.05"}}, "KORVEL#AXS2:1.05#"},
        {"Button85", {{"AD1XISHU", "1,5#x "}}, "KORVEL#AXS1:1,5#x #"},
        {"PButton52", {{"PUSET3", "1234"}}, "KORVEL#LPN:00001234#"},
        {"PButton52", {{"PUSET3", "7"}}, "KORVEL#LPN:00000007#"},
        {"Button3", {{"PUSET1XIAO", "50"}}, "KORVEL#LPF:50#"},
        {"Button3", {{"PUSET1XIAO", "7"}}, "KORVEL#LPF:7#"},
        {"Button3", {{"PUSET1XIAO", ""}}, "KORVEL#LPF:#"},
        {"Button7", {{"ComboBox1", "2"}}, "KORVEL#MDL:2#"},
        {"Button6", {{"Edit2", "20"}}, "KORVEL#MKT:020#"},
        {"Button15", {{"PUDLING", "3"}}, "KORVEL#PUDL:3#"},
        {"Button15", {{"PUDLING", "5"}}, "KORVEL#PUDL:5#"},
        {"Button15", {{"PUDLING", "6"}}, "KORVEL#PUDL:6#"},
        {"Button8", {{"Edit3", "5"}}, "KORVEL#MTM:005#"},
        {"Button5", {{"Edit1", "0.050"}}, "KORVEL#ZOM:0.050#"},
        {"Button5", {{"Edit1", ""}}, "KORVEL#ZOM:#"},
        {"Button12", {{"BRS485NX", "2"}}, "KORVEL#BR485X:2#"},
        {"Button12", {{"BRS485NX", "7"}}, "KORVEL#BR485X:-1#"},  // beyond the items
    };
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.frame);
        SessionRig rig;
        for (const Input& in : c.inputs) {
            if (isList(in.control)) {
                rig.controls.setItemIndex(in.control, std::stoi(in.text));
            } else {
                rig.controls.setText(in.control, in.text);
            }
        }
        ASSERT_TRUE(rig.session.setButtonClick(c.button));
        EXPECT_EQ(rig.serial.written, std::vector<std::string>{c.frame});
        EXPECT_EQ(rig.controls.text("discomm"), c.frame);
        EXPECT_TRUE(rig.messages.boxes.empty());
    }
}

TEST(SetCommands, EachChannelReadsItsOwnRow) {
    SessionRig rig;
    for (char n : {'1', '2', '3', '4'}) {
        const std::string row = std::string("AD") + n;
        rig.controls.setText(row + "H", std::string("h") + n);
        rig.controls.setText(row + "L", std::string("l") + n);
        rig.controls.setText(row + "LD", std::string("s") + n);
        rig.controls.setText(row + "XISHU", std::string("x") + n);
    }
    const char* buttons[] = {"AD1SET",   "AD2SET",   "Button1", "Button2",
                             "Button85", "Button86", "Button9", "Button11"};
    for (const char* button : buttons) ASSERT_TRUE(rig.session.setButtonClick(button));
    EXPECT_EQ(rig.serial.written,
              (std::vector<std::string>{"KORVEL#AIN1:h1,l1,s1#", "KORVEL#AIN2:h2,l2,s2#",
                                        "KORVEL#AIN3:h3,l3,s3#", "KORVEL#AIN4:h4,l4,s4#",
                                        "KORVEL#AXS1:x1#", "KORVEL#AXS2:x2#", "KORVEL#AXS3:x3#",
                                        "KORVEL#AXS4:x4#"}));
}

struct PadField {
    const char* button;
    const char* word;
    const char* control;
    int digits;
    char sequence;
};

const PadField kPadFields[] = {
    {"Button4", "ST", "Station", 3, 'A'},  {"Button52", "LP1", "PUSET1", 8, 'A'},
    {"Button53", "LP2", "PUSET2", 8, 'A'}, {"PButton52", "LPN", "PUSET3", 8, 'C'},
    {"Button6", "MKT", "Edit2", 3, 'A'},   {"Button8", "MTM", "Edit3", 3, 'D'},
};

TEST(SetCommands, PaddedFieldsConvertAndPad) {
    struct Value {
        const char* text;
        const char* pad3;
        const char* pad8;
    };
    const Value values[] = {
        {"7", "007", "00000007"},
        {"0", "000", "00000000"},
        {"+42", "042", "00000042"},
        {"1234", "1234", "00001234"},
        {"123456789", "123456789", "123456789"},
        {"-5", "-005", "-00000005"},
        {"0001", "001", "00000001"},
        {"2147483647", "2147483647", "2147483647"},
    };
    for (const PadField& field : kPadFields) {
        for (const Value& v : values) {
            SCOPED_TRACE(std::string(field.control) + " = '" + v.text + "'");
            SessionRig rig;
            rig.controls.setText(field.control, v.text);
            ASSERT_TRUE(rig.session.setButtonClick(field.button));
            const std::string frame = std::string("KORVEL#") + field.word + ":" +
                                      (field.digits == 3 ? v.pad3 : v.pad8) + "#";
            EXPECT_EQ(rig.serial.written, std::vector<std::string>{frame});
            EXPECT_TRUE(rig.messages.boxes.empty());
        }
    }
}

TEST(SetCommands, InvalidPaddedFieldStopsTheRequestWithTheConversionError) {
    const char* invalid[] = {"",  " ", " 12",  "12 ",        "12a",         "1.5",
                             "-", "+", "0x1F", "2147483648", "-2147483649", "99999999999"};
    for (const PadField& field : kPadFields) {
        for (const char* text : invalid) {
            SCOPED_TRACE(std::string(field.control) + " = '" + text + "'");
            SessionRig rig;
            // An exchange in progress and buffers that show an earlier request.
            rig.session.dataQueryClick();
            rig.controls.setText("discomm", "earlier frame");
            rig.controls.setText("Memo8", "earlier reply");
            rig.controls.setText(field.control, text);
            rig.serial.written.clear();
            rig.takeLog();

            ASSERT_TRUE(rig.session.setButtonClick(field.button));
            const std::string box =
                std::string("message '") + text + "' is not a valid integer value";
            // Sequence D enabled Timer3 before it built the frame; it stays enabled.
            const EventLog expected =
                field.sequence == 'D' ? EventLog{"Timer3.enabled", box} : EventLog{box};
            EXPECT_EQ(rig.takeLog(), expected);
            EXPECT_TRUE(rig.serial.written.empty());
            EXPECT_EQ(rig.controls.text("discomm"), "earlier frame");
            EXPECT_EQ(rig.controls.text("Memo8"), "earlier reply");
            EXPECT_EQ(rig.session.pendingRequest(), kvpresenter::PendingRequest::DataQuery);
            EXPECT_EQ(rig.timer3.enabled(), field.sequence == 'D');
            EXPECT_EQ(rig.timer3.interval(), 1000);
            EXPECT_EQ(rig.session.timeoutKind(), kvpresenter::TimeoutKind::Silent);
        }
    }
}

TEST(SetCommands, SequenceBArmsASilentTimeoutWithTheCurrentInterval) {
    SessionRig rig;
    rig.session.readParametersClick();  // arms the "Parameter Query Timeout!" kind
    ASSERT_EQ(rig.session.timeoutKind(), kvpresenter::TimeoutKind::ParameterQuery);
    rig.controls.setText("discomm", "x");
    rig.takeLog();
    ASSERT_TRUE(rig.session.setButtonClick("Button5"));
    // The query's 3000 ms time-out was running: the set command's own interval comes back,
    // which restarts the period; the query's message is silenced.
    EventLog expected = sequenceLog('B', "KORVEL#ZOM:0.000#");
    expected.insert(expected.begin() + 2, "Timer3.interval:=1000");
    EXPECT_EQ(rig.takeLog(), expected);
    EXPECT_EQ(rig.session.timeoutKind(), kvpresenter::TimeoutKind::Silent);
    EXPECT_EQ(rig.timer3.interval(), 1000);
    EXPECT_EQ(rig.timer3.periodStarts, 2);
    EXPECT_TRUE(rig.timer3.fire());
    EXPECT_FALSE(rig.timer3.enabled());
    EXPECT_TRUE(rig.messages.boxes.empty());
}

TEST(SetCommands, MtmLeavesTheLongIntervalForGood) {
    SessionRig rig;
    ASSERT_TRUE(rig.session.setButtonClick("Button8"));
    EXPECT_EQ(rig.timer3.interval(), 3000);
    EXPECT_EQ(rig.session.timeoutKind(), kvpresenter::TimeoutKind::SilentLong);
    EXPECT_TRUE(rig.timer3.fire());  // silent
    EXPECT_TRUE(rig.messages.boxes.empty());
    EXPECT_FALSE(rig.timer3.enabled());

    // Later requests that start Timer3 keep the 3000 ms interval.
    const char* later[] = {"Button15", "Button3", "Button5"};
    for (const char* button : later) {
        ASSERT_TRUE(rig.session.setButtonClick(button));
        EXPECT_TRUE(rig.timer3.enabled());
        EXPECT_EQ(rig.timer3.interval(), 3000);
        EXPECT_TRUE(rig.timer3.fire());
    }
    rig.session.readParametersClick();
    rig.session.communicationTestClick();
    EXPECT_EQ(rig.timer3.interval(), 3000);
}

TEST(SetCommands, RefusedWriteStillShowsTheFrameAndSaysNothingWasSent) {
    SessionRig rig;
    rig.serial.open = false;
    ASSERT_TRUE(rig.session.setButtonClick("Button188"));
    EXPECT_EQ(rig.controls.text("discomm"), "KORVEL#AR485X:3,0#");
    EXPECT_TRUE(rig.serial.written.empty());
    EXPECT_EQ(rig.messages.status, kvpresenter::kNotSentStatus);
    EXPECT_TRUE(rig.messages.boxes.empty());

    // Once the port takes frames again the status line is cleared.
    rig.serial.open = true;
    ASSERT_TRUE(rig.session.setButtonClick("Button4"));
    EXPECT_EQ(rig.messages.status, "");
    EXPECT_EQ(rig.serial.written, std::vector<std::string>{"KORVEL#ST:000#"});
}

TEST(SetCommands, UnknownButtonsAreNotSetCommands) {
    SessionRig rig;
    for (const char* name : {"", "Button32", "Button14", "Button58", "ad1set", "AD1SETX"}) {
        EXPECT_FALSE(rig.session.setButtonClick(name)) << name;
    }
    EXPECT_TRUE(rig.log.empty());
}

}  // namespace
