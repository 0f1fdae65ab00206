// The collector's operations as blocking runs over a Client (kvops holds what each sends,
// plans and compares; this runs it on a port), and the threads that serve several
// collectors at once.
//
// Several ports: every port gets its own thread and its own Client; nothing else is shared.
// Each thread hands its result back as a message to the calling thread, which passes it on as
// it arrives, so one slow, silent or unplugged collector neither holds up nor fails the
// others. Every request of a thread has a time-out, so every thread ends.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/Client.h"
#include "ops/Operations.h"

namespace kvclient {

// What one collector came to.
struct CollectorResult {
    std::string port;
    Error error;       // the failure, if any
    std::string step;  // where it failed: a set command's word, "read-back", ...
    std::vector<kvproto::Difference> differences;
    std::string where;                          // the expected side: "in the profile", "asked"
    std::size_t written = 0;                    // set commands sent
    std::vector<kvops::CommandAnswer> answers;  // what the collector answered to each
    std::vector<std::string> notes;       // things done beyond what was asked, values left out
    kvproto::CollectorSettings reported;  // what the read-back's listing reported, if it ran
};

// Every write is recorded in the client's history (Client::history(), when it has a journal):
// before its first frame, the state it starts from (a listing is read first when the history
// needs one; a collector that does not answer it is written all the same, its before saying
// why it holds no values; nothing is written unless that "before" entry is kept: the failure
// is HistoryFailed, step "history"); when it ends, what it sent, what the collector answered and
// the read-back. `what` names the write in the history ("apply", "set", "commission", ...).

// Writes the plan's commands of `settings` one by one, each paced by its answer, whatever
// the answer says (kvops::ApplyRun); then reads back and compares `expected`: the read-back
// is what proves the write. Stops early only when a frame cannot be sent or the line fails.
CollectorResult applySettings(Client& client, const kvproto::CollectorSettings& settings,
                              const kvproto::CollectorSettings& expected, Millis timeout,
                              std::string_view where, std::string_view what = "apply");
// Reads back and compares with `expected`.
CollectorResult verifySettings(Client& client, const kvproto::CollectorSettings& expected,
                               Millis timeout);
// `asked` may hold only some values of a set command; the others are read from the collector
// first (and noted). Then as applySettings, comparing what was asked.
CollectorResult setValues(Client& client, const kvproto::CollectorSettings& asked, Millis timeout);
// Writes a recorded state back: reads what the collector holds, writes the set commands of
// `state` (station address and counter bases as `include` says) one of whose values differs
// (kvops::settingsToWrite), reads back and compares with those values of `state`. Nothing is
// written when the collector holds them all (a note says so).
CollectorResult restoreSettings(Client& client, const kvproto::CollectorSettings& state,
                                kvproto::Include include, Millis timeout,
                                std::string_view what = "restore");
// Parameter initialization ("KORVEL#RESET#"), recorded as the write "reset": its outcome, or
// the failure that kept it from being sent (`error`, `step`).
struct ResetResult {
    Error error;
    std::string step;
    Outcome outcome;
};
ResetResult resetCollector(Client& client, Millis timeout);

// The first port given more than once (one collector is not served twice at once); none
// when every port differs.
std::optional<std::string> repeatedPort(const std::vector<std::string>& ports);

// The job of one port, given its own opened Client.
using PortJob = std::function<CollectorResult(Client& client)>;
// Runs before the port is opened (attach a traffic log, say), on the port's thread.
using PortSetUp = std::function<void(Client& client, const std::string& port)>;

// Opens every port and runs the job on it, all at once, one thread each. `arrived` runs on
// the calling thread for each result as it comes in. Returns the results in port order.
std::vector<CollectorResult> runOnPorts(const std::vector<std::string>& ports, const PortJob& job,
                                        const std::function<void(const CollectorResult&)>& arrived,
                                        const PortSetUp& setUp = {});

}  // namespace kvclient
