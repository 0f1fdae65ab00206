// The window talking to a collector stand-in: Comm1 opens the slave side of a pseudo-terminal
// that the test holds, every frame the buttons send is read back from the master side, and
// replies written by the test travel through Comm1 into the window.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "PtyPair.h"
#include "WindowFixture.h"
#include "presenter/DeviceSession.h"

namespace {

// The collector's end of the line, as the tests drive it.
using Pty = kvtest::PtyPair;

QString slavePath(const Pty& pty) {
    return QString::fromStdString(pty.path());
}

class PortPanelTest : public kvtest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available";
    }
    // Types a port name or device path into SPREALCOM as a user would.
    void typePort(const QString& path) {
        auto* ports = w<QComboBox>("SPREALCOM");
        ports->lineEdit()->selectAll();
        QTest::keyClick(ports->lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(ports->lineEdit(), path);
        ASSERT_EQ(ports->currentText(), path);
    }
    void openPty() {
        typePort(slavePath(pty));
        clickPortButton();
        ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    }
    // The pseudo-terminal's line as the open port set it.
    bool lineIs9600WithoutFlowControl() {
        const termios line = pty.PortTermios();
        return cfgetospeed(&line) == B9600 && cfgetispeed(&line) == B9600 &&
               (line.c_iflag & (IXON | IXOFF)) == 0 && (line.c_cflag & CRTSCTS) == 0;
    }
    void type(const char* field, const QString& text) {
        auto* edit = w<QLineEdit>(field);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    Pty pty;
};

TEST_F(PortPanelTest, OpenAndCloseFollowTheButton) {
    openPty();
    EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Close"));
    EXPECT_TRUE(w<QPushButton>("Button14")->isEnabled());
    EXPECT_TRUE(w<QPushButton>("Button19")->isEnabled());
    EXPECT_EQ(status(), QStringLiteral("Port %1 open, 9600 baud 8N1.").arg(slavePath(pty)));
    EXPECT_TRUE(lineIs9600WithoutFlowControl());  // no flow control on the PC side
    // F2 opens and closes whatever the caption says.
    EXPECT_EQ(w<QPushButton>("Button10")->shortcut(), QKeySequence(Qt::Key_F2));

    clickPortButton();
    EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Open"));
    EXPECT_EQ(status(), QStringLiteral("Port closed."));
    EXPECT_FALSE(w<QPushButton>("Button14")->isEnabled());
    EXPECT_FALSE(w<QPushButton>("Button19")->isEnabled());

    clickPortButton();  // and open again
    EXPECT_TRUE(portOpen());
    EXPECT_TRUE(w<QPushButton>("Button14")->isEnabled());
    EXPECT_TRUE(modalMessages.isEmpty());
}

TEST_F(PortPanelTest, FailedOpenIsReportedAndLeavesThePanelReadyToOpen) {
    for (bool buttonsEnabled : {true, false}) {
        SCOPED_TRACE(buttonsEnabled);
        modalMessages.clear();
        w<QPushButton>("Button14")->setEnabled(buttonsEnabled);
        w<QPushButton>("Button19")->setEnabled(buttonsEnabled);
        typePort(QStringLiteral("/dev/nonexistent-port"));
        clickPortButton();
        EXPECT_EQ(modalMessages, QStringList{QStringLiteral("Error opening serial port")});
        EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Open"));
        EXPECT_EQ(w<QPushButton>("Button14")->isEnabled(), buttonsEnabled);
        EXPECT_EQ(w<QPushButton>("Button19")->isEnabled(), buttonsEnabled);
    }
    openPty();  // the next click opens
    EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Close"));
}

// The box keeps to the component's message; the status line adds the port and the system's
// reason, and for a permission error the dialout hint.
TEST_F(PortPanelTest, FailedOpenStatusLineGivesTheSystemsReason) {
    typePort(QStringLiteral("/dev/nonexistent-port"));
    clickPortButton();
    EXPECT_EQ(modalMessages, QStringList{QStringLiteral("Error opening serial port")});
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Error opening serial port (/dev/nonexistent-port): No such file or "
                             "directory."));

    // A port the user may not open: a terminal closed to everyone for an ordinary user; root
    // passes any mode, so the click runs as "nobody" then.
    modalMessages.clear();
    typePort(slavePath(pty));
    const QByteArray path = QFile::encodeName(slavePath(pty));
    ASSERT_EQ(::chmod(path.constData(), ::geteuid() == 0 ? 0600 : 0), 0);
    {
        struct Unprivileged {
            bool dropped = ::geteuid() == 0 && ::seteuid(65534) == 0;
            ~Unprivileged() {
                if (dropped) {
                    EXPECT_EQ(::seteuid(0), 0);
                }
            }
        } user;
        ASSERT_NE(::geteuid(), 0u);
        clickPortButton();
    }
    ::chmod(path.constData(), 0620);
    EXPECT_EQ(modalMessages, QStringList{QStringLiteral("Error opening serial port")});
    EXPECT_FALSE(portOpen());
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Error opening serial port (%1): Permission denied. The user needs "
                             "to be in the dialout group to use serial ports (sudo usermod -aG "
                             "dialout $USER, then log in again).")
                  .arg(slavePath(pty)));

    openPty();  // and with access it opens
    EXPECT_TRUE(window->statusBar()->currentMessage().contains(QStringLiteral("open")));
}

TEST_F(PortPanelTest, RefusedFrameIsShownAndReportedAsNotSent) {
    click("Button124");  // port not open
    EXPECT_EQ(w<QLineEdit>("discomm")->text(), QStringLiteral("PPPPPP#STATUS#"));
    EXPECT_EQ(window->statusBar()->currentMessage().toStdString(),
              std::string(kvpresenter::kNotSentStatus));
    EXPECT_TRUE(modalMessages.isEmpty());

    openPty();
    click("Button124");
    EXPECT_EQ(pty.readText(14), "PPPPPP#STATUS#");
    // Sent: the reason is withdrawn and does not come back.
    EXPECT_EQ(status(), QStringLiteral("Port %1 open, 9600 baud 8N1.").arg(slavePath(pty)));
    QTest::qWait(100);
    EXPECT_NE(status().toStdString(), std::string(kvpresenter::kNotSentStatus));
}

struct FrameRow {
    const char* button;
    std::vector<std::pair<const char*, QString>> typed;  // fields typed into first
    int listIndex;                                       // for `list`, when set
    const char* list;
    std::string frame;
};

// One button of every set-command family and each query button.
const std::vector<FrameRow>& frameRows() {
    static const std::vector<FrameRow> rows = {
        {"Button188", {}, -1, nullptr, "KORVEL#AR485X:3,0#"},
        {"Button4", {{"Station", "7"}}, -1, nullptr, "KORVEL#ST:007#"},
        {"Button46", {}, 1, "DIN1", "KORVEL#DI01:1#"},
        {"Button15", {}, 3, "PUDLING", "KORVEL#PUDL:3#"},
        {"Button8", {}, -1, nullptr, "KORVEL#MTM:005#"},
        {"Button52", {{"PUSET1", "1234"}}, -1, nullptr, "KORVEL#LP1:00001234#"},
        {"AD1SET",
         {{"AD1H", "1234.5"}, {"AD1L", "-10"}, {"AD1LD", "0"}},
         -1,
         nullptr,
         "KORVEL#AIN1:1234.5,-10,0#"},
        {"Button86", {{"AD2XISHU", "1.05"}}, -1, nullptr, "KORVEL#AXS2:1.05#"},
        {"PButton52", {{"PUSET3", "7"}}, -1, nullptr, "KORVEL#LPN:00000007#"},
        {"Button3", {{"PUSET1XIAO", "50"}}, -1, nullptr, "KORVEL#LPF:50#"},
        {"Button7", {}, 2, "ComboBox1", "KORVEL#MDL:2#"},
        {"Button6", {{"Edit2", "20"}}, -1, nullptr, "KORVEL#MKT:020#"},
        {"Button5", {{"Edit1", "0.050"}}, -1, nullptr, "KORVEL#ZOM:0.050#"},
        {"Button12", {}, -1, nullptr, "KORVEL#BR485X:-1#"},
        {"Button32", {}, -1, nullptr, "PPPPPP#CHEACK1#"},
        {"Button14", {}, -1, nullptr, "PPPPPP#VAR#"},
        {"Button124", {}, -1, nullptr, "PPPPPP#STATUS#"},
        {"Button19", {}, -1, nullptr, "KORVEL#RESET#"},
    };
    return rows;
}

TEST_F(PortPanelTest, EachButtonWritesExactlyItsFrame) {
    openPty();
    for (const FrameRow& row : frameRows()) {
        SCOPED_TRACE(row.button);
        for (const auto& [field, text] : row.typed) type(field, text);
        if (row.list) w<QComboBox>(row.list)->setCurrentIndex(row.listIndex);
        click(row.button);
        EXPECT_EQ(pty.readText(row.frame.size()), row.frame);
        EXPECT_EQ(w<QLineEdit>("discomm")->text().toStdString(), row.frame);
    }
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

TEST_F(PortPanelTest, InvalidNumberStopsTheRequestWithItsMessage) {
    openPty();
    click("Button52");  // PUSET1 is empty at start
    EXPECT_EQ(modalMessages, QStringList{QStringLiteral("'' is not a valid integer value")});
    EXPECT_EQ(pty.readNothingFor(500), "");
    EXPECT_TRUE(w<QLineEdit>("discomm")->text().isEmpty());
}

TEST_F(PortPanelTest, ReadParametersReplyFillsEveryFieldAndList) {
    openPty();
    click("Button32");
    ASSERT_EQ(pty.readText(15), "PPPPPP#CHEACK1#");
    const std::string reply =
        "TC1:123#ZOM:0.050#MDL:2#MKT:020#"
        "AIN1:001234,000100,00050#AIN2:002000,-00010,00001#"
        "AIN3:000300,000030,00003#AIN4:004000,000400,-0004#"
        "AXS1:1.05#AXS2:0.98#AXS3:1.10#AXS4:2.00#"
        "DI01:1,1#ARS485X:4,2#BRS485X:2#MTM:007#PUDL:3#";
    EXPECT_TRUE(timer("Timer3").isActive());  // waiting for the listing
    pty.writeText(reply);
    ASSERT_TRUE(kvtest::waitUntil(
        [&] { return idle() && w<QLineEdit>("Station")->text() == QStringLiteral("123"); }));

    const std::pair<const char*, const char*> texts[] = {
        {"Station", "123"},   {"Edit1", "0.050"},   {"Edit2", "020"},     {"AD1H", "001234"},
        {"AD1L", "000100"},   {"AD1LD", "00050"},   {"AD2H", "002000"},   {"AD2L", "-00010"},
        {"AD2LD", "00001"},   {"AD3H", "000300"},   {"AD3L", "000030"},   {"AD3LD", "00003"},
        {"AD4H", "004000"},   {"AD4L", "000400"},   {"AD4LD", "-0004"},   {"AD1XISHU", "1.05"},
        {"AD2XISHU", "0.98"}, {"AD3XISHU", "1.10"}, {"AD4XISHU", "2.00"}, {"Edit3", "007"},
    };
    for (const auto& [field, text] : texts)
        EXPECT_EQ(w<QLineEdit>(field)->text(), QString::fromLatin1(text)) << field;
    const std::pair<const char*, int> lists[] = {
        {"ComboBox1", 2}, {"DIN1", 1},     {"DIN2", 1},    {"MR485BT", 4},
        {"MR485JN", 2},   {"BRS485NX", 2}, {"PUDLING", 3},
    };
    for (const auto& [list, index] : lists)
        EXPECT_EQ(w<QComboBox>(list)->currentIndex(), index) << list;
    EXPECT_EQ(w<QPlainTextEdit>("Memo8")->toPlainText().toStdString(), reply);
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

TEST_F(PortPanelTest, ResetReplyIsShownAndReturnsToIdle) {
    openPty();
    click("Button19");
    ASSERT_EQ(pty.readText(13), "KORVEL#RESET#");
    pty.writeText("RESET OK");
    ASSERT_TRUE(kvtest::waitUntil([&] { return memo() == "RESET OK"; }));
    ASSERT_TRUE(kvtest::waitUntil([&] { return idle(); }));
    EXPECT_EQ(memo(), "RESET OK");
}

}  // namespace

namespace {

struct TimeoutRow {
    const char* button;
    std::string frame;
    QString message;
};

// A collector that stays silent: the query's time-out reports it once Timer3 runs out.
TEST_F(PortPanelTest, SilentCollectorReportsTheQueryTimeout) {
    openPty();
    const TimeoutRow rows[] = {
        {"Button32", "PPPPPP#CHEACK1#", QStringLiteral("Parameter Query Timeout!")},
        {"Button14", "PPPPPP#VAR#", QStringLiteral("Connection Timeout")},
    };
    for (const TimeoutRow& row : rows) {
        SCOPED_TRACE(row.button);
        modalMessages.clear();
        click(row.button);
        EXPECT_EQ(pty.readText(row.frame.size()), row.frame);
        EXPECT_TRUE(timer("Timer3").isActive());
        EXPECT_TRUE(kvtest::waitUntil([&] { return !modalMessages.isEmpty(); }));
        EXPECT_EQ(modalMessages, QStringList{row.message});
        EXPECT_FALSE(timer("Timer3").isActive());
    }
}

TEST_F(PortPanelTest, AnswerStopsTheTimeout) {
    openPty();
    click("Button14");
    ASSERT_EQ(pty.readText(11), "PPPPPP#VAR#");
    pty.writeText("VAR:OK");
    ASSERT_TRUE(kvtest::waitUntil(
        [&] { return w<QPlainTextEdit>("Memo8")->toPlainText() == QStringLiteral("VAR:OK"); }));
    EXPECT_FALSE(timer("Timer3").isActive());
    QTest::qWait(1200);  // longer than Timer3's period: no message may come late
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

// Another port chosen while open takes effect only after Close and Open.
TEST_F(PortPanelTest, PortChosenWhileOpenIsUsedAtTheNextOpen) {
    openPty();
    typePort(QStringLiteral("/dev/nonexistent-port"));
    click("Button14");  // still the open port's
    EXPECT_EQ(pty.readText(11), "PPPPPP#VAR#");
    clickPortButton();  // close
    clickPortButton();  // open the newly chosen port
    EXPECT_EQ(modalMessages, QStringList{QStringLiteral("Error opening serial port")});
    EXPECT_TRUE(status().contains(QStringLiteral("(/dev/nonexistent-port)")))
        << status().toStdString();
}

}  // namespace

namespace {

// Dropping the list down refreshes it; the fixed items and a typed device path survive.
TEST_F(PortPanelTest, DropDownRefreshKeepsFixedItemsAndTypedPath) {
    auto* ports = w<QComboBox>("SPREALCOM");
    ports->addItem(QStringLiteral("/dev/gone-since-last-refresh"));
    typePort(slavePath(pty));
    ports->showPopup();
    ports->hidePopup();
    ASSERT_GE(ports->count(), 19);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(ports->itemText(i), QStringLiteral("COM%1").arg(i + 1));
    EXPECT_EQ(ports->findText(QStringLiteral("/dev/gone-since-last-refresh")), -1);
    EXPECT_EQ(ports->currentText(), slavePath(pty));
    clickPortButton();
    EXPECT_TRUE(portOpen());
}

}  // namespace

namespace {

TEST_F(PortPanelTest, HangUpIsReportedOnceAndThePanelRecovers) {
    openPty();
    EXPECT_TRUE(window->statusBar()->currentMessage().contains(QStringLiteral("open")));
    QStringList shown;
    QObject::connect(window->statusBar(), &QStatusBar::messageChanged,
                     [&](const QString& text) { shown << text; });
    pty.CloseMaster();
    auto hangUps = [&] { return shown.filter(QStringLiteral("stopped working")).size(); };
    ASSERT_TRUE(kvtest::waitUntil([&] { return hangUps() > 0; }));
    kvtest::waitUntil([] { return false; }, 300);  // both workers have had their say
    EXPECT_EQ(hangUps(), 1);
    EXPECT_TRUE(modalMessages.isEmpty());

    clickPortButton();  // Close works on a hung-up port and the window goes on
    EXPECT_FALSE(portOpen());
    EXPECT_EQ(window->statusBar()->currentMessage(), QStringLiteral("Port closed."));
    click("Button32");
    EXPECT_EQ(w<QLineEdit>("discomm")->text(), QStringLiteral("PPPPPP#CHEACK1#"));
}

}  // namespace

namespace {

// Opening a network port whose server takes the connection and never confirms the line
// settings: the window goes on answering meanwhile, and the open can be given up.
class OpeningTest : public PortPanelTest {
protected:
    QString url() const { return QString::fromStdString(gateway.url()); }
    // "Open" on the silent server's port, and the wait until its greeting came.
    void startOpen() {
        window->addPort(url(), true);
        click("Button10");
        ASSERT_TRUE(kvtest::waitUntil([this] { return gateway.greeted.load(); }));
    }
    QString caption() { return w<QPushButton>("Button10")->text(); }

    kvtest::SilentGateway gateway;
};

TEST_F(OpeningTest, EventLoopTurnsWhileANetworkPortOpens) {
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> ticks;
    QTimer ticker;
    ticker.setInterval(50);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticks.push_back(clock.elapsed()); });
    ticker.start();
    w<QPushButton>("Button14")->setEnabled(true);
    w<QPushButton>("Button19")->setEnabled(false);

    const qint64 clicked = clock.elapsed();
    window->addPort(url(), true);
    click("Button10");
    EXPECT_EQ(caption(), QStringLiteral("Cancel"));
    EXPECT_EQ(status(), QStringLiteral("Connecting to %1 ...").arg(url()));
    EXPECT_FALSE(w<QPushButton>("Button14")->isEnabled());
    EXPECT_FALSE(w<QPushButton>("Button19")->isEnabled());
    // A second of the open waiting for the server's answer.
    bool cancelShown = true;
    kvtest::waitUntil(
        [&] {
            cancelShown = cancelShown && caption() == QStringLiteral("Cancel");
            return clock.elapsed() - clicked >= 1000;
        },
        3000);
    const qint64 ended = clock.elapsed();
    EXPECT_TRUE(gateway.greeted);
    EXPECT_TRUE(cancelShown);
    qint64 last = clicked, longestGap = 0;
    int during = 0;
    for (const qint64 tick : ticks) {
        if (tick <= clicked || tick > ended) continue;
        longestGap = std::max(longestGap, tick - last);
        last = tick;
        ++during;
    }
    longestGap = std::max(longestGap, ended - last);
    EXPECT_GE(during, 10);
    EXPECT_LE(longestGap, 200);

    // The server's silence then fails the open as any failed open is reported.
    ASSERT_TRUE(kvtest::waitUntil([&] { return caption() != QStringLiteral("Cancel"); }, 10000));
    EXPECT_EQ(caption(), QStringLiteral("Open"));
    EXPECT_EQ(modalMessages, QStringList{QStringLiteral("Cannot apply line settings")});
    EXPECT_TRUE(status().startsWith(QStringLiteral("Cannot apply line settings (%1)").arg(url())))
        << status().toStdString();
    EXPECT_TRUE(w<QPushButton>("Button14")->isEnabled());  // given back what it had
    EXPECT_FALSE(w<QPushButton>("Button19")->isEnabled());
}

// Giving the open up: the wait ends at once, the connection it made is closed, and nothing of
// it reaches the window later.
struct GiveUpRow {
    const char* what;
    bool closeWindow;  // else "Cancel"
};

class OpeningGivenUpTest : public OpeningTest, public ::testing::WithParamInterface<GiveUpRow> {};

TEST_P(OpeningGivenUpTest, EndsAtOnceAndLeavesNothingOpen) {
    const GiveUpRow& row = GetParam();
    w<QPushButton>("Button14")->setEnabled(false);
    w<QPushButton>("Button19")->setEnabled(true);
    ASSERT_NO_FATAL_FAILURE(startOpen());
    EXPECT_FALSE(w<QPushButton>("Button19")->isEnabled());
    ASSERT_EQ(caption(), QStringLiteral("Cancel"));
    QElapsedTimer clock;
    clock.start();
    if (row.closeWindow) {
        window.reset();
        // The open would otherwise wait for the server's answer for its whole time-out (3 s).
        EXPECT_LT(clock.elapsed(), 1000);
    } else {
        click("Button10");
        EXPECT_EQ(caption(), QStringLiteral("Open"));
        EXPECT_FALSE(portOpen());
        EXPECT_EQ(status(), QStringLiteral("Opening %1 cancelled.").arg(url()));
    }
    EXPECT_TRUE(kvtest::waitUntil([&] { return gateway.clientClosed.load(); }))
        << "the connection was left open";
    kvtest::waitUntil([] { return false; }, 300);  // whatever the open's thread still posts
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
    if (row.closeWindow) return;
    EXPECT_EQ(caption(), QStringLiteral("Open"));
    EXPECT_EQ(status(), QStringLiteral("Opening %1 cancelled.").arg(url()));
    EXPECT_FALSE(w<QPushButton>("Button14")->isEnabled());  // given back what they had
    EXPECT_TRUE(w<QPushButton>("Button19")->isEnabled());

    openPty();  // and the panel opens the next port as ever
    EXPECT_EQ(status(), QStringLiteral("Port %1 open, 9600 baud 8N1.").arg(slavePath(pty)));
    EXPECT_TRUE(w<QPushButton>("Button14")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Ways, OpeningGivenUpTest,
                         ::testing::Values(GiveUpRow{"Cancel", false},
                                           GiveUpRow{"WindowClosed", true}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
