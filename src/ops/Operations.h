// The collector's operations, once for both faces: what is sent for each, how its answer is
// read and what it comes to. No port and no waiting in here: kvclient runs them as blocking
// calls, the window's presenters from its event loop, both over kvops::Exchange.
//
//   read parameters  "PPPPPP#CHEACK1#"; the whole listing (kRead), read by readListing():
//                    the read-back values and the counter bases under their own tags
//   communication test, data query, reset: their frames and when their answer is over
//   set by names     completeSet(): the other values of each asked set command, taken
//                    from the collector's listing (a set frame carries all its values)
//   apply            planApply(): which set commands, in which order, which values are left
//                    out and why; ApplyRun: sending them one by one, stopping at the first
//                    that fails
//   verify           compare(): the differences, counter bases included when expected
//   save             settingsToSave(): what a read gives a profile
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ops/Exchange.h"
#include "protocol/CollectorSettings.h"
#include "protocol/Compare.h"
#include "protocol/SetCommands.h"

namespace kvops {

// A request: its frame and when its answer is over.
struct Request {
    std::string_view frame;
    Completeness completeness;
};
// The listing, counter bases included.
extern const Request kRead;
// One line each.
extern const Request kCommunicationTest;
extern const Request kReset;
// Live readings of unknown length: over once the line is quiet.
extern const Request kDataQuery;
// The station address a communication test's answer names ("VAR:KV480T-R-2,V1.2,ADR:012,OK"
// gives "012"); none when the answer names none.
std::optional<std::string> stationInAnswer(std::string_view reply);
// A set command's frame is answered with one line.
inline constexpr Completeness kSetAnswer = Completeness::Line;

// What a listing reports.
struct Listing {
    // Every value the listing reports: the read-back values and the counter bases.
    kvproto::CollectorSettings settings;
    // NotUnderstood when a value could not be read (the text says which); the values that
    // could be read are in `settings` all the same.
    Error error;
};
Listing readListing(std::string_view reply);

// The values of `expected` that the collector reports in its listing (read-back values and
// counter bases), compared with `reported` by value; one the listing lacks differs as "not
// reported". In the model's order.
std::vector<kvproto::Difference> compare(const kvproto::CollectorSettings& expected,
                                         const kvproto::CollectorSettings& reported);
// How many values of `expected` compare() compares.
std::size_t comparedCount(const kvproto::CollectorSettings& expected);

struct LeftOut {
    const kvproto::Parameter* parameter;
    std::string why;
};
struct ApplyPlan {
    std::vector<const kvproto::SetCommand*> commands;  // in the order they are sent
    std::vector<LeftOut> leftOut;                      // values of `settings` not written
};
// The set commands that write `settings`: every command whose values are all in `settings`
// and included, in the model's order. A value left out says why: not included (station
// address, counter base) or its command's other values missing.
ApplyPlan planApply(const kvproto::CollectorSettings& settings, kvproto::Include include);

// Whether `reply` is the collector's acknowledgement of `command`: "OK:" word ":" (the values
// as now held follow). A refusal ("ERR:" word ":VALUE"), another command's answer or noise is
// not.
bool acknowledges(std::string_view reply, const kvproto::SetCommand& command);

// Sends an apply plan's commands one by one: next() is the command to send, record() its
// outcome. The run stops at the first command that is not answered with its acknowledgement
// (the failure's error is NotUnderstood when an answer came but was not one).
class ApplyRun {
public:
    explicit ApplyRun(ApplyPlan plan) : plan_(std::move(plan)) {}
    // The command to send now; nullptr once all are answered or the run stopped.
    const kvproto::SetCommand* next() const;
    // The outcome of next()'s command; false when the run stops here.
    bool record(const Outcome& outcome);
    // Ends the run where it is (cancelled, port closed).
    void stop() { stopped_ = true; }

    std::size_t answered() const { return answered_; }
    std::size_t total() const { return plan_.commands.size(); }
    bool done() const { return answered_ == total(); }
    // The command that failed and how, once the run stopped on one.
    const kvproto::SetCommand* failedCommand() const { return failed_; }
    const std::optional<Outcome>& failure() const { return failure_; }

private:
    ApplyPlan plan_;
    std::size_t answered_ = 0;
    bool stopped_ = false;
    const kvproto::SetCommand* failed_ = nullptr;
    std::optional<Outcome> failure_;
};

// Set by names: the values the asked set commands need besides the asked ones.
std::vector<const kvproto::Parameter*> missingForSet(const kvproto::CollectorSettings& asked);
struct Completion {
    kvproto::CollectorSettings settings;  // asked, completed
    std::string note;                     // what was taken from the collector, if anything
    Error error;                          // NotUnderstood: the listing lacks a needed value
};
Completion completeSet(const kvproto::CollectorSettings& asked,
                       const kvproto::CollectorSettings& reported);

// Save: the reported settings a profile keeps with `include`, and the counter bases asked
// for that the listing did not report.
struct SaveSettings {
    kvproto::CollectorSettings settings;
    std::vector<const kvproto::Parameter*> absent;
};
SaveSettings settingsToSave(const kvproto::CollectorSettings& reported, kvproto::Include include);

}  // namespace kvops
