// The 22 "Set" buttons of the main window: which command word each sends, which controls
// it reads with which encoding, and which send sequence it follows.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "protocol/Frames.h"

namespace kvproto {

// The send sequences. The order of their steps is visible to the user (send buffer,
// receive buffer, time-out timer), so each is kept exactly:
//   A  build, show frame, clear receive buffer, write.
//   B  clear send buffer, clear receive buffer, time-out kind 0 and enable Timer3,
//      build, show frame, write, pending 100.
//   C  A, then pending 100.
//   D  enable Timer3, build, show frame, clear receive buffer, write, pending 100,
//      time-out kind 3, Timer3 interval 3000 ms and enabled (the time-out counts from the
//      write). A conversion error stops it after the first step: Timer3 stays enabled.
enum class SendSequence { A, B, C, D };

struct SetCommand {
    std::string_view button;  // control name of the "Set" button
    std::string_view word;    // command word of the frame
    std::array<FieldSpec, 3> fields;
    std::size_t fieldCount;
    SendSequence sequence;

    std::span<const FieldSpec> fieldSpan() const { return {fields.data(), fieldCount}; }
};

// All 22 commands, in the window's order (RS485, digital I/O, pulse base, AD channels,
// totalization, output pulse, residual cut-off, interface type).
std::span<const SetCommand> setCommands();

// The command of a "Set" button, or nullptr when the name is not one.
const SetCommand* findSetCommand(std::string_view button);

}  // namespace kvproto
