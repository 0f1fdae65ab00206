// Two sets of collector settings for round trips, and the settings a simulated collector holds
// by stable name.
//
// Within a set the values differ from parameter to parameter as far as the rules allow (so a
// value that lands in the wrong parameter shows), and every value of set B differs from set A
// (so a value that was not written, or not read, shows in one of the two).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "protocol/CollectorSettings.h"
#include "sim/DeviceState.h"

namespace kvtest {

struct RoundTripValue {
    const char* name;
    const char* sent;  // as given to CollectorSettings
    const char* held;  // as the collector holds and reports it
};

// clang-format off
inline const std::vector<RoundTripValue> kValuesA = {
    {"rs485.baud", "19200", "19200"},            {"rs485.parity", "Even", "Even"},
    {"rs485.address", "12", "012"},              {"din1.mode", "1", "Pulse Counting"},
    {"din2.mode", "Digital Input Acquisition", "Digital Input Acquisition"},
    {"din2.pulse_equivalent", "3", "1 pulse for 10 tons of water"},
    {"din2.pulse_width", "20", "020"},           {"pin1.base", "123", "00000123"},
    {"pin2.base", "4567", "00004567"},           {"ad1.urv", "20", "000020"},
    {"ad1.lrv", "4", "000004"},                  {"ad1.start", "1", "00001"},
    {"ad2.urv", "1.6", "1.6000"},                {"ad2.lrv", "-.5", "-0.500"},
    {"ad2.start", ".25", "0.250"},               {"ad3.urv", "123456", "123456"},
    {"ad3.lrv", "-99999", "-99999"},             {"ad3.start", "-1234", "-1234"},
    {"ad4.urv", "85", "000085"},                 {"ad4.lrv", "-040", "-00040"},
    {"ad4.start", "-.123", "-.123"},             {"ad1.coefficient", "1.05", "1.05"},
    {"ad2.coefficient", "2", "0002"},            {"ad3.coefficient", ".5", "0.50"},
    {"ad4.coefficient", "9999", "9999"},         {"ad1.total.integer", "89012", "00089012"},
    {"ad1.total.decimal", "50", "050"},          {"output.pulse_equivalent", "0.01", "0.01"},
    {"output.pulse_width", "30", "030"},         {"ad1.residual_cutoff", "0.05", "0.050"},
    {"interface.type", "1_NET", "1_NET"},
};

inline const std::vector<RoundTripValue> kValuesB = {
    {"rs485.baud", "2", "4800"},                 {"rs485.parity", "Odd", "Odd"},
    {"rs485.address", "200", "200"},             {"din1.mode", "0", "Digital Input Acquisition"},
    {"din2.mode", "Pulse Counting", "Pulse Counting"},
    {"din2.pulse_equivalent", "10 pulses per ton of water", "10 pulses per ton of water"},
    {"din2.pulse_width", "999", "999"},          {"pin1.base", "99999999", "99999999"},
    {"pin2.base", "1", "00000001"},              {"ad1.urv", "7.25", "7.2500"},
    {"ad1.lrv", "-1", "-00001"},                 {"ad1.start", "3.5", "3.500"},
    {"ad2.urv", "654321", "654321"},             {"ad2.lrv", "-2", "-00002"},
    {"ad2.start", "42", "00042"},                {"ad3.urv", "0.125", "0.1250"},
    {"ad3.lrv", "-1.5", "-1.500"},               {"ad3.start", "9", "00009"},
    {"ad4.urv", "500", "000500"},                {"ad4.lrv", "-3.25", "-3.250"},
    {"ad4.start", "77777", "77777"},             {"ad1.coefficient", "3.5", "3.50"},
    {"ad2.coefficient", "12", "0012"},           {"ad3.coefficient", "0.75", "0.75"},
    {"ad4.coefficient", "8.8", "8.80"},          {"ad1.total.integer", "0", "00000000"},
    {"ad1.total.decimal", "999", "999"},         {"output.pulse_equivalent", "1", "1"},
    {"output.pulse_width", "998", "998"},        {"ad1.residual_cutoff", "1.25", "1.250"},
    {"interface.type", "2", "2_RS485"},
};
// clang-format on

// The values to send, as settings; every value must be accepted.
kvproto::CollectorSettings settingsToSend(const std::vector<RoundTripValue>& values);

// Every setting the collector holds, by stable name, written as the parameter model writes it
// (lists by item text, numbers at the width the collector reports them).
std::map<std::string, std::string> heldBy(const kvsim::DeviceState& state);

}  // namespace kvtest
