// The simulated collector's answers and state changes: each of the 22 set frames, the
// queries, the reset, and the frames it must refuse without changing anything.
#include "sim/Device.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "protocol/CollectorSettings.h"
#include "protocol/Parameters.h"
#include "protocol/SetCommands.h"

namespace {

using kvsim::Device;
using kvsim::DeviceState;
using kvsim::Millis;

// A setting by its parameter's stable name and the text the collector then holds.
using Held = std::pair<const char*, const char*>;

struct SetCase {
    const char* frame;
    std::vector<Held> change;
    const char* answer;
};

// Every set command once, each with a value other than its factory value.
std::vector<SetCase> setCases() {
    return {
        {"KORVEL#AR485X:4,2#", {{"rs485.baud", "4"}, {"rs485.parity", "2"}}, "OK:AR485X:4,2\r\n"},
        {"KORVEL#ST:012#", {{"rs485.address", "012"}}, "OK:ST:012\r\n"},
        {"KORVEL#DI01:1#", {{"din1.mode", "1"}}, "OK:DI01:1\r\n"},
        {"KORVEL#DI02:1#", {{"din2.mode", "1"}}, "OK:DI02:1\r\n"},
        {"KORVEL#PUDL:3#", {{"din2.pulse_equivalent", "3"}}, "OK:PUDL:3\r\n"},
        {"KORVEL#MTM:020#", {{"din2.pulse_width", "020"}}, "OK:MTM:020\r\n"},
        {"KORVEL#LP1:00000123#", {{"pin1.base", "00000123"}}, "OK:LP1:00000123\r\n"},
        {"KORVEL#LP2:99999999#", {{"pin2.base", "99999999"}}, "OK:LP2:99999999\r\n"},
        {"KORVEL#AIN1:20,4,0#",
         {{"ad1.urv", "000020"}, {"ad1.lrv", "000004"}, {"ad1.start", "00000"}},
         "OK:AIN1:000020,000004,00000\r\n"},
        {"KORVEL#AIN2:1.6,-.5,0.25#",
         {{"ad2.urv", "1.6000"}, {"ad2.lrv", "-0.500"}, {"ad2.start", "0.250"}},
         "OK:AIN2:1.6000,-0.500,0.250\r\n"},
        {"KORVEL#AIN3:123456,-99999,-1234#",
         {{"ad3.urv", "123456"}, {"ad3.lrv", "-99999"}, {"ad3.start", "-1234"}},
         "OK:AIN3:123456,-99999,-1234\r\n"},
        {"KORVEL#AIN4:85,-40,-.123#",
         {{"ad4.urv", "000085"}, {"ad4.lrv", "-00040"}, {"ad4.start", "-.123"}},
         "OK:AIN4:000085,-00040,-.123\r\n"},
        {"KORVEL#AXS1:1.05#", {{"ad1.coefficient", "1.05"}}, "OK:AXS1:1.05\r\n"},
        {"KORVEL#AXS2:2#", {{"ad2.coefficient", "0002"}}, "OK:AXS2:0002\r\n"},
        {"KORVEL#AXS3:.5#", {{"ad3.coefficient", "0.50"}}, "OK:AXS3:0.50\r\n"},
        {"KORVEL#AXS4:9999#", {{"ad4.coefficient", "9999"}}, "OK:AXS4:9999\r\n"},
        {"KORVEL#LPN:00001234#", {{"ad1.total.integer", "00001234"}}, "OK:LPN:00001234\r\n"},
        {"KORVEL#LPF:50#", {{"ad1.total.decimal", "050"}}, "OK:LPF:050\r\n"},
        {"KORVEL#MDL:2#", {{"output.pulse_equivalent", "2"}}, "OK:MDL:2\r\n"},
        {"KORVEL#MKT:020#", {{"output.pulse_width", "020"}}, "OK:MKT:020\r\n"},
        {"KORVEL#ZOM:0.05#", {{"ad1.residual_cutoff", "0.050"}}, "OK:ZOM:0.050\r\n"},
        {"KORVEL#BR485X:1#", {{"interface.type", "1"}}, "OK:BR485X:1\r\n"},
    };
}

void PrintTo(const SetCase& c, std::ostream* os) {
    *os << c.frame;
}

class SetFrame : public testing::TestWithParam<SetCase> {};

TEST_P(SetFrame, ChangesExactlyItsSettingAndAcknowledges) {
    const SetCase& c = GetParam();
    Device device;
    DeviceState expected = kvsim::factoryDefaults();
    for (const auto& [name, text] : c.change) expected.set(name, text);
    ASSERT_NE(expected, device.state()) << "the case must change something";

    EXPECT_EQ(device.receive(c.frame, Millis{0}), c.answer);
    EXPECT_EQ(device.state(), expected);

    // The same frame again changes nothing more; a reset brings the factory values back.
    EXPECT_EQ(device.receive(c.frame, Millis{0}), c.answer);
    EXPECT_EQ(device.state(), expected);
    EXPECT_EQ(device.receive("KORVEL#RESET#", Millis{0}), "OK:RESET\r\n");
    EXPECT_EQ(device.state(), kvsim::factoryDefaults());
}

INSTANTIATE_TEST_SUITE_P(AllCommands, SetFrame, testing::ValuesIn(setCases()));

TEST(SetFrame, TableCoversEveryCommandOnce) {
    std::set<std::string> words;
    for (const auto& c : setCases()) {
        const std::string frame = c.frame;
        words.insert(frame.substr(7, frame.find(':') - 7));
    }
    EXPECT_EQ(words.size(), kvproto::setCommands().size());
    EXPECT_EQ(words.size(), 22u);
}

struct RefusedCase {
    const char* frame;
    const char* answer;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.frame;
}

class RefusedFrame : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedFrame, AnswersErrorAndChangesNothing) {
    const RefusedCase& c = GetParam();
    // Start from a state with every setting changed, so a reset would show too.
    Device device;
    for (const auto& set : setCases()) ASSERT_EQ(device.receive(set.frame, Millis{0}), set.answer);
    const DeviceState before = device.state();
    const auto origins = device.origins();

    EXPECT_EQ(device.receive(c.frame, Millis{5000}), c.answer);
    EXPECT_EQ(device.state(), before);
    EXPECT_EQ(device.origins(), origins);
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedFrame,
                         testing::Values(
                             // values the window sends from an untouched or half-edited form
                             RefusedCase{"KORVEL#AIN1:,,#", "ERR:AIN1:VALUE\r\n"},
                             RefusedCase{"KORVEL#AXS1:#", "ERR:AXS1:VALUE\r\n"},
                             RefusedCase{"KORVEL#BR485X:-1#", "ERR:BR485X:VALUE\r\n"},
                             RefusedCase{"KORVEL#ST:000#", "ERR:ST:VALUE\r\n"},
                             RefusedCase{"KORVEL#ST:123456#", "ERR:ST:VALUE\r\n"},
                             RefusedCase{"KORVEL#ST:-005#", "ERR:ST:VALUE\r\n"},
                             // out of range or not representable at the reported width
                             RefusedCase{"KORVEL#AR485X:10,0#", "ERR:AR485X:VALUE\r\n"},
                             RefusedCase{"KORVEL#AR485X:3,3#", "ERR:AR485X:VALUE\r\n"},
                             RefusedCase{"KORVEL#AR485X:3#", "ERR:AR485X:VALUE\r\n"},
                             RefusedCase{"KORVEL#DI01:2#", "ERR:DI01:VALUE\r\n"},
                             RefusedCase{"KORVEL#DI02:-1#", "ERR:DI02:VALUE\r\n"},
                             RefusedCase{"KORVEL#PUDL:5#", "ERR:PUDL:VALUE\r\n"},
                             RefusedCase{"KORVEL#MTM:000#", "ERR:MTM:VALUE\r\n"},
                             RefusedCase{"KORVEL#MTM:1000#", "ERR:MTM:VALUE\r\n"},
                             RefusedCase{"KORVEL#LP1:100000000#", "ERR:LP1:VALUE\r\n"},
                             RefusedCase{"KORVEL#LP2:-0000001#", "ERR:LP2:VALUE\r\n"},
                             RefusedCase{"KORVEL#AIN2:1234567,0,0#", "ERR:AIN2:VALUE\r\n"},
                             RefusedCase{"KORVEL#AIN3:20,4,123456#", "ERR:AIN3:VALUE\r\n"},
                             RefusedCase{"KORVEL#AIN4:4,20,0#", "ERR:AIN4:VALUE\r\n"},
                             RefusedCase{"KORVEL#AIN1:20,20,0#", "ERR:AIN1:VALUE\r\n"},
                             RefusedCase{"KORVEL#AIN1:2-0,4,0#", "ERR:AIN1:VALUE\r\n"},
                             RefusedCase{"KORVEL#AIN1:20,4,0,1#", "ERR:AIN1:VALUE\r\n"},
                             RefusedCase{"KORVEL#AXS2:1.005#", "ERR:AXS2:VALUE\r\n"},
                             RefusedCase{"KORVEL#AXS3:-1#", "ERR:AXS3:VALUE\r\n"},
                             RefusedCase{"KORVEL#AXS4:abc#", "ERR:AXS4:VALUE\r\n"},
                             RefusedCase{"KORVEL#LPN:123456789#", "ERR:LPN:VALUE\r\n"},
                             RefusedCase{"KORVEL#LPF:0000#", "ERR:LPF:VALUE\r\n"},
                             RefusedCase{"KORVEL#LPF:#", "ERR:LPF:VALUE\r\n"},
                             RefusedCase{"KORVEL#MDL:4#", "ERR:MDL:VALUE\r\n"},
                             RefusedCase{"KORVEL#MKT:000#", "ERR:MKT:VALUE\r\n"},
                             RefusedCase{"KORVEL#ZOM:1234.5#", "ERR:ZOM:VALUE\r\n"},
                             RefusedCase{"KORVEL#ZOM:-0.05#", "ERR:ZOM:VALUE\r\n"},
                             RefusedCase{"KORVEL#ZOM:0.05 #", "ERR:ZOM:VALUE\r\n"},
                             // malformed frames and unknown words
                             RefusedCase{"KORVEL#ST#", "ERR:FRAME\r\n"},
                             RefusedCase{"KORVEL#:5#", "ERR:FRAME\r\n"},
                             RefusedCase{"KORVEL#st:5#", "ERR:FRAME\r\n"},
                             RefusedCase{"KORVEL#RESET:1#", "ERR:COMMAND\r\n"},
                             RefusedCase{"KORVEL#FOO:1#", "ERR:COMMAND\r\n"},
                             RefusedCase{"KORVEL#ST:0\x01"
                                         "2#",
                                         "ERR:FRAME\r\n"},
                             RefusedCase{"KORVEL#AIN1:20,4KORVEL#", "ERR:FRAME\r\n"},
                             RefusedCase{"PPPPPP#RESET#", "ERR:COMMAND\r\n"},
                             RefusedCase{"PPPPPP#CHEACK#", "ERR:COMMAND\r\n"},
                             RefusedCase{"PPPPPP#VAR:1#", "ERR:FRAME\r\n"},
                             RefusedCase{"PPPPPP##", "ERR:FRAME\r\n"}));

TEST(Queries, AnswerWithoutChangingState) {
    Device device;
    EXPECT_EQ(device.receive("PPPPPP#VAR#", Millis{0}), "VAR:KV480T-R-2,V1.2,ADR:001,OK\r\n");
    const std::string parameters = device.receive("PPPPPP#CHEACK1#", Millis{0});
    EXPECT_EQ(parameters, kvsim::parameterText(kvsim::factoryDefaults()));
    EXPECT_NE(parameters.find("AIN1:000100,000000,00000\r\n"), std::string::npos);
    EXPECT_NE(device.receive("PPPPPP#STATUS#", Millis{0}).find("SUM1:0.000\r\n"),
              std::string::npos);
    EXPECT_EQ(device.state(), kvsim::factoryDefaults());
}

// The listing of a collector fresh from the factory, as the tool reads it back; the plain
// listing (of collectors that do not list the counter bases) is its 17 read-back rows alone.
TEST(Queries, FactoryListing) {
    const std::string full =
        "TC1:001\r\nZOM:0.000\r\nMDL:0\r\nMKT:001\r\n"
        "AIN1:000100,000000,00000\r\nAIN2:000100,000000,00000\r\n"
        "AIN3:000100,000000,00000\r\nAIN4:000100,000000,00000\r\n"
        "AXS1:1.00\r\nAXS2:1.00\r\nAXS3:1.00\r\nAXS4:1.00\r\n"
        "DI01:0,0\r\nARS485X:3,0\r\nBRS485X:2\r\nMTM:005\r\nPUDL:0\r\n"
        "LP1:00000000\r\nLP2:00000000\r\nLPN:00000000\r\nLPF:000\r\n";
    EXPECT_EQ(Device().receive("PPPPPP#CHEACK1#", Millis{0}), full);
    kvsim::DeviceOptions plain;
    plain.plainListing = true;
    EXPECT_EQ(Device(kvsim::factoryDefaults(), plain).receive("PPPPPP#CHEACK1#", Millis{0}),
              full.substr(0, full.find("LP1:")));
}

// Writing a counter base restarts the count it starts, and nothing else does: every set
// command once, each at its own time, with the collector's own values.
TEST(CounterOrigins, OnlyCounterBasesRestartTheirCount) {
    Device device;
    std::vector<const kvproto::Parameter*> bases;
    for (const kvproto::Parameter& p : kvproto::parameters())
        if (p.kind == kvproto::ParameterKind::CounterBase) bases.push_back(&p);
    ASSERT_EQ(bases.size(), 4u);  // the two pulse counters and the two parts of the AD1 total

    Millis now{0};
    for (const kvproto::SetCommand& command : kvproto::setCommands()) {
        now += Millis{1000};
        const kvsim::CounterOrigins before = device.origins();
        const std::string frame = kvproto::buildSetFrame(command, device.state().settings());
        ASSERT_TRUE(device.receive(frame, now).starts_with("OK:")) << frame;
        for (const kvproto::Parameter* base : bases) {
            bool written = false;
            for (const kvproto::Parameter* p : command.parameterSpan()) written |= p == base;
            EXPECT_EQ(device.origins().of(base->name), written ? now : before.of(base->name))
                << frame << " and " << base->name;
        }
    }
    device.receive("KORVEL#RESET#", now + Millis{5});
    for (const kvproto::Parameter* base : bases)
        EXPECT_EQ(device.origins().of(base->name), now + Millis{5}) << base->name;
}

// The value following "TAG:" in a status answer.
std::string field(const std::string& status, const std::string& tag) {
    const auto at = status.find(tag + ":");
    if (at == std::string::npos) return "<missing " + tag + ">";
    const auto from = at + tag.size() + 1;
    return status.substr(from, status.find("\r\n", from) - from);
}

TEST(Status, ReadingsFollowTheClockAndTheSettings) {
    Device device;
    device.receive("KORVEL#DI01:1#KORVEL#DI02:1#", Millis{0});
    device.receive("KORVEL#LP1:00000100#KORVEL#LP2:00000007#", Millis{1000});
    device.receive("KORVEL#LPN:00001234#KORVEL#LPF:50#", Millis{2000});

    const std::string at2s = device.receive("PPPPPP#STATUS#", Millis{2000});
    EXPECT_EQ(field(at2s, "PIN1"), "00000102");  // 2 pulses a second since t = 1 s
    EXPECT_EQ(field(at2s, "PIN2"), "00000008");  // 1 pulse a second
    EXPECT_EQ(field(at2s, "SUM1"), "1234.050");  // nothing has flowed yet

    const std::string at6s = device.receive("PPPPPP#STATUS#", Millis{6000});
    EXPECT_EQ(field(at6s, "PIN1"), "00000110");
    EXPECT_EQ(field(at6s, "PIN2"), "00000012");
    EXPECT_GT(std::stod(field(at6s, "SUM1")), 1234.05);
    for (const char* tag : {"AD1", "AD2", "AD3", "AD4"}) {
        const double value = std::stod(field(at6s, tag));
        EXPECT_GE(value, 0.0) << tag;  // factory range 0..100, coefficient 1
        EXPECT_LE(value, 100.0) << tag;
        EXPECT_NE(field(at2s, tag), field(at6s, tag)) << tag << " should move";
    }
    // Same time, same answer: the readings depend on the clock input only.
    EXPECT_EQ(device.receive("PPPPPP#STATUS#", Millis{6000}), at6s);

    // A state input counts nothing; the reset restarts the counters from the factory bases.
    device.receive("KORVEL#RESET#", Millis{7000});
    EXPECT_EQ(field(device.receive("PPPPPP#STATUS#", Millis{7000}), "SUM1"), "0.000");
    EXPECT_EQ(field(device.receive("PPPPPP#STATUS#", Millis{9000}), "PIN1"), "00000000");
}

TEST(Status, CoefficientScalesTheReading) {
    Device plain;
    Device doubled;
    doubled.receive("KORVEL#AXS3:2#", Millis{0});
    const double a = std::stod(field(plain.receive("PPPPPP#STATUS#", Millis{4321}), "AD3"));
    const double b = std::stod(field(doubled.receive("PPPPPP#STATUS#", Millis{4321}), "AD3"));
    EXPECT_NEAR(b, 2 * a, 0.002);
}

TEST(Answers, OneAnswerPerFrameInOrder) {
    Device device;
    EXPECT_EQ(device.receive("junkKORVEL#ST:002#PPPPPP#VAR#KORVEL#ST:", Millis{0}),
              "OK:ST:002\r\nVAR:KV480T-R-2,V1.2,ADR:002,OK\r\n");
    EXPECT_EQ(device.receive("300#", Millis{0}), "ERR:ST:VALUE\r\n");
    EXPECT_EQ(device.state().text("rs485.address"), "002");
}

}  // namespace
