// Commissioning a site: every row of a checked plan at once, each on its own port and thread
// (kvclient::runOnPorts), and what each collector came to, for the report.
//
// One row: read what the collector holds (the "before"); the set commands whose values differ
// from the plan, each with all its values (kvops::planApply), one by one, stopping at the
// first that fails; then a read-back compared with the plan (the "after"). A collector that
// already holds the plan gets nothing written: its "before" read is the proof, and it is
// reported as already as planned, so running a half-done site again is safe and quick.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "client/Operations.h"
#include "site/Plan.h"

namespace kvsite {

struct RowOutcome {
    std::string label, station, profile;  // the plan's row
    // port, error and the step it failed at, differences from the plan, set commands written,
    // notes; `reported` is unused (see before/after).
    kvclient::CollectorResult result;
    kvproto::CollectorSettings planned;
    kvproto::CollectorSettings before;  // the first read (empty when it failed)
    kvproto::CollectorSettings after;   // the read-back (the first read when nothing was written)
    bool beforeRead = false, afterRead = false;
    bool alreadyAsPlanned = false;
    std::int64_t startedMs = 0, finishedMs = 0;  // wall clock, ms since 1970
};

// "ok", "already as planned", "differs", or the failure's kind ("no answer", "port error",
// "not understood", "bad request").
std::string resultWords(const RowOutcome& outcome);

// One row on a Client that is open on the row's port.
RowOutcome commissionRow(kvclient::Client& client, const PlanRow& row, kvclient::Millis timeout);

// Every row at once. `arrived` runs on the calling thread for each row as it finishes;
// `setUp` before a row's port is opened, on its thread (a traffic log). In plan order.
std::vector<RowOutcome> commission(const Plan& plan, kvclient::Millis timeout,
                                   const std::function<void(const RowOutcome&)>& arrived,
                                   const kvclient::PortSetUp& setUp = {});

}  // namespace kvsite
