#include "site/SiteRecord.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "ops/Clock.h"
#include "site/Text.h"

namespace kvsite {

namespace {

namespace fs = std::filesystem;

// Why the report in the folder is not this plan's; "" when it is.
std::string otherPlan(const Report& report, const Plan& plan) {
    if (report.plan != readableText(plan.name))
        return "holds the report of another plan (" + report.plan + ")";
    if (report.rows.size() != plan.rows.size())
        return "holds the report of a plan of " + std::to_string(report.rows.size()) + " rows (" +
               report.plan + " has " + std::to_string(plan.rows.size()) + ")";
    for (std::size_t i = 0; i < plan.rows.size(); ++i) {
        const RowOutcome& had = report.rows[i];
        const PlanRow& row = plan.rows[i];
        if (had.row != row.row || had.label != readableText(row.label) ||
            had.station != readableText(row.station))
            return "holds the report of another plan: its row " + std::to_string(had.row) +
                   " is \"" + had.label + "\" (station " + had.station + "), the plan's row " +
                   std::to_string(row.row) + " is \"" + readableText(row.label) + "\" (station " +
                   readableText(row.station) + ")";
    }
    return {};
}

}  // namespace

SiteRecord::Opened SiteRecord::open(const Plan& plan, const std::string& folder,
                                    const SiteFacts& facts) {
    std::unique_ptr<SiteRecord> record(new SiteRecord);
    record->folder_ = folder;
    Report& report = record->report_;
    const fs::path json = fs::path(folder) / "report.json";
    std::error_code error;
    if (fs::exists(json, error)) {
        std::ifstream in(json, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        ReportRead read = parseReportJson(text.str());
        if (!in || !read.error.empty())
            return {nullptr, folder + ": holds a report that cannot be read (report.json: " +
                                 (in ? read.error : std::string("cannot be read")) + ")"};
        if (std::string why = otherPlan(read.report, plan); !why.empty())
            return {nullptr, folder + ": " + why + "; name another folder with --report"};
        report = std::move(read.report);
        if (!facts.operatorName.empty()) report.operatorName = facts.operatorName;
        report.toolVersion = facts.toolVersion;
        // Rows not done take the plan as it is now; their last outcome stays until they run.
        for (std::size_t i = 0; i < plan.rows.size(); ++i) {
            if (report.rows[i].state != RowState::ToDo) continue;
            report.rows[i] = outcomeOf(plan.rows[i]);
        }
    } else {
        for (const char* name : {"report.html", "report.csv"})
            if (fs::exists(fs::path(folder) / name, error))
                return {nullptr, folder + ": holds " + name +
                                     " without its report.json (not a report this tool can "
                                     "continue); name another folder with --report"};
        report.site = facts.site;
        report.plan = plan.name;
        report.operatorName = facts.operatorName;
        report.toolVersion = facts.toolVersion;
        report.startedMs = facts.startedMs;
        report.finishedMs = facts.startedMs;
        for (const PlanRow& row : plan.rows) report.rows.push_back(outcomeOf(row));
    }
    if (std::string failure = record->write(); !failure.empty()) return {nullptr, failure};
    return {std::move(record), {}};
}

std::size_t SiteRecord::size() const {
    return report_.rows.size();
}

RowState SiteRecord::state(std::size_t index) const {
    return stateOf(report_.rows.at(index));
}

const RowOutcome* SiteRecord::outcome(std::size_t index) const {
    const RowOutcome& row = report_.rows.at(index);
    return row.state == RowState::ToDo ? nullptr : &row;
}

std::size_t SiteRecord::count(RowState state) const {
    std::size_t n = 0;
    for (const RowOutcome& row : report_.rows) n += stateOf(row) == state ? 1 : 0;
    return n;
}

std::string SiteRecord::record(std::size_t index, RowOutcome outcome) {
    RowOutcome& row = report_.rows.at(index);
    outcome.row = row.row;
    if (outcome.state == RowState::ToDo || outcome.state == RowState::Skipped)
        outcome.state = RowState::Done;  // it ran
    outcome.state = stateOf(outcome);
    row = std::move(outcome);
    return write();
}

std::string SiteRecord::skip(std::size_t index) {
    RowOutcome& row = report_.rows.at(index);
    row.state = RowState::Skipped;
    return write();
}

std::string SiteRecord::write() {
    report_.finishedMs = kvops::wallClockMs();
    return writeReport(report_, folder_);
}

}  // namespace kvsite
