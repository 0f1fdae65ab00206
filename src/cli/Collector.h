// One collector on one port, as read, test, query, reset and save talk to it: the traffic
// into --log, the port opened, each failure said on stderr as one line naming the port.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

#include "cli/Options.h"
#include "client/Client.h"
#include "ops/Operations.h"

namespace kvcli {

// The options of a command that talks to one collector.
struct CollectorOptions {
    std::string port;
    int timeoutMs = kDefaultTimeoutMs;
    bool json = false;
    std::string log;
};

// Adds the command `name` with --port, --timeout-ms, --json and --log and the exit codes'
// help; once parsed, `run` gets the options and gives the command's exit code. The caller
// may add options of its own to the command returned.
CLI::App* addCollectorCommand(CLI::App& app, const std::string& name,
                              const std::string& description, int& exitCode,
                              std::function<int(const CollectorOptions&)> run);

// Opens `log` (none when empty) and the port, then runs `work` on the open client; the exit
// code: work's, or why the log or the port did not open.
int withCollector(const std::string& port, const std::string& log,
                  const std::function<int(kvclient::Client& client)>& work);

// test, query, reset: the request sent, its answer printed as it came (--json: {"port",
// "reply"}).
int printAnswer(kvclient::Client& client, const kvops::Request& request, int timeoutMs, bool json);
// The same for a request already made.
int printOutcome(kvclient::Client& client, const kvops::Outcome& outcome, bool json);

}  // namespace kvcli
