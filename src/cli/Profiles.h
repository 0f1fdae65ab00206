// kv480t's profile commands (save, apply, verify, set): what is done on each collector, the
// threads that serve several collectors at once, and how each collector's outcome is told.
//
// Several ports: every port gets its own thread and its own kvclient::Client; nothing else is
// shared. Each thread hands its outcome back as a message to the calling thread, which prints
// it as it arrives, so one slow, silent or unplugged collector neither holds up nor fails the
// others. Every request of a thread has a time-out, so every thread ends.
//
// Counter bases: the window does not read them back, but the collector's listing reports each
// under its own tag ("LP1:", "LP2:", "LPN:", "LPF:"). kv480t reads them from there, so a profile
// saved with --include-counters holds them and verification compares them like the others.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "client/Client.h"
#include "protocol/CollectorSettings.h"
#include "protocol/Compare.h"

namespace kvcli {

// What one collector came to.
struct PortOutcome {
    std::string port;
    int exitCode = 0;    // kExitDone, kExitDiffers, kExitPort, kExitNoAnswer, kExitNotUnderstood
    std::string reason;  // a failure: what went wrong and at which step
    std::vector<kvproto::Difference> differences;  // kExitDiffers
    std::string where;                             // the expected side: "in the profile", "asked"
    std::size_t written = 0;                       // set commands answered
    std::vector<std::string> notes;                // things done beyond what was asked
};

// How bad an exit code is, for the worst of several collectors: a port error (nothing is
// known of the collector) before no answer, before an answer not understood, before a
// difference, before done.
int severity(int exitCode);
int worstExitCode(const std::vector<PortOutcome>& outcomes);

// "PORT ok", "PORT differs: N parameters" with a table of the differences on the lines
// below (each indented), "PORT no answer: <step>: <reason>", "PORT port error: <reason>",
// "PORT not understood: <reason>". Ends with a newline.
std::string outcomeText(const PortOutcome& outcome);
// One JSON object on one line (no newline): port, result, exit, reason, written,
// differences [{name, expected, actual}], notes.
std::string outcomeJson(const PortOutcome& outcome);

// The job of one port, given its own opened Client.
using PortJob = std::function<PortOutcome(kvclient::Client& client, const std::string& port)>;

// Opens every port and runs the job on it, all at once, one thread each. `arrived` runs on
// the calling thread for each outcome as it comes in. Returns the outcomes in port order.
std::vector<PortOutcome> runOnPorts(const std::vector<std::string>& ports, const PortJob& job,
                                    const std::function<void(const PortOutcome&)>& arrived);

// The counter bases as the collector's listing reports them under their own tags.
kvproto::CollectorSettings listedCounterBases(std::string_view listing);

// Everything a read answer reports: the read-back values and the counter bases.
kvproto::CollectorSettings reportedSettings(const kvclient::ReadResult& read);

// The values of `expected` that the collector reports, compared with `read`: read-back
// parameters by compareSettings, counter bases from their tags. In the model's order.
std::vector<kvproto::Difference> differencesFrom(const kvproto::CollectorSettings& expected,
                                                 const kvclient::ReadResult& read);

// Writes every complete set command of `settings` in the model's order, each waiting for its
// answer, stopping at the first failure; then reads back and compares with `settings`.
PortOutcome applySettings(kvclient::Client& client, const kvproto::CollectorSettings& settings,
                          kvclient::Millis timeout, std::string_view where);

// Reads back and compares with `expected`.
PortOutcome verifySettings(kvclient::Client& client, const kvproto::CollectorSettings& expected,
                           kvclient::Millis timeout);

// `asked` may hold only some values of a set command; the others are read from the collector
// first (and noted). Then as applySettings, comparing what was asked.
PortOutcome setValues(kvclient::Client& client, const kvproto::CollectorSettings& asked,
                      kvclient::Millis timeout);

}  // namespace kvcli
