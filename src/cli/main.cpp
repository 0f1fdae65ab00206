// kv480t: the KV480T-R-2 collector's requests from the command line.
//
//   kv480t ports [--json]
//   kv480t read  --port PORT [--json] [--timeout-ms N]
//   kv480t test  --port PORT [--json] [--timeout-ms N]
//   kv480t query --port PORT [--json] [--timeout-ms N]
//   kv480t reset --port PORT --yes [--json] [--timeout-ms N]
//   kv480t save   --port PORT FILE [--include-station] [--include-counters] [--json] [--timeout-ms
//   N] kv480t apply  --port PORT [--port PORT ...] FILE [--include-station] [--include-counters]
//                 [--json] [--timeout-ms N]
//   kv480t verify --port PORT [--port PORT ...] FILE [--include-station] [--include-counters]
//                 [--json] [--timeout-ms N]
//   kv480t set    --port PORT [--port PORT ...] NAME=VALUE [NAME=VALUE ...] [--json]
//                 [--timeout-ms N]
//   kv480t commission PLAN.csv [--report DIR] [--operator NAME] [--allow-duplicate-stations]
//                 [--json] [--timeout-ms N]
//   kv480t find   [--port PORT ...] [--named-only] [--json] [--timeout-ms N]
//
// PORT is a serial device (/dev/ttyUSB0, COMn) or a serial device server on the network
// (rfc2217://HOST:PORT, tcp://HOST:PORT).
//
// Every command that talks to the collector takes --log FILE: the line's traffic, row by row.
//
// Results go to stdout; errors to stderr as one line "kv480t: PORT: cause"; the exit code
// says what happened (Text.h). apply, verify and set print one line per port (Profiles.h),
// a bad file or assignment is refused before any port is opened.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/Profiles.h"
#include "cli/Site.h"
#include "cli/Text.h"
#include "cli/TrafficLogFile.h"
#include "client/Client.h"
#include "client/Find.h"
#include "client/Operations.h"
#include "ops/Operations.h"
#include "ports/SerialPorts.h"
#include "profile/Profile.h"
#include "site/Plan.h"
#include "site/Report.h"

#ifndef KV480T_VERSION
#define KV480T_VERSION "unknown"
#endif

namespace {

using kvclient::Client;
using kvclient::Error;
using nlohmann::ordered_json;

struct Options {
    std::string port;
    int timeoutMs = static_cast<int>(Client::kDefaultTimeout.count());
    bool json = false;
    bool yes = false;
    // Profile commands.
    std::vector<std::string> ports;
    std::string file;
    std::vector<std::string> assignments;
    kvprofile::Include include;
    std::string log;         // --log FILE: the line's traffic
    bool namedOnly = false;  // find: only the ports named
    // commission
    std::string reportDir;
    std::string operatorName;
    kvsite::PlanOptions plan;
};

const char* const kPortHelp =
    "port: a serial device (/dev/ttyUSB0, COMn) or a serial device server "
    "(rfc2217://HOST:PORT, tcp://HOST:PORT)";

const char* const kSeveralPortsHelp =
    "\n\nSeveral --port: the collectors are served at once, each on its own thread; one line "
    "per\nport as each finishes: \"PORT ok\", \"PORT differs: N parameters\" with a table of "
    "the\ndifferences on indented lines below, \"PORT no answer: ...\", \"PORT port error: "
    "...\",\n\"PORT not understood: ...\" (with --json one JSON object per port, one per line). "
    "The exit\ncode is that of the worst collector: 3 (port error) is worse than 4 (no answer), "
    "which is\nworse than 5 (not understood), which is worse than 1 (differs); 0 only when "
    "every\ncollector is ok.";

void printJson(const ordered_json& value) {
    std::cout << value.dump(2) << '\n';
}

// One line on stderr naming the port and the cause; the exit code for the error.
int reportFailure(const std::string& port, const Error& error) {
    std::string cause = kvcli::printable(kvops::describe(error, port));
    if (error.code == kvops::ErrorCode::NotUnderstood) cause = "answer not understood: " + cause;
    std::cerr << "kv480t: " << port << ": " << cause << '\n';
    return kvcli::exitCodeFor(error);
}

// --log FILE: the traffic file, shared by every port's thread. Null without --log; exits
// with a message when the file cannot be written, before anything is sent.
std::unique_ptr<kvcli::TrafficLogFile> openLog(const Options& options, bool* failed) {
    *failed = false;
    if (options.log.empty()) return nullptr;
    auto log = std::make_unique<kvcli::TrafficLogFile>(options.log);
    if (!log->good()) {
        std::cerr << "kv480t: " << log->error() << '\n';
        *failed = true;
        return nullptr;
    }
    return log;
}

int listPorts(const Options& options) {
    const kvports::PortListing listing = kvports::listSerialPorts();
    if (!listing.note.empty()) std::cerr << "kv480t: " << listing.note << '\n';
    if (options.json) {
        ordered_json ports = ordered_json::array();
        for (const kvports::SerialPortInfo& p : listing.ports) {
            ordered_json item;
            item["path"] = p.path;
            item["description"] = p.description;
            item["manufacturer"] = p.manufacturer;
            item["product"] = p.product;
            item["serial_number"] = p.serialNumber;
            item["vendor_id"] = p.vendorId;
            item["product_id"] = p.productId;
            item["by_id"] = p.byId;
            ports.push_back(std::move(item));
        }
        printJson(ports);
        return kvcli::kExitDone;
    }
    for (const kvports::SerialPortInfo& p : listing.ports) {
        std::string line = p.path;
        if (!p.description.empty()) line += "\t" + p.description;
        if (!p.serialNumber.empty()) line += "\tserial " + p.serialNumber;
        if (!p.byId.empty()) line += "\t" + p.byId;
        std::cout << line << '\n';
    }
    return kvcli::kExitDone;
}

// find: one line (--json: one object) per port, in the order tried; 0 when a collector
// answered, else 4.
int findCollectors(const Options& options) {
    const kvports::PortListing present =
        options.namedOnly ? kvports::PortListing{} : kvports::listSerialPorts();
    if (!present.note.empty()) std::cerr << "kv480t: " << present.note << '\n';
    const std::vector<std::string> ports = kvclient::portsToFind(present, options.ports);
    if (ports.empty()) {
        std::cerr << "kv480t: no serial port present and none named (--port)\n";
        return kvcli::kExitNoAnswer;
    }
    const std::vector<kvclient::FindResult> results =
        kvclient::findCollectors(ports, present, kvclient::Millis{options.timeoutMs});
    bool found = false;
    for (const kvclient::FindResult& r : results) {
        found = found || r.state == kvclient::FindState::Answered;
        if (options.json) {
            ordered_json out;
            out["port"] = r.port;
            out["state"] = kvclient::findStateWords(r.state);
            if (r.state == kvclient::FindState::Answered) {
                out["station"] = r.station;
                out["reply"] = kvcli::latin1ToUtf8(r.reply);
            } else {
                out["error"] = kvcli::printable(kvops::describe(r.error));
            }
            out["description"] = r.description;
            out["serial_number"] = r.serialNumber;
            std::cout << out.dump() << '\n';
            continue;
        }
        std::string line = r.port + "\t" + std::string(kvclient::findStateWords(r.state));
        if (r.state == kvclient::FindState::Answered)
            line += r.station.empty() ? ", station address not given" : ", station " + r.station;
        else if (r.state != kvclient::FindState::NoAnswer)
            line += ": " + kvcli::printable(kvops::describe(r.error));
        if (!r.description.empty()) line += "\t" + r.description;
        if (!r.serialNumber.empty()) line += "\tserial " + r.serialNumber;
        std::cout << line << '\n';
    }
    return found ? kvcli::kExitDone : kvcli::kExitNoAnswer;
}

enum class Request { Read, Test, Query, Reset };

int runRequest(Request request, const Options& options) {
    bool logFailed = false;
    // The log outlives the client, which logs its close.
    const std::unique_ptr<kvcli::TrafficLogFile> log = openLog(options, &logFailed);
    if (logFailed) return kvcli::kExitUsage;
    Client client;
    if (log) log->attach(client, options.port);
    if (Error error = client.open(options.port)) return reportFailure(options.port, error);
    const kvclient::Millis timeout{options.timeoutMs};

    if (request == Request::Read) {
        const kvclient::ReadResult read = client.readParameters(timeout);
        if (read.error()) return reportFailure(options.port, read.error());
        const kvproto::CollectorSettings values =
            kvproto::filtered(read.listing.settings, {true, false});
        if (options.json) {
            ordered_json out = ordered_json::object();
            for (const auto& [parameter, value] : values.entries())
                out[std::string(parameter->name)] = kvcli::latin1ToUtf8(value);
            printJson(out);
        } else {
            for (const auto& [parameter, value] : values.entries())
                std::cout << parameter->name << " = " << kvcli::printable(value) << '\n';
        }
        return kvcli::kExitDone;
    }

    const kvops::Request& which = request == Request::Test    ? kvops::kCommunicationTest
                                  : request == Request::Query ? kvops::kDataQuery
                                                              : kvops::kReset;
    const kvops::Outcome result = client.request(which, timeout);
    if (!result.answered()) return reportFailure(options.port, result.error);
    if (options.json) {
        ordered_json out;
        out["port"] = options.port;
        out["reply"] = kvcli::latin1ToUtf8(result.reply);
        printJson(out);
    } else {
        std::string text = kvcli::printable(result.reply);
        if (!text.ends_with('\n')) text += '\n';
        std::cout << text;
    }
    return kvcli::kExitDone;
}

// Notes about a port go to stderr as "kv480t: PORT: note"; its outcome to stdout.
void printOutcome(const kvclient::CollectorResult& outcome, bool json) {
    for (const std::string& note : outcome.notes)
        std::cerr << "kv480t: " << outcome.port << ": " << note << '\n';
    std::cerr.flush();
    if (json)
        std::cout << kvcli::outcomeJson(outcome) << '\n';
    else
        std::cout << kvcli::outcomeText(outcome);
    std::cout.flush();
}

int runOnPorts(const Options& options, const kvclient::PortJob& job) {
    bool logFailed = false;
    const std::unique_ptr<kvcli::TrafficLogFile> log = openLog(options, &logFailed);
    if (logFailed) return kvcli::kExitUsage;
    const auto results = kvclient::runOnPorts(
        options.ports, job,
        [&](const kvclient::CollectorResult& o) { printOutcome(o, options.json); },
        [&](Client& client, const std::string& port) {
            if (log) log->attach(client, port);
        });
    return kvcli::worstExitCode(results);
}

bool distinctPorts(const std::vector<std::string>& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (ports[i] == ports[j]) {
                std::cerr << "kv480t: " << ports[i] << ": the same port is given twice\n";
                return false;
            }
    return true;
}

// The counter bases come from the listing's own tags (Profiles.h); any the listing lacks are
// left out, and said so.
int saveProfile(const Options& options) {
    const std::string& port = options.ports.front();
    bool logFailed = false;
    const std::unique_ptr<kvcli::TrafficLogFile> log = openLog(options, &logFailed);
    if (logFailed) return kvcli::kExitUsage;
    Client client;
    if (log) log->attach(client, port);
    if (Error error = client.open(port)) return reportFailure(port, error);
    const kvclient::ReadResult read = client.readParameters(kvclient::Millis{options.timeoutMs});
    if (read.error()) return reportFailure(port, read.error());

    const kvops::SaveSettings save = kvops::settingsToSave(read.listing.settings, options.include);
    if (!save.absent.empty()) {
        std::string absent;
        for (const kvproto::Parameter* p : save.absent)
            absent += (absent.empty() ? "" : ", ") + std::string(p->name);
        std::cerr << "kv480t: " << port << ": the listing does not report " << absent
                  << ": left out of the profile\n";
    }
    kvprofile::Profile profile;
    profile.saved = kvprofile::utcNow();
    profile.port = port;
    profile.tool = kvprofile::kCommandLineTool;
    profile.settings = save.settings;
    std::string error;
    if (!kvprofile::writeProfileFile(options.file, profile, &error)) {
        std::cerr << "kv480t: " << error << '\n';
        return kvcli::kExitUsage;
    }
    if (options.json) {
        ordered_json out;
        out["port"] = port;
        out["file"] = options.file;
        out["saved"] = profile.settings.size();
        std::cout << out.dump() << '\n';
    } else {
        std::cout << port << " saved " << profile.settings.size() << " parameters to "
                  << options.file << '\n';
    }
    return kvcli::kExitDone;
}

// apply and verify: the file is checked whole before any port is opened.
int runProfile(bool write, const Options& options) {
    if (!distinctPorts(options.ports)) return kvcli::kExitUsage;
    const kvprofile::ReadResult file = kvprofile::readProfileFile(options.file);
    if (!file.profile) {
        std::cerr << "kv480t: " << file.error << '\n';
        return kvcli::kExitUsage;
    }
    const kvproto::CollectorSettings settings =
        kvprofile::filtered(file.profile->settings, options.include);
    for (const auto& [parameter, value] : file.profile->settings.entries()) {
        if (kvprofile::included(*parameter, options.include)) continue;
        std::cerr << "kv480t: " << options.file << ": " << parameter->name << " left out (add "
                  << (parameter->kind == kvproto::ParameterKind::Identity ? "--include-station"
                                                                          : "--include-counters")
                  << " to " << (write ? "write" : "verify") << " it)\n";
    }
    if (settings.empty()) {
        std::cerr << "kv480t: " << options.file << ": settings: nothing to "
                  << (write ? "write" : "verify") << '\n';
        return kvcli::kExitUsage;
    }
    const kvclient::Millis timeout{options.timeoutMs};
    return runOnPorts(options, [&](Client& client) {
        return write
                   ? kvclient::applySettings(client, settings, settings, timeout, "in the profile")
                   : kvclient::verifySettings(client, settings, timeout);
    });
}

// set: every assignment is checked before any port is opened.
int runSet(const Options& options) {
    if (!distinctPorts(options.ports)) return kvcli::kExitUsage;
    kvproto::CollectorSettings asked;
    for (const std::string& text : options.assignments) {
        const std::optional<kvproto::Assignment> a = kvproto::parseAssignment(text);
        const kvproto::Parameter* parameter = a ? kvproto::findParameter(a->name) : nullptr;
        std::string error;
        if (!a)
            error = "\"" + kvcli::printable(text) + "\" is not NAME=VALUE";
        else if (!parameter)
            error = kvcli::printable(a->name) + ": unknown parameter name (kv480t read lists them)";
        else if (asked.get(*parameter))
            error = a->name + ": given twice";
        else if (const auto refused = asked.set(*parameter, a->value))
            error = kvcli::printable(*refused);
        if (!error.empty()) {
            std::cerr << "kv480t: " << error << '\n';
            return kvcli::kExitUsage;
        }
    }
    const kvclient::Millis timeout{options.timeoutMs};
    return runOnPorts(options,
                      [&](Client& client) { return kvclient::setValues(client, asked, timeout); });
}

// commission: the plan is checked whole, and the report's folder made, before any port is
// opened; the report is written once every row has finished.
int runCommission(const Options& options) {
    const kvsite::PlanCheck check = kvsite::readPlanFile(options.file, options.plan);
    for (const std::string& problem : check.problems)
        std::cerr << "kv480t: " << kvcli::printable(problem) << '\n';
    if (!check.ok()) return kvcli::kExitUsage;

    kvsite::Report report;
    report.site = check.plan.name;
    report.operatorName = options.operatorName;
    report.toolVersion = KV480T_VERSION;
    report.startedMs = kvsite::wallClockMs();
    const std::string folder = options.reportDir.empty()
                                   ? kvsite::defaultReportFolder(options.file, report.startedMs)
                                   : options.reportDir;
    // An empty report first: a folder that refuses it is found before anything is sent.
    if (const std::string error = kvsite::writeReport(report, folder); !error.empty()) {
        std::cerr << "kv480t: " << error << '\n';
        return kvcli::kExitUsage;
    }
    bool logFailed = false;
    const std::unique_ptr<kvcli::TrafficLogFile> log = openLog(options, &logFailed);
    if (logFailed) return kvcli::kExitUsage;
    report.rows = kvsite::commission(
        check.plan, kvclient::Millis{options.timeoutMs},
        [&](const kvsite::RowOutcome& row) {
            for (const std::string& note : row.result.notes)
                std::cerr << "kv480t: " << row.result.port << ": " << note << '\n';
            std::cerr.flush();
            std::cout << (options.json ? kvcli::siteRowJson(row) + "\n" : kvcli::siteRowText(row));
            std::cout.flush();
        },
        [&](Client& client, const std::string& port) {
            if (log) log->attach(client, port);
        });
    report.finishedMs = kvsite::wallClockMs();
    std::vector<kvclient::CollectorResult> results;
    for (const kvsite::RowOutcome& row : report.rows) results.push_back(row.result);
    if (const std::string error = kvsite::writeReport(report, folder); !error.empty()) {
        std::cerr << "kv480t: " << error << '\n';
        return kvcli::kExitUsage;
    }
    std::cerr << "kv480t: report written to " << folder
              << " (report.html, report.csv, report.json)\n";
    return kvcli::worstExitCode(results);
}

void addTimeout(CLI::App* command, Options& options) {
    command
        ->add_option("--timeout-ms", options.timeoutMs,
                     "how long to wait for the collector's answer to begin, in ms")
        ->check(CLI::Range(1, 600000))
        ->capture_default_str();
}

void addLog(CLI::App* command, Options& options) {
    command->add_option("--log", options.log,
                        "write the line's traffic to FILE (tab-separated; CSV if FILE ends in "
                        ".csv); with several --port one file, each row naming its port");
}

// --port once or more (each --port takes one port), the include flags when asked for.
CLI::App* addProfileCommand(CLI::App& app, const char* name, const char* description,
                            Options& options, bool severalPorts, bool includeFlags) {
    CLI::App* command = app.add_subcommand(name, description);
    CLI::Option* port =
        command
            ->add_option("-p,--port", options.ports,
                         severalPorts ? std::string(kPortHelp) +
                                            "; give --port once per collector to serve several "
                                            "at once"
                                      : std::string(kPortHelp))
            ->required()
            ->allow_extra_args(false);
    if (!severalPorts) port->expected(1);
    if (includeFlags) {
        command->add_flag("--include-station", options.include.station,
                          "include the station address (rs485.address), unique per collector");
        command->add_flag("--include-counters", options.include.counters,
                          "include the counter bases (pin1.base, pin2.base, ad1.total.*); "
                          "writing one restarts its count");
    }
    addTimeout(command, options);
    addLog(command, options);
    command->add_flag(
        "--json", options.json,
        severalPorts ? "print one JSON object per port, one per line" : "print the result as JSON");
    command->footer(std::string(kvcli::kExitCodesHelp) + (severalPorts ? kSeveralPortsHelp : ""));
    return command;
}

CLI::App* addRequestCommand(CLI::App& app, const char* name, const char* description,
                            Options& options) {
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("-p,--port", options.port, kPortHelp)->required();
    addTimeout(command, options);
    command->add_flag("--json", options.json, "print the result as JSON");
    addLog(command, options);
    command->footer(kvcli::kExitCodesHelp);
    return command;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Configure a KV480T-R-2 data collector over a serial line (9600 baud, 8N1), "
        "also through a serial device server (RFC 2217 or raw TCP).",
        "kv480t"};
    app.set_version_flag("--version", "kv480t " KV480T_VERSION);
    app.require_subcommand(1);
    app.footer(kvcli::kExitCodesHelp);

    Options options;
    CLI::App* ports = app.add_subcommand("ports", "List the serial ports present.");
    ports->add_flag("--json", options.json, "print the list as JSON");
    ports->footer(kvcli::kExitCodesHelp);
    CLI::App* find = app.add_subcommand(
        "find",
        "Send the communication test to every serial port present and to the ports named, all "
        "at once; print which answered (with the station address their answer names) and which "
        "did not (no answer, busy, no permission). A port another program holds is reported "
        "busy and left alone.");
    find->add_option("-p,--port", options.ports, std::string(kPortHelp) + "; also try this one")
        ->allow_extra_args(false);
    find->add_flag("--named-only", options.namedOnly, "try only the ports named with --port");
    find->add_flag("--json", options.json, "print one JSON object per port, one per line");
    addTimeout(find, options);
    find->footer(
        "Exit codes:\n  0  at least one collector answered\n  2  usage error\n  4  no "
        "collector answered");
    CLI::App* read = addRequestCommand(
        app, "read", "Read the collector's parameters and print them by name.", options);
    CLI::App* test = addRequestCommand(
        app, "test", "Communication test: print the collector's answer.", options);
    CLI::App* query = addRequestCommand(
        app, "query", "Data query: print the collector's live readings.", options);
    CLI::App* reset = addRequestCommand(
        app, "reset", "Parameter initialization: reset every setting to its factory value.",
        options);
    reset->add_flag("--yes", options.yes, "confirm the reset to factory values");

    CLI::App* save = addProfileCommand(
        app, "save",
        "Read the collector's parameters and write them to a profile file (configuration only "
        "unless the include flags ask for more; counter bases as the collector's listing reports "
        "them).",
        options, false, true);
    save->add_option("FILE", options.file, "the profile file to write")->required();
    CLI::App* apply = addProfileCommand(
        app, "apply",
        "Write a profile file to the collectors (configuration only unless the include flags "
        "ask for more), then read back and verify. A bad file is refused whole: nothing is sent.",
        options, true, true);
    apply->add_option("FILE", options.file, "the profile file to write")->required();
    CLI::App* verify = addProfileCommand(
        app, "verify",
        "Read the collectors' parameters back and compare them with a profile file, value by "
        "value (configuration only unless the include flags ask for more).",
        options, true, true);
    verify->add_option("FILE", options.file, "the profile file to compare with")->required();
    CLI::App* set = addProfileCommand(
        app, "set",
        "Set parameters by name (kv480t read lists the names), then read back and verify. "
        "Every value is checked before anything is sent. A set command carries all its values: "
        "those not given are first read from the collector. Station address and counter bases "
        "need no include flag here: naming them is asking.",
        options, true, false);
    set->add_option("NAME=VALUE", options.assignments, "the parameters to set, e.g. ad1.urv=20")
        ->required();

    CLI::App* commission = app.add_subcommand(
        "commission",
        "Commission a site from a plan (CSV: port, station, profile, label and parameter "
        "columns): every collector at once, each on its own port: read what it holds, write "
        "its profile with its station address and the row's values, read back and verify; "
        "then a report (HTML, CSV, JSON). The plan is checked whole first: a problem gives "
        "exit code 2 and nothing is sent.");
    commission->add_option("PLAN", options.file, "the site plan (CSV)")->required();
    commission->add_option("--report", options.reportDir,
                           "the report's folder (default: beside the plan, named after it and "
                           "the date)");
    commission->add_option("--operator", options.operatorName,
                           "who commissions the site, for the report");
    commission->add_flag("--allow-duplicate-stations", options.plan.allowDuplicateStations,
                         "let rows share a station address (collectors on separate buses)");
    addTimeout(commission, options);
    addLog(commission, options);
    commission->add_flag("--json", options.json,
                         "print one JSON object per collector, one per line");
    commission->footer(std::string(kvcli::kExitCodesHelp) +
                       "\n\nOne line per collector as each finishes: \"LABEL PORT ok\", "
                       "\"LABEL PORT already as\nplanned\" (nothing written), \"LABEL PORT "
                       "differs: N parameters\", \"LABEL PORT no answer: ...\",\n\"LABEL PORT "
                       "port error: ...\". The exit code is that of the worst collector, as "
                       "for apply.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::cerr << "kv480t: " << e.what() << " (see kv480t --help)\n";
        return kvcli::kExitUsage;
    }

    try {
        if (*ports) return listPorts(options);
        if (*find) return findCollectors(options);
        if (*reset && !options.yes) {
            std::cerr << "kv480t: reset sets every parameter of the collector to its factory "
                         "value; add --yes to do it\n";
            return kvcli::kExitUsage;
        }
        if (*save) return saveProfile(options);
        if (*apply) return runProfile(true, options);
        if (*verify) return runProfile(false, options);
        if (*set) return runSet(options);
        if (*commission) return runCommission(options);
        if (*read) return runRequest(Request::Read, options);
        if (*test) return runRequest(Request::Test, options);
        if (*query) return runRequest(Request::Query, options);
        return runRequest(Request::Reset, options);
    } catch (const std::exception& e) {
        std::cerr << "kv480t: " << e.what() << '\n';
        return kvcli::kExitPort;
    }
}
