#include "main1/WindowHistory.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

#include "history/Paths.h"
#include "main1/HistoryDialog.h"
#include "main1/ProfilePanel.h"
#include "main1/RememberedSettings.h"
#include "main1/adapters/StatusLine.h"
#include "ops/Line.h"
#include "presenter/HistorySession.h"

namespace {

WindowHistory::QuestionHook& questionHook() {
    static WindowHistory::QuestionHook hook;
    return hook;
}

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString localTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().toString(
        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

WindowHistory::WindowHistory(QWidget* window, kvops::Line& line, ProfilePanel& profile,
                             kvpresenter::Controls& controls, StatusLine& status,
                             RememberedSettings& settings, Choice choice,
                             std::function<bool()> portOpen)
    : QObject(window),  // found by type among the window's parts; deleted by the window first
      window_(window),
      line_(line),
      profile_(profile),
      controls_(controls),
      status_(status),
      settings_(settings),
      choice_(std::move(choice)),
      portOpen_(std::move(portOpen)),
      historyButton_(new QPushButton(QStringLiteral("History..."), window)),
      undoButton_(new QPushButton(QStringLiteral("Undo last write"), window)) {
    historyButton_->setObjectName(QStringLiteral("ProfileHistory"));
    historyButton_->setToolTip(
        QStringLiteral("What was read from and written to this collector; restore an earlier "
                       "state"));
    undoButton_->setObjectName(QStringLiteral("ProfileUndo"));
    // Below the Profile group's Report... and Site...
    if (auto* group = window->findChild<QWidget*>(QStringLiteral("GroupBoxProfile"))) {
        if (auto* grid = qobject_cast<QGridLayout*>(group->layout())) {
            const int row = grid->rowCount();
            grid->addWidget(historyButton_, row, 0);
            grid->addWidget(undoButton_, row, 1);
        }
    }
    connect(historyButton_, &QPushButton::clicked, this, &WindowHistory::showDialog);
    connect(undoButton_, &QPushButton::clicked, this, &WindowHistory::undo);
    // The buttons and the dialog's list follow what the line records, once the event that
    // told it is over.
    line_.history().setChangeListener([this](bool recorded) {
        QTimer::singleShot(0, this, [this, recorded] {
            refresh();
            if (recorded && dialog_) dialog_->writeEnded();
        });
    });
    open();
    refresh();
}

WindowHistory::~WindowHistory() {
    if (opener_.joinable()) opener_.join();
    line_.history().setChangeListener({});
    line_.history().setJournal(nullptr, {});
    journal_.reset();  // finishes what is queued; its calls back die with this object
    dialog_.reset();
}

void WindowHistory::setQuestionHook(QuestionHook hook) {
    questionHook() = std::move(hook);
}

bool WindowHistory::ask(const QString& question) {
    if (auto hook = questionHook()) return hook(question);
    return QMessageBox::question(
               QApplication::activeWindow() ? QApplication::activeWindow() : window_,
               QGuiApplication::applicationDisplayName(), question) == QMessageBox::Yes;
}

bool WindowHistory::keepHistory() const {
    return !settings_.historyOff();
}

void WindowHistory::setKeepHistory(bool keep) {
    if (keep == keepHistory()) return;
    settings_.setHistoryOff(!keep);
    reopenDue_ = true;
    if (!portOpen_()) portOpening();
}

QString WindowHistory::chosenFile() const {
    return settings_.historyFile();
}

void WindowHistory::setChosenFile(const QString& file) {
    if (file == chosenFile()) return;
    settings_.setHistoryFile(file);
    reopenDue_ = true;
    if (!portOpen_()) portOpening();
}

void WindowHistory::portOpening() {
    if (!std::exchange(reopenDue_, false)) return;
    // The command line's choice holds for the whole run.
    if (choice_.kind != Choice::Kind::Remembered) return;
    line_.history().setJournal(nullptr, {});
    journal_.reset();
    open();
}

void WindowHistory::open() {
    QString file;
    offReason_.clear();
    switch (choice_.kind) {
        case Choice::Kind::Off:
            offReason_ = QStringLiteral("--no-history was given");
            break;
        case Choice::Kind::File:
            file = choice_.file;
            break;
        case Choice::Kind::Remembered:
            if (settings_.historyOff())
                offReason_ = QStringLiteral("\"Keep history\" is off");
            else if (file = settings_.historyFile(); file.isEmpty())
                file = QString::fromStdString(kvhistory::defaultPath());
            if (file.isEmpty() && offReason_.isEmpty())
                offReason_ = QStringLiteral("no folder for it is known (no HOME)");
            break;
    }
    file_.clear();
    if (file.isEmpty()) {
        if (dialog_) dialog_->historyChanged();
        return;
    }
    if (opener_.joinable()) opener_.join();
    // Opening may wait for another program's write or upgrade the schema: not on this thread.
    opener_ = std::thread([this, file, path = QFile::encodeName(file).toStdString()] {
        kvops::Error error;
        // Shared: a queued call's functor is copied; the store itself stays one.
        auto store = std::make_shared<std::unique_ptr<kvhistory::Store>>(
            kvhistory::Store::open(path, error));
        QMetaObject::invokeMethod(
            this, [this, store, error, file] { opened(std::move(*store), error, file); },
            Qt::QueuedConnection);
    });
}

void WindowHistory::opened(std::unique_ptr<kvhistory::Store> store, const kvops::Error& error,
                           const QString& file) {
    if (!store) {
        offReason_ = utf8(error.text);
        status_.problem(StatusLine::Source::History,
                        QStringLiteral("History is off: %1").arg(offReason_));
    } else {
        file_ = file;
        journal_ = std::make_unique<kvhistory::ThreadedJournal>(
            std::move(store), [this](std::function<void()> done) {
                QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
            });
        line_.history().setJournal(journal_.get(),
                                   {kvops::accountName(), "kv480t-config " KV_VERSION});
    }
    if (dialog_) dialog_->historyChanged();
}

void WindowHistory::showDialog() {
    if (!dialog_) {
        dialog_ =
            std::make_unique<HistoryDialog>(window_, *this, line_, profile_, controls_, portOpen_);
    }
    dialog_->start();
}

void WindowHistory::refresh() {
    const auto& point = line_.history().undoPoint();
    const bool busy = profile_.busy();
    QString why;
    if (!point)
        why = QStringLiteral("No write was made through this port since it was opened");
    else if (!point->state)
        why = QStringLiteral("Cannot undo: no listing was read before the last write");
    else if (!portOpen_())
        why = QStringLiteral("Open the port to undo the last write");
    else if (busy)
        why = QStringLiteral("The Profile group is busy");
    undoButton_->setEnabled(why.isEmpty());
    undoButton_->setToolTip(why.isEmpty()
                                ? QStringLiteral("Restore what the collector held before %1 of %2")
                                      .arg(utf8(point->what), localTime(point->timeMs))
                                : why);
    if (dialog_) dialog_->updateButtons();
}

void WindowHistory::undo() {
    refresh();
    if (!undoButton_->isEnabled()) return;
    const kvops::LineHistory::UndoPoint point = *line_.history().undoPoint();
    const kvproto::Include include{true, point.counters};
    const auto& held = line_.history().lastListing();
    const std::vector<kvproto::Difference> changes =
        kvpresenter::restoreChanges(*point.state, include, held);
    const QString what = utf8(point.what), when = localTime(point.timeMs);
    const QString question =
        (held ? QStringLiteral("Undo %1 of %2: restore the %3 values it changed?")
                    .arg(what, when)
                    .arg(changes.size())
              : QStringLiteral("Undo %1 of %2: restore the values it changed?").arg(what, when)) +
        QStringLiteral("\n\n") + utf8(kvpresenter::describeChanges(changes, held.has_value())) +
        QStringLiteral("\n\nWhat differs is written, then read back and compared.");
    if (!ask(question)) return;
    const bool started = profile_.session().restore(
        *point.state, include, "Undo",
        [this, what, when](const kvpresenter::WriteOutcome& outcome) {
            const kvpresenter::RestoreWords words = kvpresenter::restoreResult(
                outcome, "Undo", QStringLiteral("Undone: %1 of %2").arg(what, when).toStdString());
            if (words.problem)
                status_.problem(StatusLine::Source::History, utf8(words.text));
            else
                status_.note(StatusLine::Source::History, utf8(words.text));
            refresh();
        });
    if (!started)
        status_.problem(StatusLine::Source::History,
                        QStringLiteral("Undo: the Profile group is busy; nothing was sent"));
    refresh();
}
