// The 22 set commands the collector understands: "KORVEL#" word ":" fields "#".
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/DeviceState.h"

namespace kvsim {

struct SetCommand {
    std::string_view word;
    std::size_t fieldCount;
    // Applies the fields to a copy of the state; false (state untouched) when a value is
    // malformed or out of range.
    bool (*apply)(DeviceState& state, std::span<const std::string_view> fields);
    // The setting as the collector now holds it, for the acknowledgement.
    std::string (*show)(const DeviceState& state);
};

std::span<const SetCommand> setCommands();
const SetCommand* findSetCommand(std::string_view word);

}  // namespace kvsim
