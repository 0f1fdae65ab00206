// The whole road: the real window, its real serial component and the simulated collector on
// a pseudo-terminal. The tests press the window's buttons and watch the collector's state,
// the receive buffer and the fields the read-back fills.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeSysfs.h"
#include "FolderSnapshot.h"
#include "Kv480tProcess.h"
#include "Ser2Net.h"
#include "WindowFixture.h"
#include "client/Operations.h"
#include "main1/PortFinder.h"
#include "main1/ProfilePanel.h"
#include "main1/ReopenOffer.h"
#include "main1/Tmainform1.h"
#include "main1/TrafficModel.h"
#include "main1/TrafficPage.h"
#include "main1/adapters/QtUserMessages.h"
#include "main1/adapters/StatusLine.h"
#include "presenter/DeviceSession.h"
#include "profile/Profile.h"
#include "sim/Collector.h"
#include "sim/DemoCollector.h"

namespace {

using kvsim::Collector;
using kvsim::CollectorOptions;

// The collector answers at line speed: wait longer than the GUI suites' default.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 8000) {
    return kvtest::waitUntil(done, timeoutMs);
}

// What the technician enters before pressing a "Set" button, and what the collector's
// listing brings back into the field after "Read Parameters".
struct Edit {
    const char* control;
    const char* typed;     // entry field: typed text; nullptr for a list
    int index;             // list: item picked
    const char* readBack;  // entry field: text after the read-back; nullptr: not read back
};

struct SetStep {
    const char* button;
    const char* word;  // command word, as the collector acknowledges it
    std::vector<Edit> edits;
};

const std::vector<SetStep>& setSteps() {
    static const std::vector<SetStep> steps = {
        {"Button188",
         "AR485X",
         {{"MR485BT", nullptr, 4, nullptr}, {"MR485JN", nullptr, 2, nullptr}}},
        {"Button4", "ST", {{"Station", "12", 0, "012"}}},
        {"Button46", "DI01", {{"DIN1", nullptr, 1, nullptr}}},
        {"Button47", "DI02", {{"DIN2", nullptr, 0, nullptr}}},
        {"Button15", "PUDL", {{"PUDLING", nullptr, 3, nullptr}}},
        {"Button8", "MTM", {{"Edit3", "20", 0, "020"}}},
        {"Button52", "LP1", {{"PUSET1", "123", 0, nullptr}}},
        {"Button53", "LP2", {{"PUSET2", "7", 0, nullptr}}},
        {"AD1SET",
         "AIN1",
         {{"AD1H", "25", 0, "000025"}, {"AD1L", "4", 0, "000004"}, {"AD1LD", "0", 0, "00000"}}},
        {"AD2SET",
         "AIN2",
         {{"AD2H", "1.6", 0, "1.6000"},
          {"AD2L", "-.5", 0, "-0.500"},
          {"AD2LD", ".25", 0, "0.250"}}},
        {"Button1",
         "AIN3",
         {{"AD3H", "123456", 0, "123456"},
          {"AD3L", "-99999", 0, "-99999"},
          {"AD3LD", "-1234", 0, "-1234"}}},
        {"Button2",
         "AIN4",
         {{"AD4H", "85.5", 0, "85.500"},
          {"AD4L", "-40", 0, "-00040"},
          {"AD4LD", "-.123", 0, "-.123"}}},
        {"Button85", "AXS1", {{"AD1XISHU", "1.05", 0, "1.05"}}},
        {"Button86", "AXS2", {{"AD2XISHU", "2", 0, "0002"}}},
        {"Button9", "AXS3", {{"AD3XISHU", "0.5", 0, "0.50"}}},
        {"Button11", "AXS4", {{"AD4XISHU", "9999", 0, "9999"}}},
        {"PButton52", "LPN", {{"PUSET3", "1234", 0, nullptr}}},
        {"Button3", "LPF", {{"PUSET1XIAO", "50", 0, nullptr}}},
        {"Button7", "MDL", {{"ComboBox1", nullptr, 3, nullptr}}},
        {"Button6", "MKT", {{"Edit2", "30", 0, "030"}}},
        {"Button5", "ZOM", {{"Edit1", "0.05", 0, "0.050"}}},
        {"Button12", "BR485X", {{"BRS485NX", nullptr, 1, nullptr}}},
    };
    return steps;
}

class CollectorE2E : public kvtest::WindowTest {
protected:
    void SetUp() override { WindowTest::SetUp(); }
    void TearDown() override {
        WindowTest::TearDown();
        collector.reset();
    }

    void startCollector(CollectorOptions options = {}) {
        options.linkPath = (dir / "ttyKV480T").string();
        collector = std::make_unique<Collector>(options);
        collector->start();
    }

    // A new window on the collector's port, opened with "Open".
    void openWindow() {
        newWindow();
        openPort(collector->slavePath());
    }

    void enter(const Edit& e) {
        if (e.typed == nullptr) {
            w<QComboBox>(e.control)->setCurrentIndex(e.index);
            return;
        }
        auto* edit = w<QLineEdit>(e.control);
        edit->clear();
        QTest::keyClicks(edit, QString::fromLatin1(e.typed));
        ASSERT_EQ(edit->text().toStdString(), e.typed) << e.control;
    }
    bool profileBusy() { return part<ProfilePanel>().busy(); }

    kvtest::TestFolder folder{"kv480t-e2e"};
    const std::filesystem::path& dir = folder.path();
    std::unique_ptr<Collector> collector;
};

TEST_F(CollectorE2E, EverySetButtonThenReadParametersInAFreshWindowRestoresEveryField) {
    startCollector();
    openWindow();
    for (const SetStep& step : setSteps()) {
        for (const Edit& e : step.edits) enter(e);
        click(step.button);
        const std::string ack = std::string("OK:") + step.word + ":";
        ASSERT_TRUE(waitUntil([&] { return memoHas(ack); }))
            << step.button << ": Memo8 holds '" << memo() << "', send buffer '"
            << w<QLineEdit>("discomm")->text().toStdString() << "'";
    }
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
    const kvsim::DeviceState state = collector->state();
    EXPECT_EQ(state.number("pin1.base"), 123);
    EXPECT_EQ(state.number("pin2.base"), 7);
    EXPECT_EQ(state.number("ad1.total.integer"), 1234);
    EXPECT_EQ(state.number("ad1.total.decimal"), 50);

    openWindow();  // a fresh window at its start values
    EXPECT_EQ(w<QLineEdit>("AD1H")->text(), QString());
    readParameters();
    int checked = 0;
    for (const SetStep& step : setSteps()) {
        for (const Edit& e : step.edits) {
            if (e.typed == nullptr) {
                EXPECT_EQ(w<QComboBox>(e.control)->currentIndex(), e.index) << e.control;
                ++checked;
            } else if (e.readBack != nullptr) {
                EXPECT_EQ(w<QLineEdit>(e.control)->text().toStdString(), e.readBack) << e.control;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 27);
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

TEST_F(CollectorE2E, CommunicationTestAndDataQueryAnswersAppearInTheReceiveBuffer) {
    startCollector();
    openWindow();
    click("Button14");
    EXPECT_EQ(w<QLineEdit>("discomm")->text(), QStringLiteral("PPPPPP#VAR#"));
    EXPECT_TRUE(waitUntil([this] { return memoHas("VAR:KV480T-R-2,V1.2,ADR:001,OK"); })) << memo();

    click("Button124");
    EXPECT_EQ(w<QLineEdit>("discomm")->text(), QStringLiteral("PPPPPP#STATUS#"));
    EXPECT_TRUE(waitUntil([this] { return memoHas("SUM1:"); })) << memo();
    for (const char* tag : {"AD1:", "AD2:", "AD3:", "AD4:", "DIN1:", "DIN2:", "PIN1:", "PIN2:"})
        EXPECT_TRUE(memoHas(tag)) << tag << " missing from " << memo();
    EXPECT_FALSE(memoHas("VAR:")) << "the buffer is emptied before each request";
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

TEST_F(CollectorE2E, ParameterInitializationThenReadParametersShowsFactoryValues) {
    startCollector();
    openWindow();
    for (const SetStep& step : setSteps()) {
        const std::string button = step.button;
        if (button != "Button4" && button != "AD1SET" && button != "Button46" &&
            button != "Button5")
            continue;
        for (const Edit& e : step.edits) enter(e);
        click(step.button);
        ASSERT_TRUE(waitUntil([&] { return memoHas(std::string("OK:") + step.word + ":"); }));
    }
    ASSERT_NE(collector->state(), kvsim::factoryDefaults());

    click("Button19");
    ASSERT_TRUE(waitUntil([this] { return memoHas("OK:RESET"); })) << memo();
    EXPECT_TRUE(waitUntil([this] { return idle(); }));
    EXPECT_EQ(collector->state(), kvsim::factoryDefaults());

    readParameters();
    const kvsim::DeviceState f = kvsim::factoryDefaults();
    EXPECT_EQ(w<QLineEdit>("Station")->text(), QStringLiteral("001"));
    EXPECT_EQ(w<QLineEdit>("Edit1")->text().toStdString(), f.text("ad1.residual_cutoff"));
    EXPECT_EQ(w<QLineEdit>("Edit2")->text(), QStringLiteral("001"));
    EXPECT_EQ(w<QLineEdit>("Edit3")->text(), QStringLiteral("005"));
    const char* rows[] = {"1", "2", "3", "4"};
    for (int i = 0; i < 4; ++i) {
        const std::string ad = std::string("AD") + rows[i];
        const std::string channel = "ad" + std::to_string(i + 1) + ".";
        EXPECT_EQ(w<QLineEdit>((ad + "H").c_str())->text().toStdString(), f.text(channel + "urv"));
        EXPECT_EQ(w<QLineEdit>((ad + "L").c_str())->text().toStdString(), f.text(channel + "lrv"));
        EXPECT_EQ(w<QLineEdit>((ad + "LD").c_str())->text().toStdString(),
                  f.text(channel + "start"));
        EXPECT_EQ(w<QLineEdit>((ad + "XISHU").c_str())->text().toStdString(),
                  f.text(channel + "coefficient"));
    }
    EXPECT_EQ(w<QComboBox>("MR485BT")->currentIndex(), f.number("rs485.baud"));
    EXPECT_EQ(w<QComboBox>("MR485JN")->currentIndex(), f.number("rs485.parity"));
    EXPECT_EQ(w<QComboBox>("DIN1")->currentIndex(), f.number("din1.mode"));
    EXPECT_EQ(w<QComboBox>("DIN2")->currentIndex(), f.number("din2.mode"));
    EXPECT_EQ(w<QComboBox>("PUDLING")->currentIndex(), f.number("din2.pulse_equivalent"));
    EXPECT_EQ(w<QComboBox>("ComboBox1")->currentIndex(), f.number("output.pulse_equivalent"));
    EXPECT_EQ(w<QComboBox>("BRS485NX")->currentIndex(), f.number("interface.type"));
}

TEST_F(CollectorE2E, SilentCollectorYieldsTheTimeOutMessages) {
    CollectorOptions options;
    options.silent = true;
    startCollector(options);
    openWindow();

    click("Button32");
    ASSERT_TRUE(waitUntil([this] { return !modalMessages.isEmpty(); }));
    EXPECT_EQ(modalMessages, QStringList{QStringLiteral("Parameter Query Timeout!")});
    EXPECT_EQ(memo(), "");

    modalMessages.clear();
    click("Button14");
    ASSERT_TRUE(waitUntil([this] { return !modalMessages.isEmpty(); }));
    EXPECT_EQ(modalMessages, QStringList{QStringLiteral("Connection Timeout")});
}

TEST_F(CollectorE2E, DroppedLineLeavesTheWindowResponsiveAndCloseThenOpenWorksAgain) {
    startCollector();
    openWindow();
    click("Button14");
    ASSERT_TRUE(waitUntil([this] { return memoHas("VAR:"); }));

    ASSERT_TRUE(collector->dropLine());
    // The window keeps handling events while its port has hung up: a button still sends
    // (into nothing) and the buffers follow it.
    QTest::qWait(300);
    click("Button124");
    EXPECT_EQ(w<QLineEdit>("discomm")->text(), QStringLiteral("PPPPPP#STATUS#"));
    EXPECT_EQ(memo(), "");
    EXPECT_LE(modalMessages.size(), 1)
        << "one report per failure at most: " << modalMessages.join('|').toStdString();

    ASSERT_TRUE(collector->reopenLine());
    clickPortButton();  // Close
    EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Open"));
    clickPortButton();  // Open again, on the new line behind the same name
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    click("Button14");
    EXPECT_TRUE(waitUntil([this] { return memoHas("VAR:KV480T-R-2"); })) << memo();
}

// What demo mode does: the in-process collector's port offered and selected in SPREALCOM;
// the user opens it and reads the parameters.
TEST_F(CollectorE2E, DemoCollectorPortOpensAndReadsParameters) {
    const QString port = QString::fromStdString(kvsim::startDemoCollector());
    window->addPort(port, true);
    EXPECT_EQ(w<QComboBox>("SPREALCOM")->currentText(), port);
    clickPortButton();
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    readParameters();
    EXPECT_EQ(w<QLineEdit>("Station")->text(), QStringLiteral("001"));
    EXPECT_EQ(w<QLineEdit>("AD1H")->text(), QStringLiteral("000100"));
    EXPECT_EQ(w<QComboBox>("BRS485NX")->currentIndex(), 2);
    window.reset();
    kvsim::stopDemoCollector();
}

// A collector that takes its time: no time-out message while it is still answering, with or
// without an MTM press before (which lengthens the set commands' time-out).
TEST_F(CollectorE2E, SlowCollectorGetsNoFalseTimeOut) {
    CollectorOptions options;
    options.answerDelay = kvsim::Millis{1500};
    startCollector(options);
    for (bool mtmFirst : {false, true}) {
        SCOPED_TRACE(mtmFirst ? "after MTM" : "fresh window");
        openWindow();
        if (mtmFirst) {
            click("Button8");
            ASSERT_TRUE(waitUntil([this] { return memoHas("OK:MTM:"); })) << memo();
        }
        readParameters();
        EXPECT_EQ(w<QLineEdit>("Station")->text(), QStringLiteral("001")) << memo();
        click("Button14");
        EXPECT_TRUE(waitUntil([this] { return memoHas("VAR:"); })) << memo();
        QTest::qWait(1600);  // past any time-out that counted from the writes
        EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
    }
}

// A collector that pauses inside its listing: the read-back reaches its last rows (the
// counter bases that follow are not waited for).
TEST_F(CollectorE2E, ListingInPiecesIsShownAndReadBackWhole) {
    struct Case {
        std::size_t chunk;
        int gapMs;
    };
    for (const Case& c : {Case{140, 150}, Case{140, 400}, Case{64, 500}, Case{300, 500}}) {
        SCOPED_TRACE(std::to_string(c.chunk) + " bytes, " + std::to_string(c.gapMs) + " ms");
        CollectorOptions options;
        options.chunkSize = c.chunk;
        options.chunkGap = kvsim::Millis{c.gapMs};
        startCollector(options);
        openWindow();
        readParameters();
        EXPECT_EQ(w<QLineEdit>("Station")->text(), QStringLiteral("001"));  // first piece
        EXPECT_EQ(w<QLineEdit>("AD4H")->text(), QStringLiteral("000100"));  // middle
        EXPECT_EQ(w<QLineEdit>("Edit3")->text(), QStringLiteral("005"));    // last piece
        EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
        window.reset();
        collector.reset();
    }
}

// The window's Verify with "Include counter bases" and kv480t verify --include-counters find
// the same differences in one file against one collector, counter bases included.
TEST_F(CollectorE2E, WindowVerifyAndKv480tVerifyAgreeOnCounterBases) {
    const std::string file = (dir / "counters.json").string();
    ProfilePanel::setFileHook([&](bool, const QString&) { return QString::fromStdString(file); });
    startCollector();
    kvprofile::Profile profile{"", "test", "kv480t", collector->state().settings()};
    ASSERT_FALSE(profile.settings.set("ad1.urv", "000321").has_value());
    ASSERT_FALSE(profile.settings.set("pin1.base", "00004711").has_value());
    profile.settings = kvprofile::filtered(profile.settings, {false, true});
    ASSERT_TRUE(kvprofile::writeProfileFile(file, profile, nullptr));

    openWindow();
    w<QCheckBox>("ProfileIncludeCounters")->setChecked(true);
    click("ProfileLoad");
    click("ProfileVerify");
    ASSERT_TRUE(waitUntil([&] { return !profileBusy(); }));
    const std::string status = window->statusBar()->currentMessage().toStdString();
    EXPECT_EQ(status.rfind("2 differ: ", 0), 0u) << status;
    for (const char* difference : {"pin1.base 00000000 on the collector, 00004711 in the profile",
                                   "ad1.urv 000100 on the collector, 000321 in the profile"})
        EXPECT_NE(status.find(difference), std::string::npos) << status;
    clickPortButton();  // Close: the port is kv480t's now

    const kvtest::ProcessRun run =
        kvtest::kv480t({"verify", "--port", collector->slavePath(), "--include-counters", file});
    EXPECT_EQ(run.exitCode, 1) << kvtest::describe(run);
    EXPECT_NE(run.out.find("differs: 2 parameters"), std::string::npos) << run.out;
    for (const char* name : {"ad1.urv", "pin1.base"})
        EXPECT_NE(run.out.find(name), std::string::npos) << name << "\n" << run.out;
    ProfilePanel::setFileHook({});
}

// A profile that holds only some settings: Write All sends its set commands and no other,
// whatever the other fields hold (a baud rate, parity or interface sent by mistake would cut
// the line).
TEST_F(CollectorE2E, WriteAllOfAPartialProfileSendsOnlyItsCommands) {
    const std::string file = (dir / "ain1.json").string();
    ProfilePanel::setFileHook([&](bool, const QString&) { return QString::fromStdString(file); });
    startCollector();
    openWindow();
    for (const SetStep& step : setSteps())
        for (const Edit& e : step.edits) enter(e);
    kvprofile::Profile profile;
    for (const auto& [name, value] :
         {std::pair{"ad1.urv", "000222"}, {"ad1.lrv", "000011"}, {"ad1.start", "00002"}})
        ASSERT_FALSE(profile.settings.set(name, value).has_value());
    ASSERT_TRUE(kvprofile::writeProfileFile(file, profile, nullptr));
    click("ProfileLoad");
    const std::uint64_t before = collector->framesHandled();
    click("ProfileWriteAll");
    ASSERT_TRUE(waitUntil([&] { return !profileBusy(); }, 20000));
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Write All done: 1 settings written; the collector holds all 3 "
                             "values."));
    EXPECT_EQ(collector->framesHandled(), before + 3)
        << "the listing (the history's before: none read since the port opened), AIN1, then "
           "the read-back";
    EXPECT_EQ(collector->state().number("ad1.urv"), 222);
    // The read-back compares: the fields keep what was typed.
    EXPECT_EQ(w<QLineEdit>("AD2L")->text(), QStringLiteral("-.5"));
    ProfilePanel::setFileHook({});
}

// Write All against collectors that answer set frames in other ways: done exactly when the
// read-back holds the values, whatever the answers were; each answer is on the Traffic page.
TEST_F(CollectorE2E, WriteAllIsJudgedByTheReadBackWhateverTheAnswers) {
    const std::string file = (dir / "ain.json").string();
    ProfilePanel::setFileHook([&](bool, const QString&) { return QString::fromStdString(file); });
    kvprofile::Profile profile;
    for (const auto& [name, value] : {std::pair{"ad1.urv", "000222"},
                                      {"ad1.lrv", "000011"},
                                      {"ad1.start", "00002"},
                                      {"ad2.urv", "000333"},
                                      {"ad2.lrv", "000012"},
                                      {"ad2.start", "00003"}})
        ASSERT_FALSE(profile.settings.set(name, value).has_value());
    ASSERT_TRUE(kvprofile::writeProfileFile(file, profile, nullptr));
    using kvsim::SetAnswer;
    const struct {
        const char* name;
        SetAnswer answer;
        bool echo;
        const char* kept;
        QString status;
    } cases[] = {
        {"echoed by a converter", SetAnswer::Ok, true, nullptr,
         QStringLiteral("Write All done: 2 settings written; the collector holds all 6 values.")},
        {"the frame echoed first", SetAnswer::EchoFrame, false, nullptr,
         QStringLiteral("Write All done: 2 settings written; the collector holds all 6 values.")},
        {"other words, a listing without counter bases", SetAnswer::Other, false, nullptr,
         QStringLiteral("Write All done: 2 settings written; the collector holds all 6 values.")},
        {"no answer, behind an echo", SetAnswer::None, true, nullptr,
         QStringLiteral("Write All done: 2 settings written (2 without an answer); the collector "
                        "holds all 6 values.")},
        {"says yes, keeps AIN1", SetAnswer::Ok, false, "AIN1",
         QStringLiteral("Write All: 2 settings written, but the read-back differs: 3 differ: "
                        "ad1.urv 000100 on the collector, 000222 written; ad1.lrv 000000 on the "
                        "collector, 000011 written; ad1.start 00000 on the collector, 00002 "
                        "written")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CollectorOptions options;
        options.setAnswer = c.answer;
        options.echo = c.echo;
        if (c.kept) options.keptWords.insert(c.kept);
        options.plainListing = c.answer == SetAnswer::Other;
        startCollector(options);
        openWindow();
        click("ProfileLoad");
        click("ProfileWriteAll");
        ASSERT_TRUE(waitUntil([&] { return !profileBusy(); }, 20000));
        EXPECT_EQ(window->statusBar()->currentMessage(), c.status);
        EXPECT_EQ(collector->state().number("ad2.urv"), 333);
        // One row per command on the Traffic page says what the collector answered.
        TrafficModel& rows = part<TrafficPage>().model();
        std::vector<std::string> said;
        for (int row = 0; row < rows.rowCount(); ++row) {
            const std::string data(rows.rowAt(row).data);
            if (data.starts_with("AIN")) said.push_back(data);
        }
        ASSERT_EQ(said.size(), 2u);
        for (std::size_t i = 0; i < said.size(); ++i) {
            const std::string word = "AIN" + std::to_string(i + 1);
            if (c.answer == SetAnswer::None) {
                EXPECT_EQ(said[i], word + ": no answer");
            } else if (c.answer == SetAnswer::Ok) {
                EXPECT_TRUE(said[i].starts_with(word + " answered: OK:" + word)) << said[i];
            }
        }
    }

    // A line that fails while the first command waits for its answer ends the run there: no
    // further frame, no read-back.
    CollectorOptions silent;
    silent.setAnswer = SetAnswer::None;
    startCollector(silent);
    openWindow();
    click("ProfileLoad");
    click("ProfileWriteAll");
    // The listing first (the history's before), then AIN1.
    ASSERT_TRUE(waitUntil([&] {
        return window->statusLine().messageOf(StatusLine::Source::Profile) ==
               QStringLiteral("Writing 1 of 2: AIN1 ...");
    }));
    ASSERT_TRUE(collector->dropLine());
    ASSERT_TRUE(waitUntil([&] { return !profileBusy(); }, 20000));
    const QString said = window->statusLine().messageOf(StatusLine::Source::Profile);
    EXPECT_TRUE(said.startsWith(QStringLiteral("Write All stopped at 1 of 2 (AIN1): ")))
        << said.toStdString();
    EXPECT_EQ(collector->framesHandled(), 2u);
    ProfilePanel::setFileHook({});
}

// Close while "Read Parameters" waits for a silent collector: the request ends with the port.
TEST_F(CollectorE2E, CloseEndsTheRequestInProgress) {
    CollectorOptions options;
    options.silent = true;
    startCollector(options);
    openWindow();
    click("Button32");
    clickPortButton();  // Close at once
    EXPECT_FALSE(portOpen());
    EXPECT_TRUE(idle());
    QTest::qWait(3500);  // longer than the query's time-out
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

// The Profile group: save the fields, load them into a fresh window (nothing sent), write
// them all to the collector, verify by read-back, and a profile the collector does not match.
TEST_F(CollectorE2E, ProfileSaveLoadWriteAllAndVerify) {
    const std::string file = (dir / "site.json").string();
    ProfilePanel::setFileHook([&](bool, const QString&) { return QString::fromStdString(file); });
    startCollector();
    openWindow();
    for (const SetStep& step : setSteps())
        for (const Edit& e : step.edits) enter(e);
    click("ProfileSave");
    const kvprofile::ReadResult saved = kvprofile::readProfileFile(file);
    ASSERT_TRUE(saved.profile) << saved.error;
    EXPECT_EQ(saved.profile->settings.get("ad2.lrv"), "-.5");
    EXPECT_EQ(saved.profile->settings.get("rs485.parity"), "Even");
    EXPECT_FALSE(saved.profile->settings.has("rs485.address"));  // identity: only when asked
    EXPECT_FALSE(saved.profile->settings.has("pin1.base"));      // counters: only when asked
    EXPECT_EQ(saved.profile->port, collector->slavePath());
    EXPECT_EQ(saved.profile->tool, "kv480t-config");
    EXPECT_EQ(part<ProfilePanel>().lastFolder().toStdString(), dir.string());

    openWindow();  // a fresh window: Load fills the fields and sends nothing
    const std::uint64_t before = collector->framesHandled();
    click("ProfileLoad");
    EXPECT_EQ(w<QLineEdit>("AD2L")->text(), QStringLiteral("-.5"));
    EXPECT_EQ(w<QComboBox>("MR485JN")->currentIndex(), 2);
    EXPECT_EQ(w<QLineEdit>("PUSET1")->text(), QString());
    QTest::qWait(300);
    EXPECT_EQ(collector->framesHandled(), before);

    click("ProfileWriteAll");
    EXPECT_EQ(w<QPushButton>("ProfileWriteAll")->text(), QStringLiteral("Cancel"));
    ASSERT_TRUE(waitUntil([&] { return !profileBusy(); }, 20000));
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Write All done: 17 settings written; the collector holds all 26 "
                             "values."));
    EXPECT_EQ(collector->framesHandled(), before + 19) << "the listing first, 17, the read-back";

    click("ProfileVerify");
    ASSERT_TRUE(waitUntil([&] { return !profileBusy(); }));
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("Verified: the collector holds all 26 values in the profile."));

    // Another profile, loaded but not written: Verify names and highlights the difference.
    kvprofile::Profile other = *saved.profile;
    ASSERT_FALSE(other.settings.set("ad1.urv", "000120").has_value());
    ASSERT_TRUE(kvprofile::writeProfileFile(file, other, nullptr));
    click("ProfileLoad");
    click("ProfileVerify");
    ASSERT_TRUE(waitUntil([&] { return !profileBusy(); }));
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("1 differ: ad1.urv 000025 on the collector, 000120 in the profile"));
    EXPECT_EQ(part<ProfilePanel>().highlightedFields(), QStringList{QStringLiteral("AD1H")});
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
    ProfilePanel::setFileHook({});
}

TEST_F(CollectorE2E, WriteAllStopsWhenCancelledAndSendsNothingForABadField) {
    CollectorOptions options;
    options.answerDelay = kvsim::Millis{300};
    startCollector(options);
    openWindow();
    for (const SetStep& step : setSteps())
        for (const Edit& e : step.edits) enter(e);

    // A field that cannot be converted: one message, nothing sent.
    w<QLineEdit>("Edit2")->setText(QStringLiteral("2x"));
    const std::uint64_t before = collector->framesHandled();
    click("ProfileWriteAll");
    EXPECT_FALSE(profileBusy());
    EXPECT_EQ(modalMessages.size(), 1) << modalMessages.join('|').toStdString();
    QTest::qWait(300);
    EXPECT_EQ(collector->framesHandled(), before);

    modalMessages.clear();
    w<QLineEdit>("Edit2")->setText(QStringLiteral("20"));
    click("ProfileWriteAll");
    ASSERT_TRUE(waitUntil([&] { return collector->framesHandled() >= before + 2; }));
    click("ProfileWriteAll");  // reads "Cancel"
    EXPECT_FALSE(profileBusy());
    EXPECT_EQ(w<QPushButton>("ProfileWriteAll")->text(), QStringLiteral("Write All"));
    EXPECT_TRUE(window->statusBar()->currentMessage().startsWith(
        QStringLiteral("Write All cancelled after ")))
        << window->statusBar()->currentMessage().toStdString();
    const std::uint64_t atCancel = collector->framesHandled();
    QTest::qWait(2500);  // longer than an answer's wait: nothing more goes out
    EXPECT_LE(collector->framesHandled(), atCancel + 1);  // at most the frame in flight
    EXPECT_LT(collector->framesHandled(), before + 17);
}

// Report...: the port's sheet as PDF through Qt's PDF writer, the "before" values from the
// read that started the session, the "after" values from a Verify that Report... runs itself
// after a Set.
TEST_F(CollectorE2E, ReportSavesTheSheetOfThePortAsPdf) {
    const std::string file = (dir / "sheet.pdf").string();
    ProfilePanel::setFileHook([&](bool, const QString&) { return QString::fromStdString(file); });
    startCollector();
    openWindow();
    readParameters();
    for (const Edit& e : setSteps()[8].edits) enter(e);  // AIN1: 25, 4, 0
    click(setSteps()[8].button);
    ASSERT_TRUE(waitUntil([&] { return memoHas("OK:AIN1:"); })) << memo();
    click("ProfileReport");
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(file); }));
    const std::filesystem::path text = dir / "sheet.txt";
    ASSERT_EQ(std::system(("pdftotext -layout '" + file + "' '" + text.string() + "'").c_str()), 0)
        << "pdftotext (scripts/setup installs poppler-utils)";
    std::string sheet;  // the layout's runs of blanks as one
    for (const char c : kvtest::slurp(text))
        if (c != ' ' || !sheet.ends_with(' ')) sheet += c;
    // Values in columns, before and after (the port's long name may wrap).
    for (const char* line : {"ad1.urv 000100 000025 25 changed", "ad1.lrv 000000 000004 4 changed",
                             "ad2.urv 000100 000100 000100\n", "ttyKV480T"})
        EXPECT_NE(sheet.find(line), std::string::npos) << line << "\n" << sheet;
    EXPECT_TRUE(window->statusBar()->currentMessage().startsWith(QStringLiteral("Verified: ")));
    EXPECT_NE(window->statusBar()->currentMessage().indexOf(QStringLiteral("Report saved")), -1);
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
    ProfilePanel::setFileHook({});
}

// After the line hangs up, a Set is not sent, and the status line says why and what to do,
// instead of the frame vanishing or the port being called closed while "Close" is showing.
TEST_F(CollectorE2E, FrameAfterAHangUpIsRefusedWithTheReason) {
    startCollector();
    openWindow();
    ASSERT_TRUE(collector->dropLine());
    ASSERT_TRUE(waitUntil([this] { return status().contains(QStringLiteral("stopped working")); }));
    const std::uint64_t before = collector->framesHandled();
    for (const char* button : {"Button188", "Button46"}) {
        click(button);
        const QString status = window->statusBar()->currentMessage();
        EXPECT_TRUE(status.contains(QStringLiteral("stopped working"))) << status.toStdString();
        EXPECT_TRUE(status.contains(QStringLiteral("Close"))) << status.toStdString();
        EXPECT_FALSE(status.contains(QStringLiteral("is not open"))) << status.toStdString();
    }
    EXPECT_EQ(w<QPushButton>("Button10")->text(), QStringLiteral("Close"));
    ASSERT_TRUE(collector->reopenLine());
    QTest::qWait(300);
    EXPECT_EQ(collector->framesHandled(), before);  // nothing reached the new line either
}

}  // namespace

namespace {

// A network port typed into the list: ser2net in front of the collector, as a serial device
// server would be. The window opens it, reads the parameters, offers Reopen when the server
// goes away and remembers the port for the next run.
TEST_F(CollectorE2E, NetworkPortTypedInTheListReadsParametersAndIsRemembered) {
    startCollector();
    {
        kvclient::Client client;
        ASSERT_FALSE(client.open(collector->slavePath()));
        kvproto::CollectorSettings address;
        ASSERT_FALSE(address.set("rs485.address", "42"));
        ASSERT_FALSE(kvclient::setValues(client, address, kvclient::Millis(2000)).error);
    }
    kvtest::Ser2Net gateway(collector->deviceSlavePath());
    const QString url = QString::fromStdString(gateway.rfc2217Url());
    w<QComboBox>("SPREALCOM")->setEditText(url);
    clickPortButton();
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    readParameters();
    EXPECT_EQ(w<QLineEdit>("Station")->text(), QStringLiteral("042"));

    gateway.stop();
    ASSERT_TRUE(waitUntil([this] { return w<QPushButton>("ReopenButton")->isVisible(); }));
    EXPECT_EQ(part<ReopenOffer>().offeredPort(), url);
    gateway.start();
    click("ReopenButton");
    ASSERT_TRUE(waitUntil([this] { return portOpen(); })) << status().toStdString();
    click("Button14");
    EXPECT_TRUE(waitUntil([this] { return memoHas("ADR:042"); })) << memo();

    newWindow();
    EXPECT_GE(w<QComboBox>("SPREALCOM")->findText(url), 0) << "the network port is remembered";
}

TEST_F(CollectorE2E, FindSelectsTheAnsweringPortOrOffersThemAllAndLeavesTheOpenOneAlone) {
    startCollector();
    openWindow();  // on the fixture's collector: it must not be tried
    Collector answering;
    answering.start();
    CollectorOptions quiet;
    quiet.silent = true;
    Collector silent(quiet);
    silent.start();
    kvports::PortListing present;
    for (const std::string& port :
         {answering.slavePath(), silent.slavePath(), collector->slavePath()}) {
        kvports::SerialPortInfo info;
        info.path = port;
        info.description = "pty " + port;
        present.ports.push_back(info);
    }
    PortFinder& finder = part<PortFinder>();
    finder.setListing([&] { return present; });
    finder.setTimeout(kvclient::Millis(500));

    finder.button()->click();
    ASSERT_TRUE(waitUntil([&] { return !finder.searching(); }));
    ASSERT_EQ(finder.results().size(), 2u) << "the open port is left alone";
    EXPECT_EQ(w<QComboBox>("SPREALCOM")->currentText().toStdString(), answering.slavePath());
    EXPECT_TRUE(portOpen());
    EXPECT_TRUE(status().contains(QStringLiteral("no answer"))) << status().toStdString();

    // Two collectors answer: a menu offers both.
    clickPortButton();  // Close: now the fixture's collector is tried too
    finder.button()->click();
    ASSERT_TRUE(waitUntil([&] { return !finder.searching(); }));
    ASSERT_EQ(finder.results().size(), 3u);
    auto* menu = window->findChild<QMenu*>(QStringLiteral("FindMenu"));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    menu->actions().at(1)->trigger();
    EXPECT_EQ(w<QComboBox>("SPREALCOM")->currentText().toStdString(), collector->slavePath());
    menu->close();

    // Opened by its adapter's serial number, the open port is left alone all the same.
    kvtest::FakeSysfs sysfs;
    sysfs.usbSerialPort("ttyUSB0", "1-1", "SIM001", collector->slavePath());
    window->setPortLayout(sysfs.layout());
    present.ports[2].serialNumber = "SIM001";
    w<QComboBox>("SPREALCOM")->setEditText(QStringLiteral("usb-serial:SIM001"));
    clickPortButton();
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    finder.button()->click();
    ASSERT_TRUE(waitUntil([&] { return !finder.searching(); }));
    EXPECT_EQ(finder.results().size(), 2u);
}

}  // namespace
