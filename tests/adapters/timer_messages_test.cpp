// QtTimer keeps the classic timer's semantics over QTimer; QtUserMessages routes modal
// messages to the hook and status texts to the status bar.
#include <gtest/gtest.h>

#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <thread>

#include "main1/adapters/QtTimer.h"
#include "main1/adapters/QtUserMessages.h"

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
    QtUserMessages messages(nullptr, &bar);
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
    QtUserMessages noBar(nullptr, nullptr);
    noBar.showStatus("ignored without a status bar");
}

}  // namespace
