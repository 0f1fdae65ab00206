// What the collector accepts in a set frame, by the parameter table (protocol/Parameters.h):
// each field goes to the parameter at its place in the command and is checked and brought
// to the form the collector holds and reports by that parameter's DeviceRule:
//   Index          a list item number 0..deviceMax, held as its decimal digits;
//   Unsigned       digits only, deviceMin..deviceMax, held zero-padded to readWidth; a value
//                  the window sends as typed (Encoding::Text) has at most `width` characters;
//   Decimal        a number >= 0, normalised to readWidth characters (Values.h);
//   SignedDecimal  a number, normalised to readWidth characters.
// A command that carries a range (an upper and a lower range value) is refused as a whole
// when the range is empty or inverted.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Parameters.h"
#include "protocol/SetCommands.h"

namespace kvsim {

// The value as the collector holds it, or nullopt when the parameter's rule refuses it.
std::optional<std::string> acceptValue(const kvproto::Parameter& parameter, std::string_view field);

// The values of all fields of `command`, in field order; nullopt when the number of fields
// is not the command's, a value is refused or the command's range is empty or inverted.
std::optional<std::vector<std::string>> acceptFields(const kvproto::SetCommand& command,
                                                     std::span<const std::string_view> fields);

}  // namespace kvsim
