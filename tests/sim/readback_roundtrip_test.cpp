// The collector's parameter listing read back by the tool's own protocol library: values
// typed into the window, sent with the "Set" buttons and read back with "Read Parameters"
// come back as the same values, every field and list of the read-back.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "FakeWindow.h"
#include "sim/Device.h"

namespace {

using kvsim::Device;
using kvsim::Millis;
using kvtest::SessionRig;

// What the technician enters: a text for an entry field or an item index for a list.
struct Entry {
    const char* control;
    const char* text;  // nullptr: a list, use index
    int index;
};

// Presses each "Set" button of `buttons` on a window holding `entries`, feeds the frames to
// the collector and returns its answers.
std::vector<std::string> setAll(Device& device, const std::vector<Entry>& entries,
                                const std::vector<const char*>& buttons) {
    SessionRig rig;
    for (const Entry& e : entries) {
        if (e.text != nullptr)
            rig.controls.setText(e.control, e.text);
        else
            rig.controls.setItemIndex(e.control, e.index);
    }
    std::vector<std::string> answers;
    for (const char* button : buttons) {
        const std::size_t before = rig.serial.written.size();
        EXPECT_TRUE(rig.session.setButtonClick(button)) << button;
        EXPECT_EQ(rig.serial.written.size(), before + 1) << button << " sent no frame";
        if (rig.serial.written.size() == before + 1)
            answers.push_back(device.receive(rig.serial.written.back(), Millis{0}));
    }
    return answers;
}

// "Read Parameters" in a fresh window: the collector's answer in one block, then Timer6.
void readParameters(Device& device, SessionRig& rig) {
    rig.session.readParametersClick();
    ASSERT_EQ(rig.serial.written.size(), 1u);
    rig.receive(device.receive(rig.serial.written.back(), Millis{0}));
    rig.clock.advance(200);
    ASSERT_TRUE(rig.timer6.fire());
    ASSERT_EQ(rig.session.pendingRequest(), kvpresenter::PendingRequest::Idle)
        << "the read-back did not complete";
    EXPECT_TRUE(rig.messages.boxes.empty());
}

const std::vector<const char*> kAllSetButtons = {
    "Button188", "Button4", "Button46", "Button47", "Button15", "Button8",  "Button52", "Button53",
    "AD1SET",    "AD2SET",  "Button1",  "Button2",  "Button85", "Button86", "Button9",  "Button11",
    "PButton52", "Button3", "Button7",  "Button6",  "Button5",  "Button12"};

// Edited values and the text the read-back shows. Within each set every parameter has a value
// of its own (as far as its list allows, and always within one listing line, so that values
// landing at another parameter's place show), and each value of the second set differs from
// the first set's, so that the second read-back shows what the second writes changed.
struct RoundTrip {
    Entry typed;
    const char* readBack;  // entry fields: text after the read-back; lists: nullptr
};

const std::vector<RoundTrip> kEdited = {
    {{"MR485BT", nullptr, 4}, nullptr},  {{"MR485JN", nullptr, 2}, nullptr},
    {{"Station", "12", 0}, "012"},       {{"DIN1", nullptr, 1}, nullptr},
    {{"DIN2", nullptr, 0}, nullptr},     {{"PUDLING", nullptr, 3}, nullptr},
    {{"Edit3", "25", 0}, "025"},         {{"PUSET1", "123", 0}, nullptr},
    {{"PUSET2", "7", 0}, nullptr},       {{"AD1H", "20", 0}, "000020"},
    {{"AD1L", "4", 0}, "000004"},        {{"AD1LD", "3", 0}, "00003"},
    {{"AD2H", "1.6", 0}, "1.6000"},      {{"AD2L", "-.5", 0}, "-0.500"},
    {{"AD2LD", ".25", 0}, "0.250"},      {{"AD3H", "123456", 0}, "123456"},
    {{"AD3L", "-99999", 0}, "-99999"},   {{"AD3LD", "-1234", 0}, "-1234"},
    {{"AD4H", "85.", 0}, "000085"},      {{"AD4L", "-040", 0}, "-00040"},
    {{"AD4LD", "-.123", 0}, "-.123"},    {{"AD1XISHU", "1.05", 0}, "1.05"},
    {{"AD2XISHU", "2", 0}, "0002"},      {{"AD3XISHU", ".5", 0}, "0.50"},
    {{"AD4XISHU", "9999", 0}, "9999"},   {{"PUSET3", "1234", 0}, nullptr},
    {{"PUSET1XIAO", "50", 0}, nullptr},  {{"ComboBox1", nullptr, 2}, nullptr},
    {{"Edit2", "30", 0}, "030"},         {{"Edit1", "0.05", 0}, "0.050"},
    {{"BRS485NX", nullptr, 1}, nullptr},
};

const std::vector<RoundTrip> kEditedAgain = {
    {{"MR485BT", nullptr, 7}, nullptr},  {{"MR485JN", nullptr, 1}, nullptr},
    {{"Station", "247", 0}, "247"},      {{"DIN1", nullptr, 0}, nullptr},
    {{"DIN2", nullptr, 1}, nullptr},     {{"PUDLING", nullptr, 2}, nullptr},
    {{"Edit3", "999", 0}, "999"},        {{"PUSET1", "99999999", 0}, nullptr},
    {{"PUSET2", "89", 0}, nullptr},      {{"AD1H", "7.5", 0}, "7.5000"},
    {{"AD1L", "-7.5", 0}, "-7.500"},     {{"AD1LD", "-7", 0}, "-0007"},
    {{"AD2H", "999999", 0}, "999999"},   {{"AD2L", "0", 0}, "000000"},
    {{"AD2LD", "99999", 0}, "99999"},    {{"AD3H", "-1", 0}, "-00001"},
    {{"AD3L", "-2.25", 0}, "-2.250"},    {{"AD3LD", "0.001", 0}, "0.001"},
    {{"AD4H", "0.5", 0}, "0.5000"},      {{"AD4L", "-.0001", 0}, "-.0001"},
    {{"AD4LD", "12.5", 0}, "12.50"},     {{"AD1XISHU", "0.75", 0}, "0.75"},
    {{"AD2XISHU", "3.25", 0}, "3.25"},   {{"AD3XISHU", "10.1", 0}, "10.1"},
    {{"AD4XISHU", ".01", 0}, "0.01"},    {{"PUSET3", "5", 0}, nullptr},
    {{"PUSET1XIAO", "321", 0}, nullptr}, {{"ComboBox1", nullptr, 3}, nullptr},
    {{"Edit2", "1", 0}, "001"},          {{"Edit1", "99.5", 0}, "99.50"},
    {{"BRS485NX", nullptr, 0}, nullptr},
};

bool isReadBack(const RoundTrip& r) {
    const std::string name = r.typed.control;
    return name != "PUSET1" && name != "PUSET2" && name != "PUSET3" && name != "PUSET1XIAO";
}

// The edited sets themselves: one value per control, the two sets apart everywhere, and no
// two inputs of one listing line (DIN1/DIN2, baud rate/parity, the AD ranges) alike.
TEST(ReadBackRoundTrip, TheEditedSetsDifferEverywhere) {
    ASSERT_EQ(kEdited.size(), kEditedAgain.size());
    for (std::size_t i = 0; i < kEdited.size(); ++i) {
        const Entry& a = kEdited[i].typed;
        const Entry& b = kEditedAgain[i].typed;
        ASSERT_EQ(std::string(a.control), b.control);
        if (a.text == nullptr)
            EXPECT_NE(a.index, b.index) << a.control;
        else
            EXPECT_NE(std::string(a.text), b.text) << a.control;
    }
    for (const auto* set : {&kEdited, &kEditedAgain}) {
        const auto& e = *set;
        const auto index = [&](const char* control) {
            for (const auto& r : e)
                if (std::string(r.typed.control) == control) return r.typed.index;
            return -1;
        };
        EXPECT_NE(index("DIN1"), index("DIN2"));
        EXPECT_NE(index("MR485BT"), index("MR485JN"));
        std::set<std::string> texts;
        for (const auto& r : e) {
            if (r.readBack != nullptr) {
                EXPECT_TRUE(texts.insert(r.readBack).second) << r.readBack;
            }
        }
    }
}

TEST(ReadBackRoundTrip, EverySetButtonThenReadParametersRestoresTheWindow) {
    Device device;
    for (const auto* set : {&kEdited, &kEditedAgain}) {
        SCOPED_TRACE(set == &kEdited ? "first set" : "second set");
        std::vector<Entry> entries;
        for (const auto& r : *set) entries.push_back(r.typed);
        for (const std::string& answer : setAll(device, entries, kAllSetButtons))
            EXPECT_TRUE(answer.starts_with("OK:")) << answer;

        SessionRig fresh;
        readParameters(device, fresh);
        int checked = 0;
        for (const auto& r : *set) {
            if (!isReadBack(r)) continue;
            ++checked;
            if (r.typed.text == nullptr)
                EXPECT_EQ(fresh.controls.itemIndex(r.typed.control), r.typed.index)
                    << r.typed.control;
            else
                EXPECT_EQ(fresh.controls.text(r.typed.control), r.readBack) << r.typed.control;
        }
        EXPECT_EQ(checked, 27);  // the 17 read-back rows fill 27 controls
    }
}

TEST(ReadBackRoundTrip, FactoryValuesAfterReset) {
    Device device;
    std::vector<Entry> entries;
    for (const auto& r : kEdited) entries.push_back(r.typed);
    setAll(device, entries, kAllSetButtons);
    device.receive("KORVEL#RESET#", Millis{0});

    SessionRig fresh;
    readParameters(device, fresh);
    const kvsim::DeviceState f = kvsim::factoryDefaults();
    EXPECT_EQ(fresh.controls.text("Station"), "001");
    EXPECT_EQ(fresh.controls.text("Edit1"), f.text("ad1.residual_cutoff"));
    EXPECT_EQ(fresh.controls.text("Edit2"), "001");
    EXPECT_EQ(fresh.controls.text("Edit3"), "005");
    for (const char* n : {"1", "2", "3", "4"}) {
        const std::string channel = std::string("ad") + n + ".";
        EXPECT_EQ(fresh.controls.text(std::string("AD") + n + "H"), f.text(channel + "urv"));
        EXPECT_EQ(fresh.controls.text(std::string("AD") + n + "L"), f.text(channel + "lrv"));
        EXPECT_EQ(fresh.controls.text(std::string("AD") + n + "LD"), f.text(channel + "start"));
        EXPECT_EQ(fresh.controls.text(std::string("AD") + n + "XISHU"), "1.00");
    }
    EXPECT_EQ(fresh.controls.itemIndex("MR485BT"), f.number("rs485.baud"));
    EXPECT_EQ(fresh.controls.itemIndex("MR485JN"), f.number("rs485.parity"));
    EXPECT_EQ(fresh.controls.itemIndex("DIN1"), f.number("din1.mode"));
    EXPECT_EQ(fresh.controls.itemIndex("DIN2"), f.number("din2.mode"));
    EXPECT_EQ(fresh.controls.itemIndex("PUDLING"), f.number("din2.pulse_equivalent"));
    EXPECT_EQ(fresh.controls.itemIndex("ComboBox1"), f.number("output.pulse_equivalent"));
    EXPECT_EQ(fresh.controls.itemIndex("BRS485NX"), f.number("interface.type"));
}

// A number as the technician may type it into a field with the signed-decimal key filter:
// digits with at most one "." and a leading "-", up to `maxLength` characters.
std::string randomNumber(std::mt19937& rng, std::size_t maxLength, bool negative) {
    std::uniform_int_distribution<std::size_t> length(1, maxLength);
    std::string s = negative ? "-" : "";
    const std::size_t n = length(rng);
    const std::size_t dotAt = std::uniform_int_distribution<std::size_t>(0, n + 2)(rng);
    while (s.size() < n) {
        if (s.size() == dotAt && s.find('.') == std::string::npos)
            s += '.';
        else
            s += static_cast<char>('0' + std::uniform_int_distribution<int>(0, 9)(rng));
    }
    if (s == "-" || s == "." || s == "-.") s += '7';
    if (s.size() > maxLength) s.erase(0, s.size() - maxLength);  // drop a leading '-' or '.'
    return s;
}

double valueOf(std::string text) {
    const std::size_t at = text.starts_with('-') ? 1 : 0;
    if (text.compare(at, 1, ".") == 0) text.insert(at, "0");
    return std::stod(text);
}

// Every number that fits the URV/LRV/starting-point key filters (6, 6 and 5 characters) and
// the residual cut-off filter (5 characters) is accepted and read back as the same value.
TEST(ReadBackRoundTrip, EveryTypeableNumberComesBackAsTheSameValue) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::string urv, lrv;
        const bool negativeUrv = round % 3 == 0;
        do {
            urv = randomNumber(rng, 6, negativeUrv);
            lrv = randomNumber(rng, 6, negativeUrv || round % 2 == 0);
        } while (valueOf(urv) <= valueOf(lrv));
        const std::string start = randomNumber(rng, 5, round % 4 == 0);
        const std::string cutoff = randomNumber(rng, 5, false);
        const std::string channel = std::to_string(round % 4 + 1);
        const std::string h = "AD" + channel + "H", l = "AD" + channel + "L",
                          ld = "AD" + channel + "LD";
        static const char* setButton[] = {"AD1SET", "AD2SET", "Button1", "Button2"};

        Device device;
        const auto answers = setAll(device,
                                    {{h.c_str(), urv.c_str(), 0},
                                     {l.c_str(), lrv.c_str(), 0},
                                     {ld.c_str(), start.c_str(), 0},
                                     {"Edit1", cutoff.c_str(), 0}},
                                    {setButton[round % 4], "Button5"});
        ASSERT_EQ(answers.size(), 2u);
        ASSERT_TRUE(answers[0].starts_with("OK:")) << urv << "," << lrv << "," << start;
        ASSERT_TRUE(answers[1].starts_with("OK:")) << cutoff;

        SessionRig fresh;
        readParameters(device, fresh);
        EXPECT_EQ(valueOf(fresh.controls.text(h)), valueOf(urv)) << urv;
        EXPECT_EQ(valueOf(fresh.controls.text(l)), valueOf(lrv)) << lrv;
        EXPECT_EQ(valueOf(fresh.controls.text(ld)), valueOf(start)) << start;
        EXPECT_EQ(valueOf(fresh.controls.text("Edit1")), valueOf(cutoff)) << cutoff;
    }
}

}  // namespace
