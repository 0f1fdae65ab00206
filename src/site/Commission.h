// Commissioning a site's collectors, one row of a checked plan at a time (site/Walk.h walks
// the plan), and what each collector came to, for the report.
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
#include <string_view>
#include <vector>

#include "client/Operations.h"
#include "site/Plan.h"

namespace kvsite {

// What became of a plan's row: not run yet, commissioned (the read-back holds the plan, or
// the collector held it already), run and failed (or differs), or passed over.
enum class RowState { ToDo, Done, Failed, Skipped };
std::string_view stateWords(RowState state);  // "to do", "done", "failed", "skipped"

struct RowOutcome {
    std::size_t row = 0;                  // the plan's row number (a spreadsheet's), 0: none
    std::string label, station, profile;  // the plan's row
    // Done or Failed once the row ran (as resultWords says), ToDo and Skipped for a row that
    // did not run (a site's record keeps those too).
    RowState state = RowState::Done;
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
// "not understood", "bad request"); "to do" and "skipped" for a row that did not run.
std::string resultWords(const RowOutcome& outcome);
// Done when the words are "ok" or "already as planned", else Failed (ToDo and Skipped kept).
RowState stateOf(const RowOutcome& outcome);

// What a row writes: kvops::settingsToWrite(planned, before).
using kvops::settingsToWrite;

// The row as a RowOutcome that has not run (state ToDo): its label, station, profile, port
// and planned values.
RowOutcome outcomeOf(const PlanRow& row);

// One row on a Client that is open on the row's port.
RowOutcome commissionRow(kvclient::Client& client, const PlanRow& row, kvclient::Millis timeout);

// A dry run of one row: reads what the collector holds (the "before") and compares it with
// the plan as verify compares; the differences are what commissionRow would write (result
// "differs"), none when it holds the plan ("already as planned"). Nothing is written.
RowOutcome previewRow(kvclient::Client& client, const PlanRow& row, kvclient::Millis timeout);

}  // namespace kvsite
