#include "protocol/CollectorSettings.h"

#include "protocol/ByteText.h"
#include "protocol/SetCommands.h"

namespace kvproto {

std::optional<std::string> CollectorSettings::set(std::string_view name, std::string_view value) {
    const Parameter* parameter = findParameter(name);
    if (!parameter) return "unknown parameter \"" + std::string(name) + "\"";
    return set(*parameter, value);
}

std::optional<std::string> CollectorSettings::set(const Parameter& parameter,
                                                  std::string_view value) {
    CheckedValue checked = checkValue(parameter, value);
    if (!checked.ok) return std::move(checked.error);
    values_[parameterIndex(parameter)] = std::move(checked.value);
    return std::nullopt;
}

void CollectorSettings::erase(std::string_view name) {
    if (const Parameter* parameter = findParameter(name))
        values_[parameterIndex(*parameter)].reset();
}

std::optional<std::string> CollectorSettings::get(std::string_view name) const {
    const Parameter* parameter = findParameter(name);
    if (!parameter) return std::nullopt;
    return get(*parameter);
}

const std::optional<std::string>& CollectorSettings::get(const Parameter& parameter) const {
    return values_[parameterIndex(parameter)];
}

int CollectorSettings::itemIndex(const Parameter& parameter) const {
    const auto& value = get(parameter);
    return value ? itemNumber(parameter, *value) : -1;
}

std::size_t CollectorSettings::size() const {
    std::size_t n = 0;
    for (const auto& v : values_) n += v.has_value();
    return n;
}

std::vector<std::pair<const Parameter*, std::string>> CollectorSettings::entries() const {
    std::vector<std::pair<const Parameter*, std::string>> out;
    for (const Parameter& p : parameters())
        if (const auto& v = get(p)) out.emplace_back(&p, *v);
    return out;
}

std::optional<Assignment> parseAssignment(std::string_view text) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0) return std::nullopt;
    return Assignment{std::string(text.substr(0, eq)), std::string(text.substr(eq + 1))};
}

Assignments readAssignments(std::span<const std::string> texts) {
    Assignments out;
    const auto fail = [&](Assignments::Problem problem, std::string error) {
        out.settings = {};
        out.problem = problem;
        out.error = std::move(error);
        return out;
    };
    for (const std::string& text : texts) {
        const std::optional<Assignment> a = parseAssignment(text);
        if (!a)
            return fail(Assignments::Problem::NotAssignment,
                        "\"" + escapedBytes(text) + "\" is not NAME=VALUE");
        const Parameter* parameter = findParameter(a->name);
        if (!parameter)
            return fail(Assignments::Problem::UnknownName,
                        escapedBytes(a->name) + ": unknown parameter name");
        if (out.settings.get(*parameter))
            return fail(Assignments::Problem::GivenTwice, a->name + ": given twice");
        if (std::optional<std::string> refused = out.settings.set(*parameter, a->value))
            return fail(Assignments::Problem::Refused, std::move(*refused));
    }
    return out;
}

bool included(const Parameter& parameter, Include include) {
    switch (parameter.kind) {
        case ParameterKind::Configuration:
            return true;
        case ParameterKind::Identity:
            return include.station;
        case ParameterKind::CounterBase:
            return include.counters;
    }
    return false;
}

CollectorSettings filtered(const CollectorSettings& settings, Include include) {
    CollectorSettings out;
    for (const auto& [parameter, value] : settings.entries())
        if (included(*parameter, include)) out.set(*parameter, value);
    return out;
}

std::string incompleteCommand(const CollectorSettings& settings) {
    for (const SetCommand& command : setCommands()) {
        int have = 0;
        for (const Parameter* p : command.parameterSpan()) have += settings.get(*p) ? 1 : 0;
        if (have == 0 || have == static_cast<int>(command.fieldCount)) continue;
        std::string names;
        for (const Parameter* p : command.parameterSpan()) {
            if (!names.empty()) names += ", ";
            names.append(p->name);
        }
        return std::string(command.parameters[0]->name) + ": " + names +
               " go to the collector together (one " + std::string(command.word) +
               " command): give all of them or none";
    }
    return {};
}

std::string refusedCommand(const CollectorSettings& settings) {
    for (const SetCommand& command : setCommands()) {
        const std::optional<RangeFields> range = rangeFields(command);
        if (!range) continue;
        const Parameter& upper = *command.parameters[range->upper];
        const Parameter& lower = *command.parameters[range->lower];
        const std::optional<std::string>& upperValue = settings.get(upper);
        const std::optional<std::string>& lowerValue = settings.get(lower);
        if (!upperValue || !lowerValue || rangeTaken(*upperValue, *lowerValue)) continue;
        return std::string(upper.name) + ": " + *upperValue + " is not above " +
               std::string(lower.name) + " (" + *lowerValue +
               ") (the upper range value must be above the lower one)";
    }
    return {};
}

}  // namespace kvproto
