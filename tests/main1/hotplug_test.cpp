// Adapters coming and going with the real window: a simulated enumeration stands in for the
// system's (the watcher is told to look, as udev would make it), and the simulated collector
// on a pseudo-terminal is the adapter that is pulled and plugged back in; its link under a
// temporary folder plays the stable /dev/serial/by-id name.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>

#include "FakeSysfs.h"
#include "WindowFixture.h"
#include "main1/PortWatcher.h"
#include "main1/ReopenOffer.h"
#include "main1/adapters/PortEnumeration.h"
#include "main1/hotplug/PortChangeNotifier.h"
#include "ports/PortIdentity.h"
#include "sim/Collector.h"

namespace {

using namespace std::chrono_literals;

TEST(PortIdentityTest, SameAdapterOnlyBySerialNumberOrStableLink) {
    struct Row {
        const char* what;
        kvports::PortIdentity a, b;
        bool same;
    };
    const Row rows[] = {
        {"same serial, new name", {"/dev/ttyUSB0", "", "A1"}, {"/dev/ttyUSB1", "", "A1"}, true},
        {"same link, new name", {"/dev/ttyUSB0", "/l/x", ""}, {"/dev/ttyUSB3", "/l/x", ""}, true},
        {"both marks agree", {"COM4", "/l/x", "A1"}, {"COM5", "/l/x", "A1"}, true},
        {"same name, other serial", {"COM4", "", "A1"}, {"COM4", "", "B2"}, false},
        {"same name, nothing known", {"/dev/ttyUSB0", "", ""}, {"/dev/ttyUSB0", "", ""}, false},
        {"serial on one side only", {"COM4", "", "A1"}, {"COM4", "", ""}, false},
        {"dual adapter, other port", {"p", "/l/if00", "A1"}, {"p", "/l/if01", "A1"}, false},
        {"same link, other serial", {"p", "/l/x", "A1"}, {"p", "/l/x", "B2"}, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(kvports::sameAdapter(row.a, row.b), row.same) << row.what;
        EXPECT_EQ(kvports::sameAdapter(row.b, row.a), row.same) << row.what;
    }
}

TEST(PortIdentityTest, StableLinkIsTheOneResolvingToTheDevice) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    QFile(dir.filePath("ttyUSB0")).open(QIODevice::WriteOnly);
    QFile(dir.filePath("ttyUSB1")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir(dir.path()).mkdir("by-id"));
    ASSERT_TRUE(QFile::link(dir.filePath("ttyUSB1"), dir.filePath("by-id/usb-B")));
    ASSERT_TRUE(QFile::link("../ttyUSB0", dir.filePath("by-id/usb-A")));  // relative, as udev
    EXPECT_EQ(kvports::stableLinkFor(root + "/ttyUSB0", root + "/by-id"), root + "/by-id/usb-A");
    EXPECT_EQ(kvports::stableLinkFor(root + "/ttyUSB1", root + "/by-id"), root + "/by-id/usb-B");
    EXPECT_EQ(kvports::stableLinkFor(root + "/ttyUSB2", root + "/by-id"), "");
    EXPECT_EQ(kvports::stableLinkFor(root + "/ttyUSB0", root + "/no-such-dir"), "");
}

class SimulatedPorts : public PortEnumeration {
public:
    QList<PortEntry> present;
    QList<PortEntry> presentPorts() override { return present; }
};

class HotplugTest : public kvtest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        auto simulated = std::make_unique<SimulatedPorts>();
        ports = simulated.get();
        part<PortWatcher>().setEnumeration(std::move(simulated));
        list = w<QComboBox>("SPREALCOM");
    }
    // What udev's notification makes the watcher do.
    void plugged(const QList<PortEntry>& present) {
        ports->present = present;
        part<PortWatcher>().rescan();
    }
    static PortEntry entry(const std::string& path, const std::string& byId,
                           const std::string& serial) {
        return {{path, byId, serial}, QString::fromStdString("Adapter " + serial)};
    }
    void typePort(const QString& text) {
        list->lineEdit()->selectAll();
        QTest::keyClick(list->lineEdit(), Qt::Key_Backspace);
        QTest::keyClicks(list->lineEdit(), text);
    }
    QStringList items() const {
        QStringList texts;
        for (int i = 19; i < list->count(); ++i) texts << list->itemText(i);
        return texts;
    }

    SimulatedPorts* ports = nullptr;
    QComboBox* list = nullptr;
};

TEST_F(HotplugTest, ListFollowsAdaptersWithoutDisturbingTheTechnician) {
    typePort(QStringLiteral("/dev/ttyU"));
    QTest::keyClick(list->lineEdit(), Qt::Key_Left);
    QTest::keyClick(list->lineEdit(), Qt::Key_Left);  // cursor after "/dev/tt"

    struct Step {
        QList<PortEntry> present;
        QStringList expected;
    };
    const Step steps[] = {
        {{entry("/dev/ttyUSB3", "/by-id/a", "A")}, {"/dev/ttyUSB3", "usb-serial:A"}},
        {{entry("/dev/ttyUSB3", "/by-id/a", "A"), entry("/dev/ttyACM0", "", "B")},
         {"/dev/ttyACM0", "/dev/ttyUSB3", "usb-serial:A", "usb-serial:B"}},
        {{entry("/dev/ttyACM0", "", "B")}, {"/dev/ttyACM0", "usb-serial:B"}},
        // Two ports of one adapter (one serial number), one without any: by path only.
        {{entry("/dev/ttyUSB1", "", "D"), entry("/dev/ttyUSB0", "", "D"),
          entry("/dev/ttyS0", "", "")},
         {"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"}},
        {{}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.expected.join(',').toStdString());
        plugged(step.present);
        EXPECT_EQ(items(), step.expected);
        EXPECT_EQ(list->currentText(), QStringLiteral("/dev/ttyU"));
        EXPECT_EQ(list->lineEdit()->cursorPosition(), 7);
    }
    QTest::keyClicks(list->lineEdit(), QStringLiteral("x"));  // typing goes on where it was
    EXPECT_EQ(list->currentText(), QStringLiteral("/dev/ttxyU"));

    // A chosen item stays chosen while others come and go before it in the list.
    plugged({entry("/dev/ttyUSB3", "", "A")});
    list->setCurrentIndex(list->findText(QStringLiteral("/dev/ttyUSB3")));
    plugged({entry("/dev/ttyUSB3", "", "A"), entry("/dev/ttyACM0", "", "B")});
    EXPECT_EQ(list->currentText(), QStringLiteral("/dev/ttyUSB3"));
    EXPECT_EQ(list->itemText(list->currentIndex()), QStringLiteral("/dev/ttyUSB3"));
    // Dropping the list down shows the same ports.
    list->showPopup();
    list->hidePopup();
    EXPECT_EQ(items(),
              (QStringList{"/dev/ttyACM0", "/dev/ttyUSB3", "usb-serial:A", "usb-serial:B"}));
}

TEST_F(HotplugTest, OpenPortIsLeftAloneWhileOthersComeAndGo) {
    kvsim::Collector collector;
    collector.start();
    const QString path = QString::fromStdString(collector.slavePath());
    typePort(path);
    clickPortButton();
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    plugged({entry("/dev/ttyUSB0", "", "A")});
    plugged({});
    EXPECT_TRUE(portOpen());
    EXPECT_EQ(list->currentText(), path);
    const std::uint64_t before = collector.framesHandled();
    click("Button14");
    EXPECT_TRUE(collector.waitForFrames(before + 1, 3s));
}

struct ReopenRow {
    const char* what;
    bool automatic;
    bool openByStableLink;  // else by the device path the line has now
    bool sameAdapterBack;
    bool bySerialNumber = false;  // opened as usb-serial:SIM001, chosen in the list
};

class ReopenTest : public HotplugTest, public ::testing::WithParamInterface<ReopenRow> {};

// The adapter is pulled (the line hangs up and the port leaves the list) and an adapter
// comes back: the same one is offered (or reopened by itself), another one is not.
TEST_P(ReopenTest, ReopensOnlyTheSameAdapter) {
    const ReopenRow& row = GetParam();
    QTemporaryDir byId;
    ASSERT_TRUE(byId.isValid());
    kvsim::CollectorOptions options;
    options.linkPath = byId.filePath("usb-KV_Sim_SIM001-if00-port0").toStdString();
    kvsim::Collector collector(options);
    collector.start();
    auto present = [&] { return entry(collector.deviceSlavePath(), options.linkPath, "SIM001"); };
    plugged({present()});
    // What the window's open looks usb-serial names up in: the adapter at ttyUSB0.
    kvtest::FakeSysfs sysfs;
    sysfs.usbSerialPort("ttyUSB0", "1-1", "SIM001", collector.deviceSlavePath());
    window->setPortLayout(sysfs.layout());

    auto* automatic = w<QCheckBox>("ReopenAutomatically");
    auto* reopen = w<QPushButton>("ReopenButton");
    automatic->setChecked(row.automatic);
    const QString opened =
        row.bySerialNumber
            ? QStringLiteral("usb-serial:SIM001")
            : QString::fromStdString(row.openByStableLink ? collector.slavePath()
                                                          : collector.deviceSlavePath());
    if (row.bySerialNumber)
        list->setCurrentIndex(list->findText(opened, Qt::MatchExactly));  // offered in the list
    else
        typePort(opened);
    ASSERT_EQ(list->currentText(), opened);
    clickPortButton();
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    EXPECT_FALSE(reopen->isVisible());

    ASSERT_TRUE(collector.dropLine());
    ASSERT_TRUE(kvtest::waitUntil([&] {
        return window->statusBar()->currentMessage().contains(QStringLiteral("stopped working"));
    }));
    // Still listed (the system has not said it is gone): nothing is offered yet.
    part<PortWatcher>().rescan();
    EXPECT_FALSE(reopen->isVisible());
    EXPECT_TRUE(part<ReopenOffer>().offeredPort().isEmpty());
    plugged({});  // gone from the list
    ASSERT_TRUE(collector.reopenLine());
    const std::string newPath = collector.deviceSlavePath();
    // Plugged back in, it is ttyUSB1.
    std::filesystem::remove_all(std::filesystem::path(sysfs.layout().classTty) / "ttyUSB0");
    sysfs.usbSerialPort("ttyUSB1", "1-2", "SIM001", newPath);
    if (row.sameAdapterBack) {
        plugged({present()});
    } else {  // another adapter, given the old name
        plugged({entry(opened.toStdString(), byId.filePath("usb-Other_OTHER9").toStdString(),
                       "OTHER9")});
    }

    if (row.sameAdapterBack && !row.automatic) {
        EXPECT_TRUE(reopen->isVisible());
        EXPECT_TRUE(window->statusBar()->currentMessage().contains(QStringLiteral("is back")));
        click("ReopenButton");
    }
    kvtest::waitUntil(
        [&] { return window->statusBar()->currentMessage().contains(QStringLiteral("reopened")); },
        row.sameAdapterBack ? 5000 : 300);
    EXPECT_FALSE(reopen->isVisible());
    if (!row.sameAdapterBack) {
        EXPECT_TRUE(
            window->statusBar()->currentMessage().contains(QStringLiteral("different adapter")));
    }

    // Whether the tool talks to the collector's new line tells whether it was reopened.
    const std::uint64_t before = collector.framesHandled();
    click("Button14");
    EXPECT_EQ(collector.waitForFrames(before + 1, row.sameAdapterBack ? 3000ms : 500ms),
              row.sameAdapterBack);
    if (row.sameAdapterBack) {
        EXPECT_EQ(status(), QStringLiteral("Port %1 reopened: its adapter came back.")
                                .arg(row.bySerialNumber
                                         ? opened
                                         : QString::fromStdString(
                                               row.openByStableLink ? options.linkPath : newPath)));
        EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Close"));
    } else {  // the frame was refused: the port it had stopped working
        EXPECT_TRUE(
            window->statusBar()->currentMessage().contains(QStringLiteral("stopped working")));
    }
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, ReopenTest,
    ::testing::Values(ReopenRow{"offered", false, true, true},
                      ReopenRow{"automatic", true, true, true},
                      ReopenRow{"automatic, new device name", true, false, true},
                      ReopenRow{"automatic, by serial number", true, false, true, true},
                      ReopenRow{"offered, by serial number", false, false, true, true},
                      ReopenRow{"other adapter, offered", false, true, false},
                      ReopenRow{"other adapter, automatic", true, true, false}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

// An idle window runs no timer; only where no change notification exists does the port
// list get a look every 2 s.
TEST_F(HotplugTest, NothingRunsWhileNothingChanges) {
    QStringList running;
    for (QTimer* timer : window->findChildren<QTimer*>())
        if (timer->isActive()) running << QString::number(timer->interval());
    if (part<PortWatcher>().notifier().how() == QStringLiteral("udev")) {
        EXPECT_TRUE(running.isEmpty()) << running.join(',').toStdString();
    } else {
        EXPECT_EQ(running, QStringList{QString::number(PollingPortNotifier::kPollIntervalMs)});
    }
}

}  // namespace
