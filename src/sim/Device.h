// The simulated collector's behaviour, without any I/O: bytes from the line go in, the
// answers to the frames they complete come out. Time is an input, so the live readings are
// reproducible.
//
// Answers (each ends with CR LF):
//   set frame accepted        "OK:" word ":" the settings as now held, ","   e.g. "OK:ST:012"
//   "KORVEL#RESET#"           "OK:RESET"
//   "PPPPPP#CHEACK1#"         parameterText(), without the counter-base lines when
//                             DeviceOptions::plainListing
//   "PPPPPP#VAR#"             versionText()
//   "PPPPPP#STATUS#"          statusText()
//   broken or malformed frame "ERR:FRAME"
//   unknown command word      "ERR:COMMAND"
//   bad or out-of-range value "ERR:" word ":VALUE"
// The set commands and what each field must hold come from the parameter table (through
// protocol/SetCommands.h and DeviceRules.h). A frame that is answered with an error changes
// nothing.
//
// Other collectors answer set frames differently. DeviceOptions::setAnswer picks the answer to
// every complete "KORVEL#" frame other than the reset, whatever it held (the reset, the
// queries and frames cut short keep the answers above):
//   SetAnswer::Ok             the answer above (accepted or error)
//   SetAnswer::EchoFrame      the frame's own bytes, then the answer above
//                             e.g. "KORVEL#ST:041#OK:ST:041"
//   SetAnswer::Other          "SET SUCCESS", for accepted and refused frames alike
//   SetAnswer::None           nothing at all
// Valid values are taken and refused ones change nothing in every form. A set frame whose word
// is in DeviceOptions::keptWords is answered as if accepted (with the values it would now
// hold) but changes nothing; invalid values of such a word are still refused.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "sim/DeviceState.h"
#include "sim/FrameAssembler.h"

namespace kvsim {

enum class SetAnswer { Ok, EchoFrame, Other, None };

// Which collector the device plays; the default is the KV480T-R-2 as described above.
struct DeviceOptions {
    SetAnswer setAnswer = SetAnswer::Ok;
    bool plainListing = false;                     // the listing has the read-back rows only
    std::set<std::string, std::less<>> keptWords;  // set command words that change nothing
};

class Device {
public:
    explicit Device(DeviceState initial = factoryDefaults(), DeviceOptions options = {});

    // Feeds bytes received at time `now`; returns the answers of the frames they complete,
    // concatenated in order (empty when no frame was completed).
    std::string receive(std::string_view bytes, Millis now);

    // The answer to one frame (as produced by FrameAssembler).
    std::string handle(const Frame& frame, Millis now);

    const DeviceState& state() const { return state_; }
    const CounterOrigins& origins() const { return origins_; }
    const DeviceOptions& options() const { return options_; }

private:
    std::string handleSet(std::string_view body, Millis now);
    std::string handleQuery(std::string_view body, Millis now);
    // `answer` (to the set frame `frame`) in the form of options_.setAnswer.
    std::string setAnswer(std::string_view frame, std::string answer) const;

    DeviceOptions options_;
    DeviceState state_;
    CounterOrigins origins_;
    FrameAssembler assembler_;
};

}  // namespace kvsim
