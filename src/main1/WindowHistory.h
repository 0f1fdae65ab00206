// The window's history: the journal that keeps every listing and write of the window's line
// (kvhistory::ThreadedJournal over the user's database, ops/LineHistory.h says what is
// recorded when), the Profile group's History... and Undo last write buttons, and the
// History dialog (HistoryDialog.h) they open.
//
// Where the history is kept: the file --history names, none with --no-history, otherwise as
// the History dialog last chose ("Keep history", "History File..."; remembered), by default
// kvhistory::defaultPath(). The database is opened on a thread of its own at start; a choice
// changed in the dialog takes effect when the port is next opened. A history that cannot be
// opened (a newer schema, no access, not a database) is said once on the status line
// ("History is off: ...") and the window works on without it.
//
// Undo last write restores the state before the last write made through the line to its
// port (LineHistory::undoPoint) after asking (the values it changes back, taken from the last
// listing), through ProfileSession::restore, and says the verified result on the status line.
// It is enabled only while there is such a state, the port is open and the Profile group is
// not busy; its tool tip says why not.
//
// Main thread only. The GUI thread never waits on the database: reads go through
// ThreadedJournal::query() and their results come back as queued calls.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <thread>

#include "history/Store.h"
#include "history/ThreadedJournal.h"

class HistoryDialog;
class ProfilePanel;
class QPushButton;
class RememberedSettings;
class StatusLine;
class QWidget;
namespace kvops {
class Line;
}
namespace kvpresenter {
class Controls;
}

class WindowHistory : public QObject {
    Q_OBJECT
public:
    // The command line's choice for this run.
    struct Choice {
        enum class Kind { Remembered, File, Off };
        Kind kind = Kind::Remembered;
        QString file;  // Kind::File
    };

    WindowHistory(QWidget* window, kvops::Line& line, ProfilePanel& profile,
                  kvpresenter::Controls& controls, StatusLine& status, RememberedSettings& settings,
                  Choice choice, std::function<bool()> portOpen);
    ~WindowHistory() override;

    // Tests answer the questions (Undo's and Restore's confirmation) through this hook: it
    // gets the question and answers yes (true) or no. An empty hook restores the message box.
    using QuestionHook = std::function<bool(const QString& question)>;
    static void setQuestionHook(QuestionHook hook);
    bool ask(const QString& question);

    // The journal in use; none while the database opens, when history is off or could not
    // be opened.
    kvhistory::ThreadedJournal* journal() { return journal_.get(); }
    // The database the journal keeps (native path), "" when none.
    const QString& file() const { return file_; }
    // "" while history is on or opening, else why it is off.
    const QString& offReason() const { return offReason_; }

    // Runs `work` on the journal's thread and `then` with its result here, on the main thread,
    // while this is alive. False (nothing runs) when there is no journal.
    template <class Result>
    bool read(std::function<Result(kvhistory::Store&)> work, std::function<void(Result)> then) {
        if (!journal_) return false;
        journal_->query(
            [this, work = std::move(work), then = std::move(then)](kvhistory::Store& store) {
                auto result = std::make_shared<Result>(work(store));
                QMetaObject::invokeMethod(
                    this, [then, result] { then(std::move(*result)); }, Qt::QueuedConnection);
            });
        return true;
    }

    // The History dialog's choices, remembered; they take effect at the next open of the
    // port (at once while the port is closed).
    bool keepHistory() const;
    void setKeepHistory(bool keep);
    QString chosenFile() const;
    void setChosenFile(const QString& file);

    // The port is about to be opened; it opened or closed.
    void portOpening();
    void portChanged() { refresh(); }

    void showDialog();
    void undo();
    // Buttons and dialog follow the line's undo point, the port and the Profile group.
    void refresh();

    HistoryDialog* dialog() { return dialog_.get(); }

private:
    void open();
    void opened(std::unique_ptr<kvhistory::Store> store, const kvops::Error& error,
                const QString& file);

    QWidget* window_;
    kvops::Line& line_;
    ProfilePanel& profile_;
    kvpresenter::Controls& controls_;
    StatusLine& status_;
    RememberedSettings& settings_;
    Choice choice_;
    std::function<bool()> portOpen_;
    QPushButton* historyButton_;
    QPushButton* undoButton_;
    std::unique_ptr<HistoryDialog> dialog_;
    std::unique_ptr<kvhistory::ThreadedJournal> journal_;
    std::thread opener_;      // opens the database
    bool reopenDue_ = false;  // the remembered choice changed: reopen at the next port open
    QString file_;
    QString offReason_;
    // The undo point the buttons and the list were last refreshed for.
};
