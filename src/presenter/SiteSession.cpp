#include "presenter/SiteSession.h"

#include <utility>

#include "ops/Clock.h"
#include "ops/Error.h"
#include "site/Commission.h"
#include "site/Report.h"

namespace kvpresenter {

namespace {

constexpr std::string_view kWhere = "in the plan";

}  // namespace

SiteSession::SiteSession(ProfileSession& profile, SiteView& view, std::string toolVersion)
    : profile_(profile), view_(view), toolVersion_(std::move(toolVersion)) {}

void SiteSession::open(kvsite::Plan plan, const std::string& folder) {
    if (running_) return;
    plan_ = std::move(plan);
    folder_ = folder;
    record_.reset();
    cursor_ = 0;
    say("");
}

std::string SiteSession::chooseFolder(const std::string& folder) {
    if (running_) return "A row is running: choose the folder once it is done.";
    kvsite::SiteRecord::Opened opened = kvsite::SiteRecord::open(
        plan_, folder, {plan_.name, {}, toolVersion_, kvops::wallClockMs()});
    if (!opened.record) return opened.error;
    record_ = std::move(opened.record);
    folder_ = record_->folder();
    cursor_ = 0;
    const std::size_t done = record_->count(kvsite::RowState::Done);
    say(done == 0 ? "The report goes to " + folder_ + "."
                  : "The report in " + folder_ + " is continued: " + std::to_string(done) + " of " +
                        std::to_string(size()) + " rows done.");
    return {};
}

std::string SiteSession::stateWords(std::size_t row) const {
    if (running_ == row) return "running";
    if (!record_) return std::string(kvsite::stateWords(kvsite::RowState::ToDo));
    return std::string(kvsite::stateWords(record_->state(row)));
}

std::string SiteSession::resultWords(std::size_t row) const {
    const kvsite::RowOutcome* outcome = record_ ? record_->outcome(row) : nullptr;
    if (!outcome) return {};
    const kvsite::RowState state = record_->state(row);
    if (state != kvsite::RowState::Done && state != kvsite::RowState::Failed) return {};
    std::string words = kvsite::resultWords(*outcome);
    if (!outcome->result.error && !outcome->result.differences.empty())
        words += ": " + std::to_string(outcome->result.differences.size());
    return words;
}

std::optional<std::size_t> SiteSession::nextRow() const {
    const auto open = [this](std::size_t i) {
        return !record_ || record_->state(i) != kvsite::RowState::Done;
    };
    for (std::size_t i = cursor_; i < size(); ++i)
        if (open(i)) return i;
    for (std::size_t i = 0; i < cursor_ && i < size(); ++i)
        if (open(i)) return i;
    return std::nullopt;
}

std::string SiteSession::nextHint() const {
    if (running_) return "A row is running.";
    if (!nextRow()) return "Every row is done.";
    if (!view_.portOpen()) return "Open the port the collectors are plugged into to run a row.";
    return {};
}

bool SiteSession::openRecord() {
    if (record_) return true;
    if (const std::string error = chooseFolder(folder_); !error.empty()) {
        say(error, true);
        return false;
    }
    return true;
}

void SiteSession::next() {
    if (!canRunNext() || !openRecord()) return;
    const std::size_t row = *nextRow();
    outcome_ = kvsite::outcomeOf(plan_.rows[row]);
    outcome_.state = kvsite::RowState::Done;  // it runs: done or failed once it ends
    outcome_.result.port = view_.portName();
    outcome_.result.where = std::string(kWhere);
    outcome_.startedMs = kvops::wallClockMs();
    running_ = row;
    if (!profile_.readCollector([this](const kvops::Outcome& outcome) { beforeRead(outcome); })) {
        running_.reset();
        say("The Profile group is busy: run the row once it is done.", true);
        return;
    }
    if (running_) say(rowName(row) + ": reading what the collector holds ...");
}

void SiteSession::beforeRead(const kvops::Outcome& outcome) {
    const kvops::Listing listing = kvops::readListing(outcome.reply);
    const kvops::Error& error = outcome.answered() ? listing.error : outcome.error;
    if (error) {
        outcome_.result.error = error;
        outcome_.result.step = "reading what the collector holds";
        finishRow();
        return;
    }
    outcome_.before = listing.settings;
    outcome_.beforeRead = true;
    const kvproto::CollectorSettings toWrite =
        kvsite::settingsToWrite(outcome_.planned, outcome_.before);
    if (toWrite.size() == 0) {
        outcome_.after = outcome_.before;
        outcome_.afterRead = true;
        outcome_.alreadyAsPlanned = true;
        finishRow();
        return;
    }
    say(rowName(*running_) + ": writing what differs ...");
    profile_.writeAndVerify(
        toWrite, outcome_.planned, [this](const WriteOutcome& outcome) { written(outcome); },
        "commission");
}

void SiteSession::written(const WriteOutcome& outcome) {
    kvclient::CollectorResult& result = outcome_.result;
    result.written = outcome.written;
    result.answers = outcome.answers;
    result.error = outcome.error;
    result.step = outcome.step;
    result.differences = outcome.differences;
    // A failed write or read-back has no "after".
    outcome_.afterRead = !outcome.error;
    if (outcome_.afterRead) outcome_.after = outcome.reported;
    finishRow();
}

void SiteSession::finishRow() {
    const std::size_t row = *std::exchange(running_, std::nullopt);
    outcome_.finishedMs = kvops::wallClockMs();
    std::string done = rowName(row) + ": " + kvsite::resultWords(outcome_);
    if (const kvops::Error& error = outcome_.result.error)
        done += ": " + outcome_.result.step + ": " + kvops::describe(error);
    else if (!outcome_.result.differences.empty())
        done += ": " + kvproto::describeDifferences(outcome_.result.differences, kWhere);
    const bool failed = outcome_.result.error || !outcome_.result.differences.empty();
    cursor_ = row + 1;
    recorded(record_->record(row, std::move(outcome_)), done, failed);
}

void SiteSession::skip() {
    if (running_) return;
    const std::optional<std::size_t> row = nextRow();
    if (!row || !openRecord()) return;
    cursor_ = *row + 1;
    recorded(record_->skip(*row), rowName(*row) + ": skipped", false);
}

void SiteSession::recorded(const std::string& error, const std::string& done, bool failed) {
    if (!error.empty()) {
        say(done + ". The report could not be written: " + error, true);
        return;
    }
    if (std::string pdf = view_.reportWritten(record_->report(), record_->folder()); !pdf.empty()) {
        say(done + ". " + pdf, true);
        return;
    }
    say(done + ".", failed);
}

void SiteSession::say(std::string text, bool problem) {
    status_ = std::move(text);
    problem_ = problem;
    view_.changed();
}

std::string SiteSession::rowName(std::size_t row) const {
    const kvsite::PlanRow& planRow = plan_.rows[row];
    std::string name = planRow.label.empty() ? "Row " + std::to_string(planRow.row) : planRow.label;
    return name + " (station " + planRow.station + ")";
}

}  // namespace kvpresenter
