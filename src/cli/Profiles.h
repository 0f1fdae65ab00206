// How kv480t tells what each collector came to (apply, verify, set): one line per port, a
// table of differences, or one JSON object per line, and the exit code of several; and what
// those commands share: serving several collectors at once, a profile's settings to send.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "client/Operations.h"
#include "protocol/CollectorSettings.h"

namespace kvcli {

// The result's exit code: its error's, else kExitDiffers with differences, else kExitDone.
int exitCodeOf(const kvclient::CollectorResult& result);
// How bad an exit code is, for the worst of several collectors: a port error (nothing is
// known of the collector) before no answer, before an answer not understood, before a
// difference, before done.
int severity(int exitCode);
int worstExitCode(const std::vector<kvclient::CollectorResult>& results);

// "PORT ok", "PORT differs: N parameters" with a table of the differences on the lines
// below (each indented), "PORT no answer: <step>: <reason>", "PORT port error: <reason>",
// "PORT not understood: <reason>". Ends with a newline.
std::string outcomeText(const kvclient::CollectorResult& result);
// One JSON object on one line (no newline): port, result, exit, reason, written,
// differences [{name, expected, actual}], notes.
std::string outcomeJson(const kvclient::CollectorResult& result);

// The footer paragraph of apply, verify and set after the exit codes: several --port.
extern const char* const kSeveralPortsHelp;

// False, said on stderr, when a port is given twice (one collector is served once).
bool distinctPorts(const std::vector<std::string>& ports);
// The collectors served at once (kvclient::runOnPorts), the traffic into `log` (--log; none
// when empty), each outcome printed as it arrives (its notes on stderr); the worst exit code.
// A log that cannot be written is refused (exit 2) before any port is opened.
int serveCollectors(const std::vector<std::string>& ports, const std::string& log, bool json,
                    const kvclient::PortJob& job);

// The settings of a profile file that apply or verify (`verb`: "write", "verify") sends with
// `include`, each value the include flags leave out said on stderr. None, said on stderr,
// when the file is refused or nothing is left.
std::optional<kvproto::CollectorSettings> profileSettings(const std::string& file,
                                                          kvproto::Include include,
                                                          std::string_view verb);

// A command that sends a profile file to several collectors at once (apply, verify): --port
// (repeatable), the include flags, --timeout-ms, --log, --json and FILE (`fileHelp`). Once
// parsed, the ports are checked and the file's settings taken (`verb` as profileSettings
// says) before any port is opened; then `job` serves each collector with them.
using ProfileJob = std::function<kvclient::CollectorResult(
    kvclient::Client& client, const kvproto::CollectorSettings& settings,
    kvclient::Millis timeout)>;
void addProfileCommand(CLI::App& app, const std::string& name, const std::string& description,
                       const std::string& fileHelp, std::string_view verb, int& exitCode,
                       ProfileJob job);

}  // namespace kvcli
