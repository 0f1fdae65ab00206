#include "protocol/CollectorSettings.h"

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

}  // namespace kvproto
