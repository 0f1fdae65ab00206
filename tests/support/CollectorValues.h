// Two sets of collector settings for round trips, keyed by the parameter table's names. Within
// a set the values differ from parameter to parameter as far as the rules allow (a value that
// lands in the wrong parameter shows), and every value of set B differs from set A (a value
// that was not written, or not read, shows in one of the two). `held` is the value as the
// collector holds and reports it. The window's suites reach a value's control through the
// parameter table: collectorValue("ad1.urv").control().
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/CollectorSettings.h"
#include "protocol/Parameters.h"

namespace kvtest {

struct CollectorValue {
    const char* name;  // the parameter table's name
    const char* sentA;
    const char* heldA;
    const char* sentB;
    const char* heldB;

    const kvproto::Parameter& parameter() const { return *kvproto::findParameter(name); }
    // The window control that shows the value.
    std::string_view control() const { return parameter().control; }
    const char* sent(bool setB) const { return setB ? sentB : sentA; }
    const char* held(bool setB) const { return setB ? heldB : heldA; }
};

// clang-format off
inline const std::vector<CollectorValue> kCollectorValues = {
    {"rs485.baud", "19200", "19200", "2", "4800"},
    {"rs485.parity", "Even", "Even", "Odd", "Odd"},
    {"rs485.address", "12", "012", "200", "200"},
    {"din1.mode", "1", "Pulse Counting", "0", "Digital Input Acquisition"},
    {"din2.mode", "Digital Input Acquisition", "Digital Input Acquisition", "Pulse Counting",
     "Pulse Counting"},
    {"din2.pulse_equivalent", "3", "1 pulse for 10 tons of water", "10 pulses per ton of water",
     "10 pulses per ton of water"},
    {"din2.pulse_width", "20", "020", "999", "999"},
    {"pin1.base", "123", "00000123", "99999999", "99999999"},
    {"pin2.base", "4567", "00004567", "1", "00000001"},
    {"ad1.urv", "20", "000020", "7.25", "7.2500"},
    {"ad1.lrv", "4", "000004", "-1", "-00001"},
    {"ad1.start", "1", "00001", "3.5", "3.500"},
    {"ad2.urv", "1.6", "1.6000", "654321", "654321"},
    {"ad2.lrv", "-.5", "-0.500", "-2", "-00002"},
    {"ad2.start", ".25", "0.250", "42", "00042"},
    {"ad3.urv", "123456", "123456", "0.125", "0.1250"},
    {"ad3.lrv", "-99999", "-99999", "-1.5", "-1.500"},
    {"ad3.start", "-1234", "-1234", "9", "00009"},
    {"ad4.urv", "85", "000085", "500", "000500"},
    {"ad4.lrv", "-040", "-00040", "-3.25", "-3.250"},
    {"ad4.start", "-.123", "-.123", "77777", "77777"},
    {"ad1.coefficient", "1.05", "1.05", "3.5", "3.50"},
    {"ad2.coefficient", "2", "0002", "12", "0012"},
    {"ad3.coefficient", ".5", "0.50", "0.75", "0.75"},
    {"ad4.coefficient", "9999", "9999", "8.8", "8.80"},
    {"ad1.total.integer", "89012", "00089012", "0", "00000000"},
    {"ad1.total.decimal", "50", "050", "999", "999"},
    {"output.pulse_equivalent", "0.01", "0.01", "1", "1"},
    {"output.pulse_width", "30", "030", "998", "998"},
    {"ad1.residual_cutoff", "0.05", "0.050", "1.25", "1.250"},
    {"interface.type", "1_NET", "1_NET", "2", "2_RS485"},
};
// clang-format on

// The table's row for a parameter name; throws for a name the table lacks.
inline const CollectorValue& collectorValue(std::string_view name) {
    for (const CollectorValue& v : kCollectorValues)
        if (name == v.name) return v;
    throw std::out_of_range("no collector value for " + std::string(name));
}

// Set A's or set B's values to send; every value must be accepted.
inline kvproto::CollectorSettings settingsToSend(bool setB) {
    kvproto::CollectorSettings settings;
    for (const CollectorValue& v : kCollectorValues) {
        const auto error = settings.set(v.name, v.sent(setB));
        EXPECT_FALSE(error) << *error;
    }
    return settings;
}

}  // namespace kvtest
