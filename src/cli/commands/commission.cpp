// kv480t commission PLAN.csv [--report DIR] [--operator NAME] [--allow-duplicate-stations]
// [--json] [--timeout-ms N] [--log FILE]: a site commissioned from its plan. The plan is
// checked whole, and the report's folder made, before any port is opened; the report is
// written once every row has finished.
#include "site/Commission.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "cli/Profiles.h"
#include "cli/Site.h"
#include "cli/Text.h"
#include "cli/TrafficLogFile.h"
#include "cli/commands/Commands.h"
#include "ops/Clock.h"
#include "site/Plan.h"
#include "site/Report.h"

#ifndef KV480T_VERSION
#define KV480T_VERSION "unknown"
#endif

namespace kvcli {

namespace {

struct CommissionOptions {
    std::string plan;
    std::string reportDir;
    std::string operatorName;
    kvsite::PlanOptions planOptions;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
};

int commission(const CommissionOptions& options) {
    const kvsite::PlanCheck check = kvsite::readPlanFile(options.plan, options.planOptions);
    for (const std::string& problem : check.problems)
        std::cerr << "kv480t: " << printable(problem) << '\n';
    if (!check.ok()) return kExitUsage;

    kvsite::Report report;
    report.site = check.plan.name;
    report.operatorName = options.operatorName;
    report.toolVersion = KV480T_VERSION;
    report.startedMs = kvops::wallClockMs();
    const std::string folder = options.reportDir.empty()
                                   ? kvsite::defaultReportFolder(options.plan, report.startedMs)
                                   : options.reportDir;
    // An empty report first: a folder that refuses it is found before anything is sent.
    if (const std::string error = kvsite::writeReport(report, folder); !error.empty()) {
        std::cerr << "kv480t: " << error << '\n';
        return kExitUsage;
    }
    bool logFailed = false;
    const std::unique_ptr<TrafficLogFile> log = openTrafficLog(options.log, logFailed);
    if (logFailed) return kExitUsage;
    report.rows = kvsite::commission(
        check.plan, kvclient::Millis{options.timeoutMs},
        [&](const kvsite::RowOutcome& row) {
            for (const std::string& note : row.result.notes)
                std::cerr << "kv480t: " << row.result.port << ": " << note << '\n';
            std::cerr.flush();
            std::cout << (options.json ? siteRowJson(row) + "\n" : siteRowText(row));
            std::cout.flush();
        },
        [&](kvclient::Client& client, const std::string& port) {
            if (log) log->attach(client, port);
        });
    report.finishedMs = kvops::wallClockMs();
    std::vector<kvclient::CollectorResult> results;
    for (const kvsite::RowOutcome& row : report.rows) results.push_back(row.result);
    if (const std::string error = kvsite::writeReport(report, folder); !error.empty()) {
        std::cerr << "kv480t: " << error << '\n';
        return kExitUsage;
    }
    std::cerr << "kv480t: report written to " << folder
              << " (report.html, report.csv, report.json)\n";
    return worstExitCode(results);
}

}  // namespace

void addCommissionCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CommissionOptions>();
    CLI::App* command = app.add_subcommand(
        "commission",
        "Commission a site from a plan (CSV: port, station, profile, label and parameter "
        "columns): every collector at once, each on its own port: read what it holds, write "
        "its profile with its station address and the row's values, read back and verify; "
        "then a report (HTML, CSV, JSON). The plan is checked whole first: a problem gives "
        "exit code 2 and nothing is sent.");
    command->add_option("PLAN", options->plan, "the site plan (CSV)")->required();
    command->add_option("--report", options->reportDir,
                        "the report's folder (default: beside the plan, named after it and "
                        "the date)");
    command->add_option("--operator", options->operatorName,
                        "who commissions the site, for the report");
    command->add_flag("--allow-duplicate-stations", options->planOptions.allowDuplicateStations,
                      "let rows share a station address (collectors on separate buses)");
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addJson(command, options->json, "print one JSON object per collector, one per line");
    command->footer(std::string(kExitCodesHelp) +
                    "\n\nOne line per collector as each finishes: \"LABEL PORT ok\", "
                    "\"LABEL PORT already as\nplanned\" (nothing written), \"LABEL PORT "
                    "differs: N parameters\", \"LABEL PORT no answer: ...\",\n\"LABEL PORT "
                    "port error: ...\". The exit code is that of the worst collector, as "
                    "for apply.");
    command->callback([options, &exitCode] { exitCode = commission(*options); });
}

}  // namespace kvcli
