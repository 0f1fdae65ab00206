#include "presenter/ProfileSession.h"

#include <chrono>
#include <utility>

#include "ops/Clock.h"
#include "presenter/WindowFrames.h"
#include "protocol/Conversions.h"
#include "protocol/Parameters.h"
#include "protocol/SetCommands.h"

namespace kvpresenter {

namespace {

std::string number(std::size_t n) {
    return std::to_string(n);
}

}  // namespace

ProfileSession::ProfileSession(Controls& controls, DeviceSession& session, UserMessages& messages,
                               ProfileView& view)
    : controls_(controls), session_(session), messages_(messages), view_(view) {
    session_.setOutcomeObserver([this](PendingRequest request, const kvops::Outcome& outcome) {
        requestEnded(request, outcome);
    });
    session_.setClockObserver([this] { clockTick(); });
}

std::optional<kvproto::CollectorSettings> ProfileSession::fieldSettings(bool requireComplete) {
    const kvproto::Include include = view_.include();
    kvproto::CollectorSettings settings;
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        if (!kvproto::included(p, include)) continue;
        std::optional<std::string> value;
        if (p.isList()) {
            value = kvproto::itemValue(p, controls_.itemIndex(p.control));
        } else if (std::string text = controls_.text(p.control); !text.empty()) {
            value = std::move(text);
        }
        if (!value) continue;
        if (auto error = settings.set(p, *value)) {
            messages_.showMessage("The field " + std::string(p.control) + " (" + *error + ")");
            return std::nullopt;
        }
    }
    if (requireComplete) {
        if (std::string problem = kvproto::incompleteCommand(settings); !problem.empty()) {
            messages_.showMessage(problem);
            return std::nullopt;
        }
    }
    return settings;
}

void ProfileSession::load(const kvproto::CollectorSettings& settings, const std::string& file,
                          const std::string& name) {
    clearHighlights();
    const kvproto::Include include = view_.include();
    std::size_t filled = 0, leftOut = 0;
    for (const auto& [p, value] : settings.entries()) {
        if (!kvproto::included(*p, include)) {
            ++leftOut;
            continue;
        }
        if (p->isList()) {
            controls_.setItemIndex(p->control, kvproto::itemNumber(*p, value));
        } else {
            controls_.setText(p->control, value);
        }
        ++filled;
    }
    loaded_ = settings;
    loadedName_ = name;
    std::string text = "Loaded " + number(filled) + " settings from " + file + ".";
    if (leftOut > 0)
        text += " " + number(leftOut) + " left out (station address or counter bases not ticked).";
    view_.note(text);
}

void ProfileSession::writeAllOrCancel() {
    // Cancel while the listing is read first: nothing was written.
    const bool readingFirst = mode_ == Mode::Verifying && check_ == Check::Before;
    if (mode_ == Mode::Writing || readingFirst) {
        if (writeDone_) return;  // another part's write: not Write All's to cancel
        finishWriting("Write All cancelled after " + number(run_->sent()) + " of " +
                      number(run_->total()) + ".");
        return;
    }
    if (busy()) return;
    const std::optional<kvproto::CollectorSettings> fields = fieldSettings(true);
    if (!fields) return;
    // With a profile loaded, what it holds; the other fields stay as they are.
    kvproto::CollectorSettings settings;
    for (const auto& [p, value] : fields->entries())
        if (!loaded_ || loaded_->get(*p)) settings.set(*p, value);
    kvops::ApplyPlan plan = kvops::planApply(settings, view_.include());
    // The frames as their Set buttons will build them: a field one cannot convert stops
    // Write All before anything is sent.
    for (const kvproto::SetCommand* command : plan.commands) {
        try {
            (void)buildSetFrame(command->word, command->fieldSpan(), controls_);
        } catch (const kvproto::ConversionError& error) {
            messages_.showMessage(error.message());
            return;
        }
    }
    if (plan.commands.empty()) {
        view_.note("Write All: no complete setting to write.");
        return;
    }
    clearHighlights();
    written_ = {};
    for (const kvproto::SetCommand* command : plan.commands)
        for (const kvproto::Parameter* p : command->parameterSpan())
            written_.set(*p, *settings.get(*p));
    mode_ = Mode::Writing;
    run_.emplace(std::move(plan));
    what_ = "Write All";
    view_.setWriteAllCaption("Cancel");
    beginWrite();
}

void ProfileSession::beginWrite(bool listingRead, std::string whyNone) {
    started_ = false;
    beforeId_ = 0;
    frames_.clear();
    kvops::LineHistory* history = session_.history();
    if (history == nullptr) {
        started_ = true;
        sendNext();
        return;
    }
    if (history->needsListing() && !listingRead) {
        if (!writeDone_) view_.note(what_ + ": reading what the collector holds first ...");
        startReading(Check::Before);
        return;
    }
    const std::uint64_t run = ++runs_;
    const std::weak_ptr<int> alive = alive_;
    history->before(what_, [this, alive, run](std::int64_t id, const kvops::Error& error) {
        if (!alive.lock() || run != runs_ || mode_ != Mode::Writing) return;
        if (error) {
            failBeforeWrite(error, "history");
            return;
        }
        beforeId_ = id;
        started_ = true;
        sendNext();
    }, std::move(whyNone));
}

void ProfileSession::failBeforeWrite(const kvops::Error& error, const std::string& step) {
    if (writeDone_) {
        finishCallerWrite(error, step);
        return;
    }
    finishWriting("Write All: nothing was written: the history could not keep the collector's "
                  "state (" +
                      kvops::describe(error) + ").",
                  true);
}

void ProfileSession::recordWrite(const kvops::Error& error, const std::string* listing,
                                 const kvops::Listing* reported) {
    kvops::LineHistory* history = session_.history();
    if (history == nullptr || !std::exchange(started_, false)) return;
    kvops::LineHistory::Write write;
    write.what = what_;
    write.before = beforeId_;
    write.written = source_ ? *source_ : written_;
    write.frames = std::move(frames_);
    frames_.clear();
    if (listing && reported) {
        write.readBackListing = *listing;
        write.readBack = reported->settings;
        write.differences = kvops::compare(expected_, reported->settings);
    }
    write.error = reported && reported->error ? reported->error : error;
    history->write(std::move(write));
}

void ProfileSession::sendNext() {
    sendDue_ = false;
    if (mode_ != Mode::Writing) return;
    const kvproto::SetCommand* command = run_->next();
    if (!command) {
        // Every frame is out: the collector's listing says what it now holds.
        if (!writeDone_) {
            view_.setWriteAllCaption("Write All");
            expected_ = written_;
            expectedWhere_ = "written";
        }
        startReading(Check::WriteAll);
        return;
    }
    // Another part's write says itself what it does.
    if (!writeDone_)
        view_.note("Writing " + number(run_->sent() + 1) + " of " + number(run_->total()) + ": " +
                   std::string(command->word) + " ...");
    // A refused frame ends the run at once.
    if (source_)
        session_.sendSetCommand(*command, *source_, run_->answerTime());
    else
        session_.setButtonClick(command->button, run_->answerTime(), false);
}

void ProfileSession::clockTick() {
    if (sendDue_) sendNext();
}

void ProfileSession::requestEnded(PendingRequest request, const kvops::Outcome& outcome) {
    const bool read = request == PendingRequest::ReadParameters;
    // Write All's read-back shows the collector after the writes: never the "before".
    const bool afterWriting = mode_ == Mode::Verifying && check_ == Check::WriteAll;
    const bool forCaller = mode_ == Mode::Verifying && check_ == Check::Read;
    if (read && outcome.answered() && !before_ && !afterWriting && !forCaller) {
        before_ = kvops::readListing(outcome.reply).settings;
        beforeMs_ = kvops::wallClockMs();
    }
    if (!read) verified_.reset();  // the collector may have changed
    if (mode_ == Mode::Writing) {
        // An answer to no command of this run (the run waits for its before entry).
        if (!started_) return;
        const kvproto::SetCommand* command = run_->next();
        if (outcome.status != kvops::Status::NotSent)
            frames_.push_back({session_.lastFrame(),
                               outcome.answered() ? std::optional<std::string>(outcome.reply)
                                                  : std::nullopt});
        if (run_->record(outcome)) {
            const kvops::CommandAnswer& answer = run_->answers().back();
            view_.reportAnswer(std::string(answer.command->word) + (answer.answer ? " " : ": ") +
                               kvops::answerWords(answer));
            // The next command once this answer has been shown.
            sendDue_ = true;
            session_.wake();
            return;
        }
        recordWrite(outcome.error);
        if (writeDone_) {
            kvops::Error error = outcome.error;
            error.text += " (" + number(run_->sent()) + " commands written before)";
            finishCallerWrite(std::move(error), command ? std::string(command->word) : "");
            return;
        }
        const std::string why = outcome.status == kvops::Status::NotSent
                                    ? view_.notSentReason()
                                    : kvops::describe(outcome.error);
        finishWriting("Write All stopped at " + number(run_->sent() + 1) + " of " +
                          number(run_->total()) + " (" +
                          (command ? std::string(command->word) : std::string()) + "): " + why,
                      true);
        return;
    }
    if (mode_ != Mode::Verifying || !read) return;
    if (check_ == Check::Before) {
        // A collector that does not answer the listing is written all the same (the
        // read-back judges); its before says why it holds no values.
        check_ = Check::Verify;
        mode_ = Mode::Writing;
        beginWrite(true, outcome.answered() ? std::string() : kvops::describe(outcome.error));
        return;
    }
    if (check_ == Check::Restore) {
        mode_ = Mode::Idle;
        check_ = Check::Verify;
        if (!outcome.answered()) {
            finishCallerWrite(outcome.error, "reading what the collector holds");
            return;
        }
        const kvops::Listing held = kvops::readListing(outcome.reply);
        const kvproto::CollectorSettings toWrite = kvops::settingsToWrite(restoring_, held.settings);
        if (toWrite.empty()) {
            finishCallerWrite(held.error, held.error ? "reading what the collector holds" : "",
                              &held.settings);
            return;
        }
        WriteDone done = std::exchange(writeDone_, {});
        writeAndVerify(toWrite, restoring_, std::move(done), restoreWhat_);
        return;
    }
    if (check_ == Check::Read) {
        mode_ = Mode::Idle;
        check_ = Check::Verify;
        std::exchange(readDone_, {})(outcome);
        return;
    }
    if (outcome.answered()) {
        finishVerify(outcome.reply);
        return;
    }
    mode_ = Mode::Idle;
    if (check_ == Check::WriteAll) recordWrite(outcome.error);
    if (check_ == Check::WriteAll && writeDone_) {
        finishCallerWrite(outcome.error, "read-back");
        return;
    }
    if (check_ == Check::WriteAll) {
        view_.problem("Write All: " + number(run_->total()) +
                      " settings sent, but the collector's listing could not be read back: " +
                      kvops::describe(outcome.error));
        return;
    }
    if (outcome.status == kvops::Status::TimedOut)
        view_.problem(std::string("Verify: the collector did not answer.") +
                      (reportFile_.empty() ? "" : " No report saved."));
    reportFile_.clear();
}

void ProfileSession::finishWriting(const std::string& outcome, bool failed) {
    recordWrite({kvops::ErrorCode::BadRequest, 0, outcome});
    mode_ = Mode::Idle;
    check_ = Check::Verify;
    sendDue_ = false;
    if (run_) run_->stop();
    view_.setWriteAllCaption("Write All");
    if (failed)
        view_.problem(outcome);
    else
        view_.note(outcome);
}

void ProfileSession::verify() {
    if (busy()) return;
    if (loaded_) {
        expected_ = kvproto::filtered(*loaded_, view_.include());
        expectedWhere_ = "in the profile";
    } else {
        const std::optional<kvproto::CollectorSettings> fields = fieldSettings(false);
        if (!fields) return;
        expected_ = *fields;
        expectedWhere_ = "in the window";
    }
    clearHighlights();
    startReading(Check::Verify);
}

void ProfileSession::startReading(Check check) {
    mode_ = Mode::Verifying;
    check_ = check;
    const bool forCaller = check == Check::Read || writeDone_;
    session_.readParametersClick(false);  // compare: the fields keep what they hold
    // A refused request has ended already (requestEnded), and a caller has been told.
    if (forCaller || check == Check::Before) return;
    if (!session_.lastFrameSent()) {
        mode_ = Mode::Idle;
        if (check == Check::WriteAll) recordWrite({kvops::ErrorCode::WriteRefused, 0,
                                                   view_.notSentReason()});
        if (check == Check::WriteAll)
            view_.problem(
                "Write All: " + number(run_->total()) +
                " settings sent, but the listing could not be asked for: " + view_.notSentReason());
        return;
    }
    if (check == Check::Before) return;
    view_.note(check == Check::Verify ? "Verify: reading the collector's parameters ..."
                                      : "Write All: " + number(run_->total()) +
                                            " settings sent, reading them back ...");
}

void ProfileSession::portClosed() {
    const kvops::Error closed{kvops::ErrorCode::NotOpen, 0, "the port was closed"};
    recordWrite(closed);
    if (mode_ == Mode::Verifying && (check_ == Check::Before || check_ == Check::Restore)) {
        // Nothing was written yet.
        if (writeDone_) {
            finishCallerWrite(closed, "reading what the collector holds");
        } else {
            mode_ = Mode::Idle;
            check_ = Check::Verify;
            finishWriting("Write All: nothing was written: the port closed.", true);
        }
    }
    if (mode_ == Mode::Writing && writeDone_) {
        const kvproto::SetCommand* command = run_->next();
        finishCallerWrite(closed, command ? std::string(command->word) : "");
    } else if (mode_ == Mode::Verifying && check_ == Check::WriteAll && writeDone_) {
        finishCallerWrite(closed, "read-back");
    } else if (mode_ == Mode::Verifying && check_ == Check::Read) {
        mode_ = Mode::Idle;
        check_ = Check::Verify;
        std::exchange(readDone_, {})(kvops::Outcome{kvops::Status::NotSent, {}, closed});
    }
    if (mode_ == Mode::Writing) {
        finishWriting("Write All stopped after " + number(run_->sent()) + " of " +
                          number(run_->total()) + ": the port closed.",
                      true);
    }
    check_ = Check::Verify;
    mode_ = Mode::Idle;
    sendDue_ = false;
    before_.reset();
    verified_.reset();
    reportFile_.clear();
}

void ProfileSession::finishVerify(const std::string& listing) {
    mode_ = Mode::Idle;
    const kvops::Listing reported = kvops::readListing(listing);
    if (check_ == Check::WriteAll) recordWrite({}, &listing, &reported);
    if (check_ == Check::WriteAll && writeDone_) {
        // A listing with a value that cannot be read proves nothing.
        if (reported.error)
            finishCallerWrite(reported.error, "read-back");
        else
            finishCallerWrite({}, {}, &reported.settings);
        return;
    }
    const std::vector<kvproto::Difference> differences =
        kvops::compare(expected_, reported.settings);
    for (const kvproto::Difference& d : differences)
        if (view_.highlight(d.parameter->control, true))
            highlighted_.emplace_back(d.parameter->control);
    if (std::exchange(check_, Check::Verify) == Check::WriteAll) {
        std::size_t unanswered = 0;
        for (const kvops::CommandAnswer& answer : run_->answers())
            unanswered += answer.answer ? 0 : 1;
        const std::string sent =
            number(run_->total()) + " settings written" +
            (unanswered > 0 ? " (" + number(unanswered) + " without an answer)" : "");
        if (differences.empty())
            view_.note("Write All done: " + sent + "; the collector holds all " +
                       number(kvops::comparedCount(expected_)) + " values.");
        else
            view_.problem("Write All: " + sent + ", but the read-back differs: " +
                          kvproto::describeDifferences(differences, expectedWhere_));
        verified_.reset();
        return;
    }
    if (differences.empty()) {
        view_.note("Verified: the collector holds all " + number(kvops::comparedCount(expected_)) +
                   " values " + expectedWhere_ + ".");
    } else {
        view_.problem(kvproto::describeDifferences(differences, expectedWhere_));
    }

    VerifiedRow& row = verified_.emplace();
    row.port = view_.portName();
    row.differences = differences;
    row.where = expectedWhere_;
    row.profile = loaded_ ? loadedName_ : "(the window's fields)";
    row.station = reported.settings.get("rs485.address").value_or("");
    row.planned = expected_;
    row.after = reported.settings;
    row.beforeRead = before_.has_value();
    row.before = before_.value_or(kvproto::CollectorSettings{});
    row.startedMs = before_ ? beforeMs_ : kvops::wallClockMs();
    row.finishedMs = kvops::wallClockMs();
    if (!reportFile_.empty()) saveReport();
}

bool ProfileSession::readCollector(ReadDone done) {
    if (busy()) return false;
    readDone_ = std::move(done);
    startReading(Check::Read);
    return true;
}

bool ProfileSession::writeAndVerify(const kvproto::CollectorSettings& settings,
                                    const kvproto::CollectorSettings& expected, WriteDone done,
                                    std::string what) {
    if (busy()) return false;
    what_ = std::move(what);
    // Checked settings: every frame of their complete commands can be built.
    kvops::ApplyPlan plan = kvops::planApply(settings, {true, true});
    writeDone_ = std::move(done);
    source_ = settings;
    expected_ = expected;
    mode_ = Mode::Writing;
    run_.emplace(std::move(plan));
    beginWrite();
    return true;
}

bool ProfileSession::restore(const kvproto::CollectorSettings& state, kvproto::Include include,
                             std::string what, WriteDone done) {
    if (busy()) return false;
    restoring_ = kvproto::filtered(state, include);
    restoreWhat_ = std::move(what);
    expected_ = restoring_;
    run_.reset();
    writeDone_ = std::move(done);
    startReading(Check::Restore);
    return true;
}

void ProfileSession::finishCallerWrite(kvops::Error error, std::string step,
                                       const kvproto::CollectorSettings* reported) {
    recordWrite(error);
    mode_ = Mode::Idle;
    check_ = Check::Verify;
    sendDue_ = false;
    source_.reset();
    WriteOutcome outcome;
    if (run_) {
        run_->stop();
        outcome.written = run_->sent();
        outcome.answers = run_->answers();
    }
    outcome.error = std::move(error);
    outcome.step = std::move(step);
    if (reported) {
        outcome.differences = kvops::compare(expected_, *reported);
        outcome.reported = *reported;
    }
    std::exchange(writeDone_, {})(outcome);
}

void ProfileSession::report(const std::string& path) {
    if (busy()) return;
    reportFile_ = path;
    if (verified_) {
        saveReport();
        return;
    }
    verify();  // saves once the read-back is in
    if (mode_ != Mode::Verifying) reportFile_.clear();
}

void ProfileSession::saveReport() {
    const std::string file = std::exchange(reportFile_, std::string());
    const std::string error = view_.saveReport(file, *verified_);
    if (!error.empty()) {
        messages_.showMessage(error);
        return;
    }
    const std::string shown = view_.shown() + " Report saved to " + file + ".";
    if (verified_->differences.empty())
        view_.note(shown);
    else
        view_.problem(shown);
}

void ProfileSession::clearHighlights() {
    for (const std::string& control : highlighted_) view_.highlight(control, false);
    highlighted_.clear();
}

}  // namespace kvpresenter
