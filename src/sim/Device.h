// The simulated collector's behaviour, without any I/O: bytes from the line go in, the
// answers to the frames they complete come out. Time is an input, so the live readings are
// reproducible.
//
// Answers (each ends with CR LF):
//   set frame accepted        "OK:" word ":" the settings as now held, ","   e.g. "OK:ST:012"
//   "KORVEL#RESET#"           "OK:RESET"
//   "PPPPPP#CHEACK1#"         parameterText()
//   "PPPPPP#VAR#"             versionText()
//   "PPPPPP#STATUS#"          statusText()
//   broken or malformed frame "ERR:FRAME"
//   unknown command word      "ERR:COMMAND"
//   bad or out-of-range value "ERR:" word ":VALUE"
// The set commands and what each field must hold come from the parameter table (through
// protocol/SetCommands.h and DeviceRules.h). A frame that is answered with an error changes
// nothing.
#pragma once

#include <string>
#include <string_view>

#include "sim/DeviceState.h"
#include "sim/FrameAssembler.h"

namespace kvsim {

class Device {
public:
    explicit Device(DeviceState initial = factoryDefaults());

    // Feeds bytes received at time `now`; returns the answers of the frames they complete,
    // concatenated in order (empty when no frame was completed).
    std::string receive(std::string_view bytes, Millis now);

    // The answer to one frame (as produced by FrameAssembler).
    std::string handle(const Frame& frame, Millis now);

    const DeviceState& state() const { return state_; }
    const CounterOrigins& origins() const { return origins_; }

private:
    std::string handleSet(std::string_view body, Millis now);
    std::string handleQuery(std::string_view body, Millis now);

    DeviceState state_;
    CounterOrigins origins_;
    FrameAssembler assembler_;
};

}  // namespace kvsim
