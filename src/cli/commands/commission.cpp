// kv480t commission PLAN.csv [--report DIR] [--operator NAME] [--allow-duplicate-stations]
// [--auto] [--dry-run] [--json] [--timeout-ms N] [--log FILE]: a site commissioned from its
// plan, walked by the site library (site/Walk.h): rows on different ports at once, rows that
// share a port one after another, each asked for on stderr (or, --auto, waited for by
// unplugging and plugging). The plan is checked whole, and the report's folder opened, before
// any port is opened; the report is rewritten as each row finishes, and a --report folder
// holding this plan's report is continued.
#include "site/Commission.h"

#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/Interrupt.h"
#include "cli/Options.h"
#include "cli/Profiles.h"
#include "cli/Site.h"
#include "cli/Text.h"
#include "cli/History.h"
#include "cli/TrafficLogFile.h"
#include "cli/commands/Commands.h"
#include "ops/Clock.h"
#include "site/Plan.h"
#include "site/Report.h"
#include "site/SiteRecord.h"
#include "site/Walk.h"

#ifndef KV480T_VERSION
#define KV480T_VERSION "unknown"
#endif

namespace kvcli {

namespace {

using kvsite::Answer;

struct CommissionOptions {
    std::string plan;
    std::string reportDir;
    std::string operatorName;
    kvsite::PlanOptions planOptions;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
    bool automatic = false;
    bool dryRun = false;
};

// One line on stderr at once, whichever thread says it.
void say(const std::string& line) {
    std::cerr << line;
    std::cerr.flush();
}

// The technician's answers on stdin, one prompt at a time whichever port's thread asks.
class Asker {
public:
    explicit Asker(StopOnInterrupt& stop) : stop_(stop) {}

    Answer operator()(const kvsite::PlanRow& row) {
        const std::lock_guard lock(mutex_);
        for (;;) {
            if (stop_.flag()) return Answer::Stop;
            say(printable("Connect " + kvsite::rowName(row) + " to " + row.port) +
                ", then press Enter (s: skip, q: stop)\n");
            std::string line;
            const LineRead read = readAnswerLine(line);
            if (read == LineRead::Stopped) return Answer::Stop;
            if (read == LineRead::End) {
                say("kv480t: no answer: the input ended; stopping\n");
                stop_.stop();
                return Answer::Stop;
            }
            const auto first = line.find_first_not_of(" \t");
            const std::string answer =
                first == std::string::npos
                    ? ""
                    : line.substr(first, line.find_last_not_of(" \t") - first + 1);
            if (answer.empty()) return Answer::Go;
            if (answer == "s") return Answer::Skip;
            if (answer == "q") {
                stop_.stop();
                return Answer::Stop;
            }
            say("kv480t: \"" + printable(answer) +
                "\": press Enter once it is connected, s to skip it, q to stop\n");
        }
    }

private:
    StopOnInterrupt& stop_;
    std::mutex mutex_;
};

// A word of a command line as a POSIX shell takes it.
std::string shellWord(const std::string& word) {
    bool plain = !word.empty();
    for (const char c : word)
        plain =
            plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      std::string_view("_-./:+,=@%").find(c) != std::string_view::npos);
    if (plain) return word;
    std::string out = "'";
    for (const char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int commission(const CommissionOptions& options) {
    const kvsite::PlanCheck check = kvsite::readPlanFile(options.plan, options.planOptions);
    for (const std::string& problem : check.problems)
        std::cerr << "kv480t: " << printable(problem) << '\n';
    if (!check.ok()) return kExitUsage;
    const kvsite::Plan& plan = check.plan;

    // The report, a new one or this plan's from an earlier run; a dry run keeps none.
    std::unique_ptr<kvsite::SiteRecord> record;
    std::string folder;
    if (!options.dryRun) {
        const kvsite::SiteFacts facts{plan.name, options.operatorName, KV480T_VERSION,
                                      kvops::wallClockMs()};
        folder = options.reportDir.empty()
                     ? kvsite::defaultReportFolder(options.plan, facts.startedMs)
                     : options.reportDir;
        kvsite::SiteRecord::Opened opened = kvsite::SiteRecord::open(plan, folder, facts);
        if (!opened.record) {
            std::cerr << "kv480t: " << printable(opened.error) << '\n';
            return kExitUsage;
        }
        record = std::move(opened.record);
    }
    std::vector<std::size_t> rows;
    for (std::size_t i = 0; i < plan.rows.size(); ++i)
        if (!record || record->state(i) != kvsite::RowState::Done) rows.push_back(i);
    if (record && rows.size() < plan.rows.size())
        std::cerr << "kv480t: continuing the report in " << printable(folder) << ": "
                  << plan.rows.size() - rows.size() << " of " << plan.rows.size()
                  << " rows done before\n";

    bool logFailed = false;
    const std::unique_ptr<TrafficLogFile> log = openTrafficLog(options.log, logFailed);
    if (logFailed) return kExitUsage;

    if (!options.operatorName.empty()) historyOptions().operatorName = options.operatorName;
    StopOnInterrupt stop;
    Asker asker(stop);
    const kvclient::Millis timeout{options.timeoutMs};
    std::vector<kvclient::CollectorResult> results;  // of the rows that ran
    bool recordFailed = false;
    kvsite::WalkOptions walkOptions;
    walkOptions.automatic = options.automatic;
    walkOptions.stop = &stop.flag();
    kvsite::WalkHooks hooks;
    hooks.work = [&](kvclient::Client& client, const kvsite::PlanRow& row) {
        return options.dryRun ? kvsite::previewRow(client, row, timeout)
                              : kvsite::commissionRow(client, row, timeout);
    };
    hooks.ask = [&](const kvsite::PlanRow& row) { return asker(row); };
    hooks.say = [](const std::string& line) { say("kv480t: " + printable(line) + "\n"); };
    hooks.setUp = [&](kvclient::Client& client, const std::string& port) {
        if (log) log->attach(client, port);
        attachHistory(client);
    };
    hooks.arrived = [&](std::size_t index, const kvsite::RowOutcome& row) {
        const bool skipped = row.state == kvsite::RowState::Skipped;
        for (const std::string& note : row.result.notes)
            std::cerr << "kv480t: " << row.result.port << ": " << printable(note) << '\n';
        std::cerr.flush();
        std::cout << (options.json     ? siteRowJson(row) + "\n"
                      : options.dryRun ? sitePreviewText(row)
                                       : siteRowText(row));
        std::cout.flush();
        if (!skipped) results.push_back(row.result);
        if (!record) return;
        const std::string error = skipped ? record->skip(index) : record->record(index, row);
        if (!error.empty() && !recordFailed) {
            std::cerr << "kv480t: " << printable(error) << "; stopping\n";
            recordFailed = true;
            stop.stop();
        }
    };
    const kvsite::WalkEnd end = kvsite::walkSite(plan, rows, walkOptions, hooks);
    if (recordFailed) return kExitUsage;
    const bool stopped = end.stopped || stop.signalled();
    if (!record) {
        if (!stopped) return worstExitCode(results);
        std::cerr << "kv480t: stopped: " << results.size() << " of " << plan.rows.size()
                  << " rows read\n";
        return kExitStopped;
    }
    std::cerr << "kv480t: report written to " << printable(folder)
              << " (report.html, report.csv, report.json)\n";
    const std::size_t done = record->count(kvsite::RowState::Done);
    if (done < plan.rows.size()) {
        std::string again =
            "kv480t commission " + shellWord(options.plan) + " --report " + shellWord(folder);
        if (options.planOptions.allowDuplicateStations) again += " --allow-duplicate-stations";
        if (options.automatic) again += " --auto";
        std::cerr << "kv480t: " << (stopped ? "stopped: " : "") << done << " of "
                  << plan.rows.size() << " rows done; to continue: " << printable(again) << '\n';
    }
    if (stopped) return kExitStopped;
    const int worst = worstExitCode(results);
    return worst == kExitDone && end.skipped > 0 ? kExitStopped : worst;
}

}  // namespace

void addCommissionCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CommissionOptions>();
    CLI::App* command = app.add_subcommand(
        "commission",
        "Commission a site from a plan (CSV: port, station, profile, label and parameter "
        "columns): read what each collector holds, write what differs from its profile with "
        "its station address and the row's values, read back and verify; a report (HTML, CSV, "
        "JSON) kept as each row finishes. Rows on different ports run at once; rows that "
        "share a port (one adapter walked from collector to collector) one after another, "
        "each asked for on stderr. The plan is checked whole first: a problem gives exit code "
        "2 and nothing is sent.");
    command->add_option("PLAN", options->plan, "the site plan (CSV)")->required();
    command->add_option("--report", options->reportDir,
                        "the report's folder (default: a new one beside the plan, named after "
                        "it and the date); a folder holding this plan's report is continued: "
                        "rows done there are not asked for again");
    command->add_option("--operator", options->operatorName,
                        "who commissions the site, for the report and the history "
                        "(default in the history: the account's name)");
    command->add_flag("--allow-duplicate-stations", options->planOptions.allowDuplicateStations,
                      "let rows share a station address (collectors on separate buses)");
    command->add_flag("--auto", options->automatic,
                      "rows sharing a port: instead of asking, wait until the collector on the "
                      "port stops answering (unplugged), then until one answers (the next)");
    command->add_flag("--dry-run", options->dryRun,
                      "read each collector and print what would be written (before -> after, "
                      "by name); write nothing, keep no report; exit 0 when nothing differs, "
                      "1 when something would change");
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addHistoryOptions(command, false);
    addJson(command, options->json, "print one JSON object per collector, one per line");
    command->footer(
        std::string(kExitCodesHelp) +
        "\n\nOne line per collector as each finishes: \"LABEL PORT ok\", \"LABEL PORT already "
        "as\nplanned\" (nothing written), \"LABEL PORT differs: N parameters\", \"LABEL PORT no "
        "answer: ...\",\n\"LABEL PORT port error: ...\", \"LABEL PORT skipped\". The exit code "
        "is that of the worst collector,\nas for apply.\n\n"
        "Rows that share a port: before each, stderr asks\n  Connect \"LABEL\" (station S) to "
        "PORT, then press Enter (s: skip, q: stop)\nand stdin answers: an empty line when it is "
        "connected, s to skip it, q to stop. Ctrl+C\nor SIGTERM: the rows in progress finish "
        "and are recorded, no new row starts. The same\ncommand with the same --report DIR "
        "then continues: rows done are kept as they were,\nrows failed or skipped are asked "
        "for again. A folder holding another plan's report\n(another file name, or rows with "
        "other numbers, labels or stations) is refused.");
    command->callback([options, &exitCode] { exitCode = commission(*options); });
}

}  // namespace kvcli
