// What the window says of the collector's history (History..., Restore, Undo last write),
// free of widgets: which collector the History dialog lists, what a restore would change and
// how a restore ended. The window's HistoryDialog and WindowHistory show it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presenter/ProfileSession.h"
#include "protocol/CollectorSettings.h"
#include "protocol/Compare.h"

namespace kvpresenter {

// The station address a listing reports (digits as reported, "" when it reports none).
std::string stationOf(const std::optional<kvproto::CollectorSettings>& listing);

// The values a restore of `state` (the values `include` takes) changes on a collector that
// last reported `held`, in the parameter table's order: `expected` is the restored value,
// `actual` the held one. Empty when `held` is none (the restore reads the collector first).
std::vector<kvproto::Difference> restoreChanges(
    const kvproto::CollectorSettings& state, kvproto::Include include,
    const std::optional<kvproto::CollectorSettings>& held);

// The lines a confirmation lists: "ad1.urv: 000222 -> 000100" each, "(not reported)" for a
// value the listing lacked; "The collector will be read first to see what differs." when
// there was no listing; "The last listing already holds these values." when none differ.
std::string describeChanges(const std::vector<kvproto::Difference>& changes, bool listingKnown);

// How a restore ended, as the status lines say it, `name` naming the restore ("Restore",
// "Undo"):
//   failed       "Restore failed at ST: no answer within 2000 ms"
//   differences  "Restore: 2 differ: ad1.urv 000100 on the collector, 000222 restored; ..."
//   nothing      "Restore: the collector already held these values; nothing written"
//   done         `done` ("Restored: done"), then " (N commands written, read back)"
// `problem` says whether it is one.
struct RestoreWords {
    std::string text;
    bool problem = false;
};
RestoreWords restoreResult(const WriteOutcome& outcome, std::string_view name,
                           std::string_view done);

}  // namespace kvpresenter
