#include "CollectorValues.h"

#include <gtest/gtest.h>

#include "protocol/Parameters.h"

namespace kvtest {

namespace {

std::string padded(std::int64_t value, std::size_t digits) {
    std::string text = std::to_string(value);
    return text.size() < digits ? std::string(digits - text.size(), '0') + text : text;
}

std::string item(const char* name, int index) {
    const kvproto::Parameter* p = kvproto::findParameter(name);
    const std::optional<std::string> value = p ? kvproto::itemValue(*p, index) : std::nullopt;
    return value ? *value : "<item " + std::to_string(index) + " of " + name + ">";
}

}  // namespace

kvproto::CollectorSettings settingsToSend(const std::vector<RoundTripValue>& values) {
    kvproto::CollectorSettings settings;
    for (const RoundTripValue& v : values) {
        const auto error = settings.set(v.name, v.sent);
        EXPECT_FALSE(error) << *error;
    }
    return settings;
}

std::map<std::string, std::string> heldBy(const kvsim::DeviceState& s) {
    std::map<std::string, std::string> held = {
        {"rs485.baud", item("rs485.baud", s.baudIndex)},
        {"rs485.parity", item("rs485.parity", s.parityIndex)},
        {"rs485.address", padded(s.station, 3)},
        {"din1.mode", item("din1.mode", s.din1Mode)},
        {"din2.mode", item("din2.mode", s.din2Mode)},
        {"din2.pulse_equivalent", item("din2.pulse_equivalent", s.din2PulseEqIndex)},
        {"din2.pulse_width", padded(s.din2PulseWidth, 3)},
        {"pin1.base", padded(s.pulseBase1, 8)},
        {"pin2.base", padded(s.pulseBase2, 8)},
        {"ad1.total.integer", padded(s.totalBaseInteger, 8)},
        {"ad1.total.decimal", padded(s.totalBaseThousandths, 3)},
        {"output.pulse_equivalent", item("output.pulse_equivalent", s.outputPulseEqIndex)},
        {"output.pulse_width", padded(s.outputPulseWidth, 3)},
        {"ad1.residual_cutoff", s.cutoff},
        {"interface.type", item("interface.type", s.interfaceType)},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const std::string ad = "ad" + std::to_string(i + 1);
        held[ad + ".urv"] = s.analog[i].urv;
        held[ad + ".lrv"] = s.analog[i].lrv;
        held[ad + ".start"] = s.analog[i].start;
        held[ad + ".coefficient"] = s.coefficient[i];
    }
    return held;
}

}  // namespace kvtest
