#include "cli/Profiles.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/History.h"
#include "cli/TrafficLogFile.h"
#include "ops/Error.h"
#include "profile/Profile.h"

namespace kvcli {

namespace {

using kvclient::CollectorResult;

// "ok", "differs", or the failure's kind in words.
std::string_view resultWord(const CollectorResult& result) {
    if (result.error) return kvops::codeWords(result.error.code);
    return result.differences.empty() ? "ok" : "differs";
}

// The failure as "step: reason".
std::string reasonOf(const CollectorResult& result) {
    std::string reason = printable(kvops::describe(result.error, result.port));
    return result.step.empty() ? reason : result.step + ": " + reason;
}

}  // namespace

int exitCodeOf(const CollectorResult& result) {
    if (result.error) return exitCodeFor(result.error);
    return result.differences.empty() ? kExitDone : kExitDiffers;
}

int severity(int exitCode) {
    switch (exitCode) {
        case kExitDone:
            return 0;
        case kExitDiffers:
            return 1;
        case kExitNotUnderstood:
            return 2;
        case kExitNoAnswer:
            return 3;
        case kExitPort:
            return 4;
        default:
            return 5;  // a bad request: nothing sensible was sent
    }
}

int worstExitCode(const std::vector<CollectorResult>& results) {
    int worst = kExitDone;
    for (const CollectorResult& r : results)
        if (severity(exitCodeOf(r)) > severity(worst)) worst = exitCodeOf(r);
    return worst;
}

// One line per set command sent: "  ST answered: OK:ST:041", "  MTM no answer"; listed
// when a write did not come out as asked, to tell what the collector said to each.
std::string answerLines(const CollectorResult& outcome) {
    std::string out;
    for (const kvops::CommandAnswer& answer : outcome.answers)
        out += "  " + std::string(answer.command->word) + " " +
               printableAnswer(kvops::answerWords(answer)) + "\n";
    return out;
}

std::string outcomeText(const CollectorResult& outcome) {
    const int exitCode = exitCodeOf(outcome);
    std::string out = outcome.port + " " + std::string(resultWord(outcome));
    if (exitCode == kExitDone) return out + "\n";
    if (exitCode != kExitDiffers)
        return out + ": " + reasonOf(outcome) + "\n" + answerLines(outcome);
    out += ": " + std::to_string(outcome.differences.size()) + " parameters\n";
    // The table: name, the collector's value, the expected value, in aligned columns.
    std::vector<std::array<std::string, 3>> rows;
    rows.push_back({"parameter", "on the collector", std::string(outcome.where)});
    for (const kvproto::Difference& d : outcome.differences)
        rows.push_back({std::string(d.parameter->name),
                        d.actual ? printable(*d.actual) : "(not reported)", printable(d.expected)});
    std::array<std::size_t, 2> widths{};
    for (const auto& row : rows)
        for (std::size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : rows) {
        std::string line = "  ";
        for (std::size_t c = 0; c < widths.size(); ++c)
            line += row[c] + std::string(widths[c] - row[c].size() + 2, ' ');
        out += line + row[2] + "\n";
    }
    return out + answerLines(outcome);
}

std::string outcomeJson(const CollectorResult& outcome) {
    const int exitCode = exitCodeOf(outcome);
    nlohmann::ordered_json out;
    out["port"] = outcome.port;
    out["result"] = resultWord(outcome);
    out["exit"] = exitCode;
    if (outcome.error) out["reason"] = reasonOf(outcome);
    out["written"] = outcome.written;
    nlohmann::ordered_json commands = nlohmann::ordered_json::array();
    for (const kvops::CommandAnswer& answer : outcome.answers) {
        nlohmann::ordered_json item;
        item["command"] = answer.command->word;
        item["answer"] = answer.answer ? nlohmann::ordered_json(latin1ToUtf8(*answer.answer))
                                       : nlohmann::ordered_json(nullptr);
        commands.push_back(std::move(item));
    }
    out["commands"] = std::move(commands);
    nlohmann::ordered_json differences = nlohmann::ordered_json::array();
    for (const kvproto::Difference& d : outcome.differences) {
        nlohmann::ordered_json item;
        item["name"] = d.parameter->name;
        item["expected"] = latin1ToUtf8(d.expected);
        item["actual"] = d.actual ? nlohmann::ordered_json(latin1ToUtf8(*d.actual)) : nullptr;
        differences.push_back(std::move(item));
    }
    out["differences"] = std::move(differences);
    out["notes"] = outcome.notes;
    return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

const char* const kSeveralPortsHelp =
    "\n\nSeveral --port: the collectors are served at once, each on its own thread; one line "
    "per\nport as each finishes: \"PORT ok\", \"PORT differs: N parameters\" with a table of "
    "the\ndifferences on indented lines below, \"PORT no answer: ...\", \"PORT port error: "
    "...\",\n\"PORT not understood: ...\" (with --json one JSON object per port, one per line). "
    "The exit\ncode is that of the worst collector: 3 (port error) is worse than 4 (no answer), "
    "which is\nworse than 5 (not understood), which is worse than 1 (differs); 0 only when "
    "every\ncollector is ok.";

bool distinctPorts(const std::vector<std::string>& ports) {
    const std::optional<std::string> twice = kvclient::repeatedPort(ports);
    if (twice) std::cerr << "kv480t: " << *twice << ": the same port is given twice\n";
    return !twice;
}

int serveCollectors(const std::vector<std::string>& ports, const std::string& log, bool json,
                    const kvclient::PortJob& job) {
    bool logFailed = false;
    const std::unique_ptr<TrafficLogFile> traffic = openTrafficLog(log, logFailed);
    if (logFailed) return kExitUsage;
    const auto results = kvclient::runOnPorts(
        ports, job,
        [&](const CollectorResult& outcome) {
            for (const std::string& note : outcome.notes)
                std::cerr << "kv480t: " << outcome.port << ": " << note << '\n';
            std::cerr.flush();
            std::cout << (json ? outcomeJson(outcome) + "\n" : outcomeText(outcome));
            std::cout.flush();
        },
        [&](kvclient::Client& client, const std::string& port) {
            if (traffic) traffic->attach(client, port);
            attachHistory(client);
        });
    return worstExitCode(results);
}

std::optional<kvproto::CollectorSettings> profileSettings(const std::string& file,
                                                          kvproto::Include include,
                                                          std::string_view verb) {
    const kvprofile::ReadResult read = kvprofile::readProfileFile(file);
    if (!read.profile) {
        std::cerr << "kv480t: " << read.error << '\n';
        return std::nullopt;
    }
    for (const auto& [parameter, value] : read.profile->settings.entries()) {
        if (kvprofile::included(*parameter, include)) continue;
        std::cerr << "kv480t: " << file << ": " << parameter->name << " left out (add "
                  << (parameter->kind == kvproto::ParameterKind::Identity ? "--include-station"
                                                                          : "--include-counters")
                  << " to " << verb << " it)\n";
    }
    kvproto::CollectorSettings settings = kvprofile::filtered(read.profile->settings, include);
    if (settings.empty()) {
        std::cerr << "kv480t: " << file << ": settings: nothing to " << verb << '\n';
        return std::nullopt;
    }
    return settings;
}

namespace {

struct ProfileOptions {
    std::vector<std::string> ports;
    kvproto::Include include;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
    std::string file;
};

}  // namespace

void addProfileCommand(CLI::App& app, const std::string& name, const std::string& description,
                       const std::string& fileHelp, std::string_view verb, int& exitCode,
                       ProfileJob job) {
    auto options = std::make_shared<ProfileOptions>();
    CLI::App* command = app.add_subcommand(name, description);
    addPorts(command, options->ports,
             std::string(kPortHelp) + "; give --port once per collector to serve several at once")
        ->required();
    addIncludeFlags(command, options->include);
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addHistoryOptions(command);
    addJson(command, options->json, "print one JSON object per port, one per line");
    command->footer(std::string(kExitCodesHelp) + kSeveralPortsHelp);
    command->add_option("FILE", options->file, fileHelp)->required();
    command->callback([options, verb, job = std::move(job), &exitCode] {
        const ProfileOptions& o = *options;
        if (!distinctPorts(o.ports)) {
            exitCode = kExitUsage;
            return;
        }
        const auto settings = profileSettings(o.file, o.include, verb);
        if (!settings) {
            exitCode = kExitUsage;
            return;
        }
        const kvclient::Millis timeout{o.timeoutMs};
        exitCode = serveCollectors(o.ports, o.log, o.json, [&](kvclient::Client& client) {
            return job(client, *settings, timeout);
        });
    });
}

}  // namespace kvcli
