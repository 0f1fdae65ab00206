#include "site/Commission.h"

#include <cstddef>
#include <map>

#include "ops/Clock.h"
#include "ops/Error.h"
#include "protocol/SetCommands.h"

namespace kvsite {

namespace {

using kvproto::CollectorSettings;

constexpr std::string_view kWhere = "in the plan";

// A row that ran.
RowOutcome fromRow(const PlanRow& row) {
    RowOutcome outcome = outcomeOf(row);
    outcome.state = RowState::Done;
    return outcome;
}

RowOutcome finished(RowOutcome outcome) {
    outcome.finishedMs = kvops::wallClockMs();
    outcome.state = stateOf(outcome);
    return outcome;
}

}  // namespace

std::string_view stateWords(RowState state) {
    switch (state) {
        case RowState::ToDo:
            return "to do";
        case RowState::Done:
            return "done";
        case RowState::Failed:
            return "failed";
        case RowState::Skipped:
            return "skipped";
    }
    return "to do";
}

std::string resultWords(const RowOutcome& outcome) {
    if (outcome.state == RowState::ToDo || outcome.state == RowState::Skipped)
        return std::string(stateWords(outcome.state));
    if (outcome.result.error) return std::string(kvops::codeWords(outcome.result.error.code));
    if (!outcome.result.differences.empty()) return "differs";
    return outcome.alreadyAsPlanned ? "already as planned" : "ok";
}

RowState stateOf(const RowOutcome& outcome) {
    if (outcome.state == RowState::ToDo || outcome.state == RowState::Skipped) return outcome.state;
    const std::string words = resultWords(outcome);
    return words == "ok" || words == "already as planned" ? RowState::Done : RowState::Failed;
}

RowOutcome outcomeOf(const PlanRow& row) {
    RowOutcome outcome;
    outcome.row = row.row;
    outcome.state = RowState::ToDo;
    outcome.label = row.label;
    outcome.station = row.station;
    outcome.profile = row.profile;
    outcome.planned = row.planned;
    outcome.result.port = row.port;
    outcome.result.where = std::string(kWhere);
    return outcome;
}

// The row's first read, what the collector holds; false (the failure recorded) when it failed.
static bool readBefore(kvclient::Client& client, kvclient::Millis timeout, RowOutcome& outcome) {
    outcome.startedMs = kvops::wallClockMs();
    const kvclient::ReadResult read = client.readParameters(timeout);
    if (read.error()) {
        outcome.result.error = read.error();
        outcome.result.step = "reading what the collector holds";
        return false;
    }
    outcome.before = read.listing.settings;
    outcome.beforeRead = true;
    return true;
}

RowOutcome commissionRow(kvclient::Client& client, const PlanRow& row, kvclient::Millis timeout) {
    RowOutcome outcome = fromRow(row);
    if (!readBefore(client, timeout, outcome)) return finished(std::move(outcome));
    const CollectorSettings toWrite = settingsToWrite(row.planned, outcome.before);
    if (toWrite.empty()) {
        outcome.after = outcome.before;
        outcome.afterRead = true;
        outcome.alreadyAsPlanned = true;
        return finished(std::move(outcome));
    }
    kvclient::CollectorResult result =
        kvclient::applySettings(client, toWrite, row.planned, timeout, kWhere, "commission");
    outcome.after = std::move(result.reported);
    outcome.afterRead = !result.error;  // a failed write or read-back has no "after"
    result.reported = {};
    result.port = row.port;
    result.where = std::string(kWhere);
    outcome.result = std::move(result);
    return finished(std::move(outcome));
}

RowOutcome previewRow(kvclient::Client& client, const PlanRow& row, kvclient::Millis timeout) {
    RowOutcome outcome = fromRow(row);
    if (!readBefore(client, timeout, outcome)) return finished(std::move(outcome));
    outcome.result.differences = kvops::compare(row.planned, outcome.before);
    outcome.alreadyAsPlanned = outcome.result.differences.empty();
    return finished(std::move(outcome));
}

}  // namespace kvsite
