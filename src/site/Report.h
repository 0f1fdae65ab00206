// The record a technician hands over after commissioning: which collector (label, port,
// station) got which configuration, what it held before, and what the read-back proved.
//
//   report.csv   one line per collector: label, port, station, profile, result, number of
//                differences, time, tool version (UTF-8 with a byte order mark, CR LF, CSV
//                fields as files/Csv.h writes them: formulas stay text)
//   report.json  everything: the run's facts, the plan's file name, and per collector its
//                plan row and state, the planned, before and after settings by name, the
//                differences, the failure (its kind, step and reason) and the times
//   report.html  one self-contained printable page (no external files or scripts): site,
//                date and time, operator, tool version, a summary table, then one section
//                per collector with its before and after values side by side, the changed
//                ones marked, and the verification result
//
// Every text that comes from outside (labels, ports and profiles from the plan, the
// collector's replies in failure reasons) is escaped for where it lands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "site/Commission.h"

namespace kvsite {

struct Report {
    std::string site;  // the plan's file name, or what the window calls its session
    std::string plan;  // the plan's file name, which report.json names (SiteRecord)
    std::string operatorName;
    std::string toolVersion;
    std::int64_t startedMs = 0, finishedMs = 0;
    std::vector<RowOutcome> rows;
};

std::string reportCsv(const Report& report);
std::string reportJson(const Report& report);
std::string reportHtml(const Report& report);

// report.json's text read back into a Report, faithfully: reportJson of what it gives is the
// text again (text that reportJson escaped stays escaped). `error` when the text is not such
// a report (not JSON, another format, a value missing or of another type, a value the
// parameter refuses).
struct ReportRead {
    Report report;
    std::string error;
};
ReportRead parseReportJson(std::string_view text);

// Local time "2026-12-09 14:05:03 +0100".
std::string localTimeText(std::int64_t wallMs);

// The default folder of a plan's report: "<plan's folder>/<plan without .csv>-report-<date>",
// with "-2", "-3", ... added when that is taken, so an earlier report is never replaced.
std::string defaultReportFolder(const std::string& planPath, std::int64_t wallMs);

// Creates `folder` if needed and writes the three files into it, each replaced whole or not
// at all. "" when done, else the message naming the file and the reason.
std::string writeReport(const Report& report, const std::string& folder);

}  // namespace kvsite
