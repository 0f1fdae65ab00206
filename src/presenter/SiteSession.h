// SiteSession: the window's site walk (Site...) without its widgets. A checked site plan's
// rows are run one after another on the window's one open port, whatever a row's port cell
// says: the technician plugs each collector in turn. Each row runs as `kv480t commission`
// runs one: read what the collector holds (the "before"), write the set commands one of
// whose values differs from the plan (kvsite::settingsToWrite), each with all its values,
// then read back and compare with the plan (the "after"); a collector that already holds the
// plan gets nothing written. The reads and writes are the Profile group's
// (ProfileSession::readCollector, writeAndVerify), so while a row runs the group is busy.
//
// The report (report.html, .csv, .json, and the PDF beside them where the window can write
// one) is kept by kvsite::SiteRecord in the report folder and rewritten as each row finishes
// or is skipped. The folder is by default a new one beside the plan
// (kvsite::defaultReportFolder), made when the first row is run or skipped; choosing a folder
// opens its record at once: the same plan's report is continued (its done rows stay done),
// another plan's is refused and the folder chosen before stays.
//
// Next runs the next row that is not done: the first one from the row after the last one run
// or skipped, else the first one from the top (so skipped and failed rows come round again).
// Skip marks that row skipped and moves on. Next can run only while no row runs, the port is
// open and a row is left (nextHint() says why not).
//
// Main thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "presenter/ProfileSession.h"
#include "site/Plan.h"
#include "site/SiteRecord.h"

namespace kvpresenter {

// What the site dialog shows. Texts are UTF-8.
class SiteView {
public:
    virtual ~SiteView() = default;
    // Whether the window's port is open, and its name as the report gives it.
    virtual bool portOpen() const = 0;
    virtual std::string portName() const = 0;
    // The rows' states, the next row, Next's state or the status text changed.
    virtual void changed() = 0;
    // The report in `folder` was rewritten as `report`: the view may add files of its own
    // (the PDF). "" or why one could not be written.
    virtual std::string reportWritten(const kvsite::Report& report, const std::string& folder) = 0;
};

class SiteSession {
public:
    SiteSession(ProfileSession& profile, SiteView& view, std::string toolVersion);

    // A checked plan, its report going to `folder` (nothing is written yet); every row to do.
    void open(kvsite::Plan plan, const std::string& folder);
    // The report goes to `folder` from now on: its record is opened (made, or continued).
    // "" when done, else why not (and nothing changes).
    std::string chooseFolder(const std::string& folder);

    const kvsite::Plan& plan() const { return plan_; }
    const std::string& folder() const { return folder_; }
    std::size_t size() const { return plan_.rows.size(); }
    // "to do", "running", "done", "failed", "skipped".
    std::string stateWords(std::size_t row) const;
    // The recorded result: "ok", "already as planned", "differs: 2", "no answer", ...; ""
    // while none is recorded.
    std::string resultWords(std::size_t row) const;
    // The row Next runs and Skip skips; none when every row is done.
    std::optional<std::size_t> nextRow() const;
    bool running() const { return running_.has_value(); }
    bool canRunNext() const { return nextHint().empty(); }
    // Why Next cannot run now; "" when it can.
    std::string nextHint() const;
    // What happened last (a row's result, a report that could not be written ...).
    const std::string& status() const { return status_; }
    bool problem() const { return problem_; }
    const kvsite::SiteRecord* record() const { return record_.get(); }

    void next();
    void skip();
    // The port opened or closed: Next's state follows (a row running is ended by the Profile
    // group, which hears of the close).
    void portChanged() { view_.changed(); }

private:
    bool openRecord();
    void beforeRead(const kvops::Outcome& outcome);
    void written(const WriteOutcome& outcome);
    void finishRow();
    void recorded(const std::string& error, const std::string& done, bool failed);
    void say(std::string text, bool problem = false);
    std::string rowName(std::size_t row) const;

    ProfileSession& profile_;
    SiteView& view_;
    std::string toolVersion_;
    kvsite::Plan plan_;
    std::string folder_;
    std::unique_ptr<kvsite::SiteRecord> record_;  // none until a row is run or skipped
    std::size_t cursor_ = 0;                      // where nextRow() begins to look
    std::optional<std::size_t> running_;
    kvsite::RowOutcome outcome_;  // the running row's
    std::string status_;
    bool problem_ = false;
};

}  // namespace kvpresenter
