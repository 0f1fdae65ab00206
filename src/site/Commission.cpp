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

RowOutcome fromRow(const PlanRow& row) {
    RowOutcome outcome;
    outcome.label = row.label;
    outcome.station = row.station;
    outcome.profile = row.profile;
    outcome.planned = row.planned;
    outcome.result.port = row.port;
    outcome.result.where = std::string(kWhere);
    return outcome;
}

// The planned values of every set command one of whose values differs: a frame carries all
// the values of its command.
CollectorSettings toWrite(const CollectorSettings& planned,
                          const std::vector<kvproto::Difference>& differences) {
    CollectorSettings out;
    for (const kvproto::Difference& d : differences)
        for (const kvproto::Parameter* p : kvproto::setCommandFor(*d.parameter).parameterSpan())
            if (const auto& value = planned.get(*p)) out.set(*p, *value);
    return out;
}

}  // namespace

std::string resultWords(const RowOutcome& outcome) {
    if (outcome.result.error) return std::string(kvops::codeWords(outcome.result.error.code));
    if (!outcome.result.differences.empty()) return "differs";
    return outcome.alreadyAsPlanned ? "already as planned" : "ok";
}

RowOutcome commissionRow(kvclient::Client& client, const PlanRow& row, kvclient::Millis timeout) {
    RowOutcome outcome = fromRow(row);
    outcome.startedMs = kvops::wallClockMs();
    const kvclient::ReadResult read = client.readParameters(timeout);
    if (read.error()) {
        outcome.result.error = read.error();
        outcome.result.step = "reading what the collector holds";
        outcome.finishedMs = kvops::wallClockMs();
        return outcome;
    }
    outcome.before = read.listing.settings;
    outcome.beforeRead = true;
    const std::vector<kvproto::Difference> differences =
        kvops::compare(row.planned, outcome.before);
    if (differences.empty()) {
        outcome.after = outcome.before;
        outcome.afterRead = true;
        outcome.alreadyAsPlanned = true;
        outcome.finishedMs = kvops::wallClockMs();
        return outcome;
    }
    kvclient::CollectorResult result = kvclient::applySettings(
        client, toWrite(row.planned, differences), row.planned, timeout, kWhere);
    outcome.after = std::move(result.reported);
    outcome.afterRead = !result.error;  // a failed write or read-back has no "after"
    result.reported = {};
    result.port = row.port;
    outcome.result = std::move(result);
    outcome.finishedMs = kvops::wallClockMs();
    return outcome;
}

std::vector<RowOutcome> commission(const Plan& plan, kvclient::Millis timeout,
                                   const std::function<void(const RowOutcome&)>& arrived,
                                   const kvclient::PortSetUp& setUp) {
    std::vector<std::string> ports;
    std::map<std::string, std::size_t> index;  // ports are unique in a checked plan
    for (const PlanRow& row : plan.rows) {
        index.emplace(row.port, ports.size());
        ports.push_back(row.port);
    }
    // Each thread fills its own row; the results' hand-over to this thread orders the reads.
    std::vector<RowOutcome> outcomes(plan.rows.size());
    const kvclient::PortJob job = [&](kvclient::Client& client) {
        const std::size_t i = index.at(client.port());
        outcomes[i] = commissionRow(client, plan.rows[i], timeout);
        return outcomes[i].result;
    };
    const auto started = kvops::wallClockMs();
    kvclient::runOnPorts(
        ports, job,
        [&](const kvclient::CollectorResult& result) {
            const std::size_t i = index.at(result.port);
            if (outcomes[i].result.port.empty()) {  // the port did not open: no job ran
                outcomes[i] = fromRow(plan.rows[i]);
                outcomes[i].result.error = result.error;
                outcomes[i].result.step = result.step;
                outcomes[i].startedMs = started;
                outcomes[i].finishedMs = kvops::wallClockMs();
            }
            if (arrived) arrived(outcomes[i]);
        },
        setUp);
    return outcomes;
}

}  // namespace kvsite
