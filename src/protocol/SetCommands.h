// The 22 "Set" buttons of the main window, derived from the parameter table: which command
// word each sends, which parameters (controls) it reads with which encoding, and which send
// sequence (Parameters.h) it follows.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/Frames.h"
#include "protocol/Parameters.h"

namespace kvproto {

class CollectorSettings;

struct SetCommand {
    std::string_view button;  // control name of the "Set" button
    std::string_view word;    // command word of the frame
    std::array<FieldSpec, 3> fields;
    std::array<const Parameter*, 3> parameters;
    std::size_t fieldCount;
    SendSequence sequence;

    std::span<const FieldSpec> fieldSpan() const { return {fields.data(), fieldCount}; }
    std::span<const Parameter* const> parameterSpan() const {
        return {parameters.data(), fieldCount};
    }
};

// All 22 commands, in the window's order (RS485, digital I/O, pulse base, AD channels,
// totalization, output pulse, residual cut-off, interface type).
std::span<const SetCommand> setCommands();

// The command of a "Set" button, or nullptr when the name is not one.
const SetCommand* findSetCommand(std::string_view button);
// The command with this command word, or nullptr.
const SetCommand* findSetCommandByWord(std::string_view word);
// The command that writes this parameter.
const SetCommand& setCommandFor(const Parameter& parameter);

// A command that carries a range (an upper and a lower range value, AIN1 to AIN4): the
// places of the two among its fields. The collector refuses such a command as a whole when
// the range is empty or inverted: the upper range value must be above the lower one.
struct RangeFields {
    std::size_t upper;
    std::size_t lower;
};
std::optional<RangeFields> rangeFields(const SetCommand& command);
// Whether two range values (decimal numbers, as checkValue() takes them) make a range the
// collector takes: `upper` above `lower`.
bool rangeTaken(std::string_view upper, std::string_view lower);

// The frame of `command` with its values from `settings`, encoded as the window encodes its
// fields (lists by item number, pad3/pad8 zero-padded, text as it stands). Throws
// std::invalid_argument naming the missing parameter when a value of the command is absent.
std::string buildSetFrame(const SetCommand& command, const CollectorSettings& settings);

}  // namespace kvproto
