// The options the commands of kv480t share: --port, --timeout-ms, --log, --json and the
// include flags, each added to a command's own option struct. A command adds them in the
// order its --help lists them.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "client/Client.h"
#include "protocol/CollectorSettings.h"

namespace kvcli {

// Defaults of the shared options.
inline constexpr int kDefaultTimeoutMs =
    static_cast<int>(kvclient::Client::kDefaultTimeout.count());

// "port: a serial device (/dev/ttyUSB0, COMn), a USB adapter by its serial number (...) or a
// serial device server (...)".
extern const char* const kPortHelp;

// -p,--port PORT, required, once. A network port name that does not parse (a port number
// outside 1 to 65535, no HOST:PORT) and "usb-serial:" without a serial number are refused as
// bad input, before anything is opened.
CLI::Option* addPort(CLI::App* command, std::string& port);
// -p,--port PORT, once per collector (each --port takes one port), with its help.
CLI::Option* addPorts(CLI::App* command, std::vector<std::string>& ports, const std::string& help);
// --timeout-ms N: how long the collector may stay silent before its answer begins.
CLI::Option* addTimeout(CLI::App* command, int& timeoutMs);
// --log FILE: the line's traffic.
CLI::Option* addLog(CLI::App* command, std::string& log);
// --include-station, --include-counters (save, apply, verify).
void addIncludeFlags(CLI::App* command, kvproto::Include& include);
// --json, with the command's own words for what it prints.
CLI::Option* addJson(CLI::App* command, bool& json, const std::string& help);

}  // namespace kvcli
