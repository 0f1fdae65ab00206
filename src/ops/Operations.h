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
//                    out and why; ApplyRun: sending them one by one, each paced by its
//                    answer (kept, never judged); the read-back that follows decides
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
// A set command's answer: of any form (an acknowledgement, an echo of the frame first, other
// words, nothing); it only paces the next frame.
inline constexpr Completeness kSetAnswer = Completeness::Answer;
// How long a set command's answer may take to begin: the window's own reply time-out, 1 s,
// 3 s for the output pulse time (MTM) that the collector takes longer over.
Millis answerTime(const kvproto::SetCommand& command);
// Once a set of a run went unanswered, how long the next ones wait for an answer to begin
// (until one is answered again): a collector that never answers sets is not waited for in
// full at every command.
inline constexpr Millis kPacedAnswerTime{150};

// What a listing reports.
struct Listing {
    // Every value the listing reports: the read-back values and the counter bases.
    kvproto::CollectorSettings settings;
    // NotUnderstood when a value could not be read (the text says which); the values that
    // could be read are in `settings` all the same.
    Error error;
};
Listing readListing(std::string_view reply);
// Whether the collector's listing reports the parameter at all: the values readListing() can
// give (the read-back values and the counter bases), and so what kv480t read shows.
bool inListing(const kvproto::Parameter& parameter);

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

// What the collector answered to a set command: the answer (an echo of the frame left out),
// or nothing when none began within its time.
struct CommandAnswer {
    const kvproto::SetCommand* command = nullptr;
    std::optional<std::string> answer;
};
// "answered: TEXT" (line ends left out) or "no answer".
std::string answerWords(const CommandAnswer& answer);

// Sends an apply plan's commands one by one: next() is the command to send, answerTime() how
// long its answer may take to begin, record() its outcome. Whatever the collector answers (or
// not), the run goes on: only the read-back that follows shows what the collector holds. The
// run stops only when a frame could not be sent or the line failed.
class ApplyRun {
public:
    explicit ApplyRun(ApplyPlan plan) : plan_(std::move(plan)) {}
    // The command to send now; nullptr once all are sent or the run stopped.
    const kvproto::SetCommand* next() const;
    // next()'s answer time: its own (answerTime()), or kPacedAnswerTime while the last set of
    // this run went unanswered.
    Millis answerTime() const;
    // The outcome of next()'s command; false when the run stops here.
    bool record(const Outcome& outcome);
    // Ends the run where it is (cancelled, port closed).
    void stop() { stopped_ = true; }

    // Commands sent (answered or not).
    std::size_t sent() const { return answers_.size() - (failed_ ? 1 : 0); }
    std::size_t total() const { return plan_.commands.size(); }
    bool done() const { return sent() == total(); }
    // Every command sent so far, or the one that failed, with what the collector answered.
    const std::vector<CommandAnswer>& answers() const { return answers_; }
    // The command that could not be sent (or during which the line failed) and how.
    const kvproto::SetCommand* failedCommand() const { return failed_; }
    const std::optional<Outcome>& failure() const { return failure_; }

private:
    ApplyPlan plan_;
    std::vector<CommandAnswer> answers_;
    bool stopped_ = false;
    bool unanswered_ = false;  // the last set sent had no answer
    const kvproto::SetCommand* failed_ = nullptr;
    std::optional<Outcome> failure_;
};

// The values of `wanted` of every set command one of whose values differs between `wanted`
// and `held` (compare(), as verify compares; a frame carries all the values of its command);
// empty when the collector holds them all. A counter base that already holds its value is
// thus not rewritten (writing one restarts its count) unless its command has to go for
// another value. What commissioning and a restore write.
kvproto::CollectorSettings settingsToWrite(const kvproto::CollectorSettings& wanted,
                                           const kvproto::CollectorSettings& held);

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
