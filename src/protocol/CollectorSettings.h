// CollectorSettings: a set of collector parameter values by stable name, each checked
// against its parameter's rule (Parameters.h). What the client reads and writes, what the
// simulated collector keeps and what files hold. Iteration is in the model's order.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/Parameters.h"

namespace kvproto {

class CollectorSettings {
public:
    // Checks the value; on success stores it as the model writes it and returns nullopt,
    // otherwise returns the reason (naming the parameter and its rule) and changes nothing.
    std::optional<std::string> set(std::string_view name, std::string_view value);
    std::optional<std::string> set(const Parameter& parameter, std::string_view value);
    void erase(std::string_view name);

    // The stored value, nullopt when the parameter has none.
    std::optional<std::string> get(std::string_view name) const;
    const std::optional<std::string>& get(const Parameter& parameter) const;
    bool has(std::string_view name) const { return get(name).has_value(); }
    // Lists: the selected item number, -1 when none is stored.
    int itemIndex(const Parameter& parameter) const;

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    // (parameter, value) for every stored value, in the model's order.
    std::vector<std::pair<const Parameter*, std::string>> entries() const;

    bool operator==(const CollectorSettings&) const = default;

private:
    std::array<std::optional<std::string>, kParameterCount> values_{};
};

// What goes beyond the configuration parameters, which are always included: the station
// address (unique per collector on a bus) and the counter bases (writing one restarts its
// count) are left out unless asked for, so that cloning a configuration never gives two
// collectors one address nor resets a running count.
struct Include {
    bool station = false;   // rs485.address
    bool counters = false;  // pin1.base, pin2.base, ad1.total.*
};
bool included(const Parameter& parameter, Include include);
// The settings without the parameters `include` leaves out.
CollectorSettings filtered(const CollectorSettings& settings, Include include);
// "" when every set command is either wholly in `settings` or not at all; otherwise what is
// missing (a frame always carries all the values of its command).
std::string incompleteCommand(const CollectorSettings& settings);
// "" when the collector takes, as a whole, every set command whose values are all in
// `settings`; otherwise why not, naming the values and the rule: a range that is empty or
// inverted (SetCommands.h), "ad1.urv: -5 is not above ad1.lrv (4) (the upper range value
// must be above the lower one)".
std::string refusedCommand(const CollectorSettings& settings);

// One "name=value" assignment as users type it; the reason when it is not one.
struct Assignment {
    std::string name;
    std::string value;
};
std::optional<Assignment> parseAssignment(std::string_view text);

// Assignments as users type them, all checked before any is used: each "name=value", the
// name a parameter's and given once, the value taken by checkValue(). The settings, or the
// first problem in one line naming the assignment: "\"ad1.urv\" is not NAME=VALUE",
// "ad5.urv: unknown parameter name", "ad1.urv: given twice", checkValue()'s reason.
struct Assignments {
    enum class Problem { None, NotAssignment, UnknownName, GivenTwice, Refused };
    CollectorSettings settings;
    Problem problem = Problem::None;
    std::string error;
};
Assignments readAssignments(std::span<const std::string> texts);

}  // namespace kvproto
