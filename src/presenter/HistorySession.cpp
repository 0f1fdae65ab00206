#include "presenter/HistorySession.h"

#include "ops/Error.h"
#include "ops/Operations.h"

namespace kvpresenter {

std::string stationOf(const std::optional<kvproto::CollectorSettings>& listing) {
    return listing ? listing->get("rs485.address").value_or(std::string()) : std::string();
}

std::vector<kvproto::Difference> restoreChanges(
    const kvproto::CollectorSettings& state, kvproto::Include include,
    const std::optional<kvproto::CollectorSettings>& held) {
    if (!held) return {};
    return kvops::compare(kvproto::filtered(state, include), *held);
}

std::string describeChanges(const std::vector<kvproto::Difference>& changes, bool listingKnown) {
    if (!listingKnown) return "The collector will be read first to see what differs.";
    if (changes.empty()) return "The last listing already holds these values.";
    std::string text;
    for (const kvproto::Difference& change : changes) {
        if (!text.empty()) text += '\n';
        text += std::string(change.parameter->name) + ": " +
                change.actual.value_or("(not reported)") + " -> " + change.expected;
    }
    return text;
}

RestoreWords restoreResult(const WriteOutcome& outcome, std::string_view name,
                           std::string_view done) {
    const std::string label(name);
    if (outcome.error) {
        std::string text = label + " failed";
        if (!outcome.step.empty()) text += " at " + outcome.step;
        return {text + ": " + kvops::describe(outcome.error), true};
    }
    if (!outcome.differences.empty())
        return {label + ": " + kvproto::describeDifferences(outcome.differences, "restored"), true};
    if (outcome.written == 0)
        return {label + ": the collector already held these values; nothing written", false};
    return {std::string(done) + " (" + std::to_string(outcome.written) +
                (outcome.written == 1 ? " command" : " commands") + " written, read back)",
            false};
}

}  // namespace kvpresenter
