// The report of a site as it is walked, collector after collector, kept in a folder
// (report.html, report.csv and report.json as writeReport writes them) and rewritten whole
// after every row, so that a kill at any moment leaves a readable report holding every row
// that finished. Naming the same folder again continues the site.
//
// The report holds every row of the plan with its state (RowState: to do, done, failed,
// skipped). Its report.json names the plan (the plan's file name and, per row, its row
// number, label and station address); a folder whose report names another file, another
// number of rows or a row with another number, label or station belongs to another plan and
// is refused. Ports and profiles may change between runs (an adapter plugged elsewhere, a
// profile fixed): a row that is done keeps what was recorded, the others take the plan as it
// is now.
//
// Main thread only: the faces hand the outcomes of their port threads to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "site/Commission.h"
#include "site/Plan.h"
#include "site/Report.h"

namespace kvsite {

// RowState and stateWords are declared in site/Commission.h, which this includes.

struct SiteFacts {
    std::string site;  // the report's title: the plan's file name, say
    std::string operatorName, toolVersion;
    std::int64_t startedMs = 0;
};

class SiteRecord {
public:
    struct Opened {
        std::unique_ptr<SiteRecord> record;
        std::string error;
    };
    // A new report (folder created, a report with every row to do written at once, so a
    // folder that refuses it is found before anything is sent), or the one an earlier run
    // of the same plan left in `folder`, its rows kept with their states and outcomes (the
    // site and its start are kept; a non-empty operator and the tool version are this
    // run's). `error` (one line naming the folder and why; nothing written) when the folder
    // holds the report of another plan, a report that cannot be read, or report files
    // without report.json.
    static Opened open(const Plan& plan, const std::string& folder, const SiteFacts& facts);

    std::size_t size() const;                            // the plan's rows
    RowState state(std::size_t index) const;             // index into plan.rows
    const RowOutcome* outcome(std::size_t index) const;  // null when none recorded
    std::size_t count(RowState state) const;

    // Records a row's outcome (Done when resultWords is "ok" or "already as planned", else
    // Failed) and rewrites the report: "" or why it could not be written.
    std::string record(std::size_t index, RowOutcome outcome);
    std::string skip(std::size_t index);  // Skipped, rewritten likewise

    const Report& report() const { return report_; }
    const std::string& folder() const { return folder_; }

private:
    SiteRecord() = default;
    std::string write();

    Report report_;  // one row per plan row, in plan order
    std::string folder_;
};

}  // namespace kvsite
