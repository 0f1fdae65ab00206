// QtTimer keeps the classic timer's semantics over QTimer; QtUserMessages routes modal
// messages to the hook and status texts to the status bar.
#include <gtest/gtest.h>

#include <QStatusBar>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "main1/adapters/QtTimer.h"
#include "main1/adapters/QtUserMessages.h"
#include "main1/adapters/StatusLine.h"

namespace {

using namespace std::chrono_literals;

constexpr int kLong = 60000;  // never fires during a test
constexpr auto kPause = 200ms;

// A running timer whose period has been running for at least kPause.
void startAndAge(QTimer& timer) {
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    timer.start(kLong);
    std::this_thread::sleep_for(kPause);
}

// Whether `change` restarted the running period of an aged timer, judged by its remaining
// time: without a restart it can only shrink; a restart (to an interval at least as long)
// makes it grow, unless the machine stalls for longer than kPause between two statements.
template <class Change>
bool restartsPeriod(QTimer& timer, Change change) {
    const int before = timer.remainingTime();
    change();
    return timer.remainingTime() > before;
}

TEST(QtTimerTest, EnablingARunningTimerKeepsItsPeriod) {
    QTimer timer;
    startAndAge(timer);
    const int id = timer.timerId();
    QtTimer adapter(&timer);
    ASSERT_TRUE(adapter.enabled());

    EXPECT_FALSE(restartsPeriod(timer, [&] { adapter.setEnabled(true); }));
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.timerId(), id);

    // The guard matters: QTimer::start on the same timer does restart the period.
    EXPECT_TRUE(restartsPeriod(timer, [&] { timer.start(); }));
}

TEST(QtTimerTest, EnableDisableAndIntervals) {
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(1000);
    QtTimer adapter(&timer);

    EXPECT_FALSE(adapter.enabled());
    EXPECT_EQ(adapter.interval(), 1000);
    adapter.setEnabled(false);  // stopping a stopped timer changes nothing
    EXPECT_FALSE(timer.isActive());

    adapter.setInterval(3000);  // a stopped timer stays stopped
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(timer.interval(), 3000);
    EXPECT_EQ(adapter.interval(), 3000);

    adapter.setEnabled(true);
    EXPECT_TRUE(adapter.enabled());
    EXPECT_EQ(timer.interval(), 3000);
    adapter.setEnabled(false);
    EXPECT_FALSE(timer.isActive());
    EXPECT_FALSE(adapter.enabled());
}

TEST(QtTimerTest, NewIntervalRestartsARunningPeriodTheSameOneDoesNot) {
    QTimer timer;
    startAndAge(timer);
    QtTimer adapter(&timer);

    EXPECT_FALSE(restartsPeriod(timer, [&] { adapter.setInterval(kLong); }));
    EXPECT_TRUE(restartsPeriod(timer, [&] { adapter.setInterval(kLong + 1000); }));
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(timer.interval(), kLong + 1000);
    EXPECT_EQ(adapter.interval(), kLong + 1000);
}

TEST(QtUserMessagesTest, ModalTextGoesToTheHookStatusToTheBar) {
    QStatusBar bar;
    StatusLine line(&bar, nullptr);
    QtUserMessages messages(nullptr, line);
    QStringList seen;
    QtUserMessages::setModalHook([&](const QString& text) { seen << text; });

    messages.showMessage("'12a' is not a valid integer value");
    messages.showMessage("Connection Timeout");
    messages.showMessage("caf\xE9");
    EXPECT_EQ(seen, (QStringList{QStringLiteral("'12a' is not a valid integer value"),
                                 QStringLiteral("Connection Timeout"),
                                 QString::fromUtf8("caf\xC3\xA9")}));

    messages.showStatus("Nothing was sent: the port is not open.");
    EXPECT_EQ(bar.currentMessage(), QStringLiteral("Nothing was sent: the port is not open."));
    messages.showStatus("");
    EXPECT_TRUE(bar.currentMessage().isEmpty());
    EXPECT_EQ(seen.size(), 3);  // status texts never reach the modal path
    QtUserMessages::setModalHook({});
}

// Which message the status line shows, step by step.
TEST(StatusLineTest, ProblemsStandNotesPassOverThem) {
    using Source = StatusLine::Source;
    enum class Do { Note, Problem, Withdraw, Wait };
    struct Step {
        Do what;
        Source source;
        const char* text;  // Note, Problem: the message
        const char* shown;
    };
    const Step steps[] = {
        {Do::Note, Source::Port, "Port open", "Port open"},
        {Do::Note, Source::Traffic, "Traffic saved", "Traffic saved"},  // newest note wins
        {Do::Problem, Source::Port, "Port stopped working", "Port stopped working"},
        {Do::Note, Source::Traffic, "Traffic saved again", "Traffic saved again"},
        {Do::Wait, Source::Port, nullptr, "Port stopped working"},         // the problem comes back
        {Do::Problem, Source::Reopen, "Adapter back", "Adapter back"},     // newest problem
        {Do::Withdraw, Source::Reopen, nullptr, "Port stopped working"},   // the older again
        {Do::Withdraw, Source::Traffic, nullptr, "Port stopped working"},  // had none
        {Do::Note, Source::Port, "Port closed", "Port closed"},            // its own news ends it
        {Do::Wait, Source::Port, nullptr, "Port closed"},                  // nothing stands
        {Do::Problem, Source::Exchange, "Not sent", "Not sent"},
        {Do::Withdraw, Source::Exchange, nullptr, ""},  // shown and withdrawn: cleared
        {Do::Problem, Source::Exchange, "Not sent", "Not sent"},
        {Do::Note, Source::Profile, "Loaded", "Loaded"},
        {Do::Withdraw, Source::Exchange, nullptr, "Loaded"},  // a note over it stays
        {Do::Wait, Source::Port, nullptr, "Loaded"},
        // Two problems stand under a note: the newest comes back, then the older.
        {Do::Problem, Source::Port, "Port stopped working", "Port stopped working"},
        {Do::Problem, Source::Reopen, "Adapter back", "Adapter back"},
        {Do::Note, Source::Traffic, "Traffic saved", "Traffic saved"},
        {Do::Wait, Source::Port, nullptr, "Adapter back"},
        {Do::Note, Source::Traffic, "Traffic saved again", "Traffic saved again"},
        {Do::Withdraw, Source::Reopen, nullptr, "Traffic saved again"},
        {Do::Wait, Source::Port, nullptr, "Port stopped working"},
        // A problem raised after a note ends the note's time: withdrawn, it gives way at once.
        {Do::Note, Source::Traffic, "Traffic saved", "Traffic saved"},
        {Do::Problem, Source::Reopen, "Adapter back", "Adapter back"},
        {Do::Withdraw, Source::Reopen, nullptr, "Port stopped working"},
    };
    QStatusBar bar;
    StatusLine line(&bar, nullptr, std::chrono::milliseconds(30));
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(index++);
        switch (step.what) {
            case Do::Note:
                line.note(step.source, QString::fromUtf8(step.text));
                break;
            case Do::Problem:
                line.problem(step.source, QString::fromUtf8(step.text));
                break;
            case Do::Withdraw:
                line.withdraw(step.source);
                break;
            case Do::Wait:  // past the note's time, however loaded the machine
                QTest::qWait(80);
                (void)QTest::qWaitFor([&] { return line.text().toStdString() == step.shown; },
                                      2000);
                break;
        }
        EXPECT_EQ(line.text().toStdString(), step.shown);
    }
    EXPECT_EQ(line.messageOf(Source::Profile), QStringLiteral("Loaded"));
    EXPECT_TRUE(line.messageOf(Source::Exchange).isEmpty());
}

}  // namespace
