// The window's status line: every message the window shows there is written through here.
//
// Which message shows:
//  - Each part of the window (a source) has at most one message; its newest replaces its
//    earlier one.
//  - A problem stands until its source replaces or withdraws it. Of several standing problems
//    the newest shows; when it goes, the one before it shows again.
//  - A note (news that needs nothing from the technician) shows at once. Over a standing
//    problem it shows for kNoteOverProblem, then the problem shows again, so a routine note
//    never hides a port that stopped working.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <vector>

class QStatusBar;

class StatusLine : public QObject {
public:
    enum class Source { Port, Exchange, Profile, Reopen, Traffic, Find, Start, History };
    static constexpr std::chrono::milliseconds kNoteOverProblem{8000};

    StatusLine(QStatusBar* bar, QObject* parent,
               std::chrono::milliseconds noteOverProblem = kNoteOverProblem);

    void note(Source source, const QString& text);
    void problem(Source source, const QString& text);
    // The source's standing problem is over (its note, if showing, stays).
    void withdraw(Source source);

    // What the line shows now, and the source's own last message (empty when withdrawn).
    QString text() const;
    QString messageOf(Source source) const;

private:
    struct Message {
        Source source;
        QString text;
    };
    void forget(Source source);
    void show(const QString& text);
    void showStandingProblem();

    QStatusBar* bar_;
    std::vector<Message> problems_;  // standing, oldest first
    std::vector<Message> notes_;     // each source's last note
    QTimer backToProblem_;
};
