#include "main1/ProfilePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>
#include <QWidget>

#include "main1/CollectorReport.h"
#include "main1/adapters/StatusLine.h"
#include "ops/Operations.h"
#include "presenter/DeviceSession.h"
#include "presenter/WindowFrames.h"
#include "presenter/WindowInterfaces.h"
#include "protocol/Conversions.h"
#include "protocol/SetCommands.h"

namespace {

ProfilePanel::FileHook& fileHook() {
    static ProfilePanel::FileHook hook;
    return hook;
}

QString qs(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

const char* kHighlight = "background-color: #ffc8c8;";

}  // namespace

ProfilePanel::ProfilePanel(QWidget* window, kvproto::Controls& controls,
                           kvproto::DeviceSession& session, kvproto::UserMessages& messages,
                           StatusLine& status)
    : QObject(window),
      window_(window),
      controls_(controls),
      session_(session),
      messages_(messages),
      status_(status),
      writeAll_(window->findChild<QPushButton*>(QStringLiteral("ProfileWriteAll"))),
      includeStation_(window->findChild<QCheckBox*>(QStringLiteral("ProfileIncludeStation"))),
      includeCounters_(window->findChild<QCheckBox*>(QStringLiteral("ProfileIncludeCounters"))),
      lastFolder_(QDir::homePath()) {
    const std::pair<const char*, void (ProfilePanel::*)()> buttons[] = {
        {"ProfileSave", &ProfilePanel::save},
        {"ProfileLoad", &ProfilePanel::load},
        {"ProfileWriteAll", &ProfilePanel::writeAllOrCancel},
        {"ProfileVerify", &ProfilePanel::verify},
    };
    // Report... sits below the group's tick boxes.
    auto* report = new QPushButton(QStringLiteral("Report..."), window);
    report->setObjectName(QStringLiteral("ProfileReport"));
    report->setToolTip(QStringLiteral(
        "Save this collector's commissioning sheet (before and after values, verification) "
        "as HTML or PDF"));
    if (auto* group = window->findChild<QWidget*>(QStringLiteral("GroupBoxProfile")))
        if (auto* grid = qobject_cast<QGridLayout*>(group->layout()))
            grid->addWidget(report, grid->rowCount(), 0);
    connect(report, &QPushButton::clicked, this, &ProfilePanel::report);
    for (const auto& [name, handler] : buttons) {
        auto* button = window->findChild<QPushButton*>(QLatin1StringView(name));
        Q_ASSERT(button);
        connect(button, &QPushButton::clicked, this, handler);
    }
    tick_.setSingleShot(true);
    connect(&tick_, &QTimer::timeout, this, [this] {
        session_.tick();
        armTick();
    });
    session_.setOutcomeObserver(
        [this](int kind, const kvops::Outcome& outcome) { requestEnded(kind, outcome); });
}

void ProfilePanel::setFileHook(FileHook hook) {
    fileHook() = std::move(hook);
}

kvprofile::Include ProfilePanel::include() const {
    return {includeStation_->isChecked(), includeCounters_->isChecked()};
}

void ProfilePanel::status(const QString& text) {
    status_.note(StatusLine::Source::Profile, text);
}

void ProfilePanel::problem(const QString& text) {
    status_.problem(StatusLine::Source::Profile, text);
}

std::optional<kvproto::CollectorSettings> ProfilePanel::fieldSettings(bool requireComplete) {
    kvproto::CollectorSettings settings;
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        if (!kvprofile::included(p, include())) continue;
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
        if (std::string problem = kvprofile::incompleteCommand(settings); !problem.empty()) {
            messages_.showMessage(problem);
            return std::nullopt;
        }
    }
    return settings;
}

QString ProfilePanel::chooseFile(bool save, bool report) {
    if (fileHook()) return fileHook()(save, lastFolder_);
    if (report) {
        const QString filter = pdfAvailable() ? QStringLiteral("Web page (*.html);;PDF (*.pdf)")
                                              : QStringLiteral("Web page (*.html)");
        return QFileDialog::getSaveFileName(window_, QStringLiteral("Save Report"), lastFolder_,
                                            filter);
    }
    const QString filter = QStringLiteral("Profiles (*.json);;All files (*)");
    return save ? QFileDialog::getSaveFileName(window_, QStringLiteral("Save Profile"), lastFolder_,
                                               filter)
                : QFileDialog::getOpenFileName(window_, QStringLiteral("Load Profile"), lastFolder_,
                                               filter);
}

void ProfilePanel::setLastFolder(const QString& folder) {
    if (folder == lastFolder_) return;
    lastFolder_ = folder;
    emit lastFolderChanged(folder);
}

std::string ProfilePanel::portName() const {
    const auto* ports = window_->findChild<QComboBox*>(QStringLiteral("SPREALCOM"));
    return ports ? QFile::encodeName(ports->currentText()).toStdString() : std::string();
}

void ProfilePanel::save() {
    const std::optional<kvproto::CollectorSettings> settings = fieldSettings(true);
    if (!settings) return;
    const QString file = chooseFile(true);
    if (file.isEmpty()) return;
    setLastFolder(QFileInfo(file).absolutePath());
    const kvprofile::Profile profile{kvprofile::utcNow(), portName(),
                                     std::string(kvprofile::kWindowTool), *settings};
    std::string error;
    if (!kvprofile::writeProfileFile(QFile::encodeName(file).toStdString(), profile, &error)) {
        messages_.showMessage(error);
        return;
    }
    status(QStringLiteral("Saved %1 settings to %2.").arg(settings->size()).arg(file));
}

void ProfilePanel::load() {
    const QString file = chooseFile(false);
    if (file.isEmpty()) return;
    setLastFolder(QFileInfo(file).absolutePath());
    kvprofile::ReadResult read = kvprofile::readProfileFile(QFile::encodeName(file).toStdString());
    if (!read.profile) {
        messages_.showMessage(read.error);
        return;
    }
    clearHighlights();
    int filled = 0, leftOut = 0;
    for (const auto& [p, value] : read.profile->settings.entries()) {
        if (!kvprofile::included(*p, include())) {
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
    loaded_ = std::move(read.profile);
    loadedFile_ = file;
    QString text = QStringLiteral("Loaded %1 settings from %2.").arg(filled).arg(file);
    if (leftOut > 0)
        text += QStringLiteral(" %1 left out (station address or counter bases not ticked).")
                    .arg(leftOut);
    status(text);
}

void ProfilePanel::writeAllOrCancel() {
    if (mode_ == Mode::Writing) {
        finishWriting(QStringLiteral("Write All cancelled after %1 of %2.")
                          .arg(run_->sent())
                          .arg(run_->total()));
        return;
    }
    if (busy()) return;
    const std::optional<kvproto::CollectorSettings> fields = fieldSettings(true);
    if (!fields) return;
    // With a profile loaded, what it holds; the other fields stay as they are.
    kvproto::CollectorSettings settings;
    for (const auto& [p, value] : fields->entries())
        if (!loaded_ || loaded_->settings.get(*p)) settings.set(*p, value);
    kvops::ApplyPlan plan = kvops::planApply(settings, include());
    // The frames as their Set buttons will build them: a field one cannot convert stops
    // Write All before anything is sent.
    for (const kvproto::SetCommand* command : plan.commands) {
        try {
            (void)kvproto::buildSetFrame(command->word, command->fieldSpan(), controls_);
        } catch (const kvproto::ConversionError& error) {
            messages_.showMessage(error.message());
            return;
        }
    }
    if (plan.commands.empty()) {
        status(QStringLiteral("Write All: no complete setting to write."));
        return;
    }
    clearHighlights();
    written_ = {};
    for (const kvproto::SetCommand* command : plan.commands)
        for (const kvproto::Parameter* p : command->parameterSpan())
            written_.set(*p, *settings.get(*p));
    mode_ = Mode::Writing;
    run_.emplace(std::move(plan));
    writeAll_->setText(QStringLiteral("Cancel"));
    sendNext();
}

void ProfilePanel::sendNext() {
    if (mode_ != Mode::Writing) return;
    const kvproto::SetCommand* command = run_->next();
    if (!command) {
        // Every frame is out: the collector's listing says what it now holds.
        tick_.stop();
        writeAll_->setText(QStringLiteral("Write All"));
        expected_ = written_;
        expectedWhere_ = QStringLiteral("written");
        startReading(Check::WriteAll);
        return;
    }
    status(QStringLiteral("Writing %1 of %2: %3 ...")
               .arg(run_->sent() + 1)
               .arg(run_->total())
               .arg(qs(command->word)));
    // A refused frame ends the run at once.
    session_.setButtonClick(command->button, run_->answerTime());
    armTick();
}

void ProfilePanel::armTick() {
    const std::optional<std::chrono::milliseconds> due = session_.deadline();
    if (mode_ != Mode::Writing || !due) {
        tick_.stop();
        return;
    }
    const auto wait = std::max<std::int64_t>(0, (*due - session_.now()).count());
    tick_.start(static_cast<int>(wait) + 1);
}

void ProfilePanel::requestEnded(int kind, const kvops::Outcome& outcome) {
    // Write All's read-back shows the collector after the writes: never the "before".
    const bool afterWriting = mode_ == Mode::Verifying && check_ == Check::WriteAll;
    if (kind == kvproto::kReadParameters && outcome.answered() && !before_ && !afterWriting) {
        before_ = kvops::readListing(outcome.reply).settings;
        beforeMs_ = kvsite::wallClockMs();
    }
    if (kind != kvproto::kReadParameters) verified_.reset();  // the collector may have changed
    if (mode_ == Mode::Writing) {
        const kvproto::SetCommand* command = run_->next();
        if (run_->record(outcome)) {
            const kvops::CommandAnswer& answer = run_->answers().back();
            emit commandAnswered(qs(answer.command->word) +
                                 (answer.answer ? QStringLiteral(" ") : QStringLiteral(": ")) +
                                 QString::fromLatin1(kvops::answerWords(answer)));
            // The next command once this answer has been shown.
            QTimer::singleShot(0, this, &ProfilePanel::sendNext);
            return;
        }
        const QString why = outcome.status == kvops::Status::NotSent
                                ? status_.messageOf(StatusLine::Source::Exchange)
                                : QString::fromStdString(kvops::describe(outcome.error));
        finishWriting(QStringLiteral("Write All stopped at %1 of %2 (%3): %4")
                          .arg(run_->sent() + 1)
                          .arg(run_->total())
                          .arg(command ? qs(command->word) : QString())
                          .arg(why),
                      true);
        return;
    }
    if (mode_ != Mode::Verifying || kind != kvproto::kReadParameters) return;
    if (outcome.answered()) {
        finishVerify(outcome.reply);
        return;
    }
    mode_ = Mode::Idle;
    if (check_ == Check::WriteAll) {
        problem(QStringLiteral("Write All: %1 settings sent, but the collector's listing could "
                               "not be read back: %2")
                    .arg(run_->total())
                    .arg(QString::fromStdString(kvops::describe(outcome.error))));
        return;
    }
    if (outcome.status == kvops::Status::TimedOut)
        problem(QStringLiteral("Verify: the collector did not answer.") +
                (reportFile_.isEmpty() ? QString() : QStringLiteral(" No report saved.")));
    reportFile_.clear();
}

void ProfilePanel::finishWriting(const QString& outcome, bool failed) {
    mode_ = Mode::Idle;
    check_ = Check::Verify;
    tick_.stop();
    if (run_) run_->stop();
    writeAll_->setText(QStringLiteral("Write All"));
    if (failed)
        problem(outcome);
    else
        status(outcome);
}

void ProfilePanel::verify() {
    if (busy()) return;
    if (loaded_) {
        expected_ = kvprofile::filtered(loaded_->settings, include());
        expectedWhere_ = QStringLiteral("in the profile");
    } else {
        const std::optional<kvproto::CollectorSettings> fields = fieldSettings(false);
        if (!fields) return;
        expected_ = *fields;
        expectedWhere_ = QStringLiteral("in the window");
    }
    clearHighlights();
    startReading(Check::Verify);
}

void ProfilePanel::startReading(Check check) {
    mode_ = Mode::Verifying;
    check_ = check;
    session_.readParametersClick(false);  // compare: the fields keep what they hold
    if (!session_.lastFrameSent()) {
        mode_ = Mode::Idle;
        if (check == Check::WriteAll)
            problem(QStringLiteral("Write All: %1 settings sent, but the listing could not be "
                                   "asked for: %2")
                        .arg(run_->total())
                        .arg(status_.messageOf(StatusLine::Source::Exchange)));
        return;
    }
    status(check == Check::Verify
               ? QStringLiteral("Verify: reading the collector's parameters ...")
               : QStringLiteral("Write All: %1 settings sent, reading them back ...")
                     .arg(run_->total()));
}

void ProfilePanel::portClosed() {
    if (mode_ == Mode::Writing) {
        finishWriting(QStringLiteral("Write All stopped after %1 of %2: the port closed.")
                          .arg(run_->sent())
                          .arg(run_->total()),
                      true);
    }
    check_ = Check::Verify;
    mode_ = Mode::Idle;
    before_.reset();
    verified_.reset();
    reportFile_.clear();
}

void ProfilePanel::finishVerify(const std::string& listing) {
    mode_ = Mode::Idle;
    const kvops::Listing reported = kvops::readListing(listing);
    const std::vector<kvproto::Difference> differences =
        kvops::compare(expected_, reported.settings);
    for (const kvproto::Difference& d : differences) {
        if (auto* field = window_->findChild<QWidget*>(qs(d.parameter->control))) {
            field->setStyleSheet(QLatin1StringView(kHighlight));
            highlighted_ << field->objectName();
        }
    }
    if (std::exchange(check_, Check::Verify) == Check::WriteAll) {
        std::size_t unanswered = 0;
        for (const kvops::CommandAnswer& answer : run_->answers())
            unanswered += answer.answer ? 0 : 1;
        const QString sent =
            QStringLiteral("%1 settings written").arg(run_->total()) +
            (unanswered > 0 ? QStringLiteral(" (%1 without an answer)").arg(unanswered)
                            : QString());
        if (differences.empty())
            status(QStringLiteral("Write All done: %1; the collector holds all %2 values.")
                       .arg(sent)
                       .arg(kvops::comparedCount(expected_)));
        else
            problem(QStringLiteral("Write All: %1, but the read-back differs: %2")
                        .arg(sent)
                        .arg(QString::fromStdString(kvproto::describeDifferences(
                            differences, expectedWhere_.toStdString()))));
        verified_.reset();
        return;
    }
    if (differences.empty()) {
        status(QStringLiteral("Verified: the collector holds all %1 values %2.")
                   .arg(kvops::comparedCount(expected_))
                   .arg(expectedWhere_));
    } else {
        problem(QString::fromStdString(
            kvproto::describeDifferences(differences, expectedWhere_.toStdString())));
    }

    kvsite::RowOutcome& row = verified_.emplace();
    row.result.port = portName();
    row.result.differences = differences;
    row.result.where = expectedWhere_.toStdString();
    row.profile =
        loaded_ ? QFileInfo(loadedFile_).fileName().toStdString() : "(the window's fields)";
    row.station = reported.settings.get("rs485.address").value_or("");
    row.planned = expected_;
    row.after = reported.settings;
    row.afterRead = true;
    row.beforeRead = before_.has_value();
    row.before = before_.value_or(kvproto::CollectorSettings{});
    row.startedMs = before_ ? beforeMs_ : kvsite::wallClockMs();
    row.finishedMs = kvsite::wallClockMs();
    if (!reportFile_.isEmpty()) saveReport();
}

void ProfilePanel::report() {
    if (busy()) return;
    const QString file = chooseFile(true, true);
    if (file.isEmpty()) return;
    setLastFolder(QFileInfo(file).absolutePath());
    reportFile_ = file;
    if (verified_) {
        saveReport();
        return;
    }
    verify();  // saves once the read-back is in
    if (mode_ != Mode::Verifying) reportFile_.clear();
}

void ProfilePanel::saveReport() {
    const QString file = std::exchange(reportFile_, QString());
    kvsite::Report sheet;
    sheet.site = verified_->result.port;
    sheet.toolVersion = KV_VERSION;
    sheet.startedMs = verified_->startedMs;
    sheet.finishedMs = verified_->finishedMs;
    sheet.rows.push_back(*verified_);
    const QString error = saveCollectorReport(sheet, file);
    if (!error.isEmpty()) {
        messages_.showMessage(error.toStdString());
        return;
    }
    const QString shown = status_.messageOf(StatusLine::Source::Profile) +
                          QStringLiteral(" Report saved to %1.").arg(file);
    if (verified_->result.differences.empty())
        status(shown);
    else
        problem(shown);
}

void ProfilePanel::clearHighlights() {
    for (const QString& name : highlighted_)
        if (auto* field = window_->findChild<QWidget*>(name)) field->setStyleSheet(QString());
    highlighted_.clear();
}

QStringList ProfilePanel::highlightedFields() const {
    return highlighted_;
}
