// The window's history: the real window offscreen, its history in a file of the test's own
// (--history), the simulated collector behind the open port. Undo last write, the History
// dialog's list and Restore, a history that cannot be opened.
//
// KV_HISTORY_SCREENSHOT=FILE also saves the window with the dialog over it after a restore (the
// README's docs/history-dialog.png).
#include <sqlite3.h>

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTableWidget>
#include <cstdlib>

#include "FolderSnapshot.h"
#include "WindowFixture.h"
#include "history/Store.h"
#include "main1/HistoryDialog.h"
#include "main1/ProfilePanel.h"
#include "main1/WindowHistory.h"
#include "sim/Collector.h"

namespace {

class HistoryTest : public kvtest::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WindowHistory::setQuestionHook([this](const QString& question) {
            questions << question;
            return true;
        });
        collector.start();
    }
    void TearDown() override {
        WindowHistory::setQuestionHook({});
        WindowTest::TearDown();
    }
    // A window keeping its history in `file`, its journal open.
    void windowWithHistory(const std::filesystem::path& file) {
        historyChoice = {WindowHistory::Choice::Kind::File, QString::fromStdString(file.string())};
        newWindow();
        ASSERT_TRUE(kvtest::waitUntil([this] { return history().journal() != nullptr; }))
            << status().toStdString();
    }
    WindowHistory& history() { return part<WindowHistory>(); }
    HistoryDialog* dialog() { return window->findChild<HistoryDialog*>(); }
    void setField(const char* control, const char* text) {
        auto* field = w<QLineEdit>(control);
        field->clear();
        QTest::keyClicks(field, text);
    }
    bool profileIdle() { return idle() && !part<ProfilePanel>().busy(); }
    void writeAll() {
        click("ProfileWriteAll");
        ASSERT_TRUE(kvtest::waitUntil([this] { return profileIdle(); }, 30000));
    }
    // Undo last write, answered yes; waits for its verified result on the status line.
    void undo() {
        ASSERT_TRUE(kvtest::waitUntil([this] {
            return w<QPushButton>("ProfileUndo")->isEnabled();
        })) << w<QPushButton>("ProfileUndo")->toolTip().toStdString();
        click("ProfileUndo");
        ASSERT_TRUE(kvtest::waitUntil(
            [this] { return profileIdle() && status().startsWith("Undo"); }, 30000))
            << status().toStdString();
    }

    kvtest::TestFolder folder{"window-history"};
    std::filesystem::path file = folder.path() / "history.db";
    kvsim::Collector collector;
    QStringList questions;
};

TEST_F(HistoryTest, UndoRestoresWhatWriteAllChangedAndUndoesItselfInTurn) {
    windowWithHistory(file);
    openPort(collector.slavePath());
    EXPECT_FALSE(w<QPushButton>("ProfileUndo")->isEnabled());
    readParameters();
    const std::int64_t urv = collector.state().number("ad1.urv");
    const std::int64_t lrv = collector.state().number("ad1.lrv");
    setField("AD1H", "000777");
    setField("AD1L", "000007");
    writeAll();
    ASSERT_EQ(collector.state().number("ad1.urv"), 777);

    undo();
    EXPECT_TRUE(status().startsWith("Undone: Write All")) << status().toStdString();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains("restore the 2 values it changed"))
        << questions[0].toStdString();
    EXPECT_TRUE(questions[0].contains("ad1.urv: 000777 -> ")) << questions[0].toStdString();
    EXPECT_EQ(collector.state().number("ad1.urv"), urv);
    EXPECT_EQ(collector.state().number("ad1.lrv"), lrv);

    // The undo was a write of its own: undoing it brings the written values back.
    undo();
    EXPECT_TRUE(status().startsWith("Undone: Undo")) << status().toStdString();
    EXPECT_EQ(collector.state().number("ad1.urv"), 777);
    EXPECT_EQ(collector.state().number("ad1.lrv"), 7);
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

TEST_F(HistoryTest, UndoWaitsForAListingReadBeforeTheWrite) {
    windowWithHistory(file);
    openPort(collector.slavePath());
    click("AD1SET");  // a Set button sends at once, from no listing
    ASSERT_TRUE(kvtest::waitUntil([this] { return idle(); }));
    ASSERT_TRUE(kvtest::waitUntil([this] {
        return w<QPushButton>("ProfileUndo")->toolTip().contains("no listing was read");
    })) << w<QPushButton>("ProfileUndo")->toolTip().toStdString();
    EXPECT_FALSE(w<QPushButton>("ProfileUndo")->isEnabled());
}

TEST_F(HistoryTest, TheDialogListsTheCollectorsEntriesAndRestoresAnOlderOne) {
    windowWithHistory(file);
    openPort(collector.slavePath());
    readParameters();
    const std::int64_t urv = collector.state().number("ad1.urv");
    setField("AD1H", "000555");
    writeAll();
    setField("AD1H", "000666");
    writeAll();
    ASSERT_EQ(collector.state().number("ad1.urv"), 666);

    click("ProfileHistory");
    ASSERT_TRUE(dialog() && dialog()->isVisible());
    EXPECT_FALSE(dialog()->isModal());
    auto* table = dialog()->findChild<QTableWidget*>("HistoryEntries");
    // Newest first: the second Write All's write entry heads the list, the first listing ends it.
    ASSERT_TRUE(kvtest::waitUntil([&] { return table->rowCount() >= 5; })) << table->rowCount();
    EXPECT_EQ(table->item(0, 1)->text(), QStringLiteral("Write All (write)"));
    EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("done"));
    const auto& entries = dialog()->entries();
    for (std::size_t i = 1; i < entries.size(); ++i)
        EXPECT_GE(entries[i - 1].timeMs, entries[i].timeMs) << i;
    const int first = table->rowCount() - 1;
    ASSERT_EQ(entries.back().kind, kvops::EntryKind::Listing);
    EXPECT_EQ(table->item(first, 4)->text().toStdString(), collector.slavePath());

    // The first listing's values beside the fields: ad1.urv differs (666 in the window).
    table->selectRow(first);
    auto* values = dialog()->findChild<QTableWidget*>("HistoryValues");
    ASSERT_TRUE(kvtest::waitUntil([&] { return values->rowCount() > 0; }));
    bool marked = false;
    for (int row = 0; row < values->rowCount(); ++row) {
        if (values->item(row, 0)->text() != QStringLiteral("ad1.urv")) continue;
        EXPECT_EQ(values->item(row, 1)->text().toLongLong(), urv);
        EXPECT_EQ(values->item(row, 2)->text(), QStringLiteral("000666"));
        marked = values->item(row, 1)->background() != QBrush();
    }
    EXPECT_TRUE(marked) << "ad1.urv is not marked as differing";

    const int rowsBefore = table->rowCount();
    QTest::mouseClick(dialog()->findChild<QPushButton*>("HistoryRestore"), Qt::LeftButton);
    auto* said = dialog()->findChild<QLabel*>("HistoryStatus");
    ASSERT_TRUE(kvtest::waitUntil(
        [&] { return profileIdle() && said->text().startsWith("Restore"); }, 30000))
        << said->text().toStdString();
    EXPECT_TRUE(said->text().startsWith("Restored: done")) << said->text().toStdString();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].contains("ad1.urv: 000666 -> ")) << questions[0].toStdString();
    EXPECT_EQ(collector.state().number("ad1.urv"), urv);
    // The restore is recorded and listed in turn (its before entry, then its write).
    ASSERT_TRUE(kvtest::waitUntil([&] {
        return table->rowCount() >= rowsBefore + 2 &&
               table->item(0, 1)->text() == QStringLiteral("restore (write)");
    })) << table->item(0, 1)->text().toStdString();
    EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("done"));
    if (const char* shotFile = std::getenv("KV_HISTORY_SCREENSHOT")) {
        table->selectRow(table->rowCount() - 1);
        QTest::qWait(300);
        table->scrollToTop();
        // The dialog over the window's lower part, the Profile group's buttons in sight.
        QImage shot = window->grab().toImage();
        QPainter painter(&shot);
        const QImage history = dialog()->grab().toImage();
        const QPoint at(shot.width() - history.width() - 12, shot.height() - history.height() - 36);
        painter.drawImage(at, history);
        painter.setPen(Qt::darkGray);
        painter.drawRect(QRect(at - QPoint(1, 1), history.size() + QSize(1, 1)));
        painter.end();
        ASSERT_TRUE(shot.save(QString::fromLocal8Bit(shotFile)));
    }
}

TEST_F(HistoryTest, AHistoryOfANewerSchemaIsSaidOnceAndTheWindowWorksOn) {
    ASSERT_FALSE(
        kvhistory::Store::createAtVersion(file.string(), kvhistory::Store::kSchemaVersion));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string before = kvtest::fileContents(file);

    historyChoice = {WindowHistory::Choice::Kind::File, QString::fromStdString(file.string())};
    newWindow();
    ASSERT_TRUE(kvtest::waitUntil([this] { return status().startsWith("History is off: "); }))
        << status().toStdString();
    EXPECT_TRUE(status().contains("newer version of kv480t-config")) << status().toStdString();
    EXPECT_EQ(history().journal(), nullptr);
    openPort(collector.slavePath());
    readParameters();
    setField("AD1H", "000444");
    writeAll();
    EXPECT_EQ(collector.state().number("ad1.urv"), 444);
    // Undo needs no history: the window keeps the state before its own last write.
    EXPECT_TRUE(kvtest::waitUntil([this] { return w<QPushButton>("ProfileUndo")->isEnabled(); }));
    click("ProfileHistory");
    EXPECT_TRUE(dialog()->findChild<QLabel*>("HistoryFile")->text().startsWith("History is off"));
    EXPECT_EQ(kvtest::fileContents(file), before);
    EXPECT_TRUE(modalMessages.isEmpty()) << modalMessages.join('|').toStdString();
}

TEST_F(HistoryTest, KeepHistoryAndTheFileChosenTakeEffectAtTheNextOpen) {
    const std::filesystem::path chosen = folder.path() / "chosen" / "kept.db";
    HistoryDialog::setChooseHook(
        [&](const QString&) { return QString::fromStdString(chosen.string()); });
    // As remembered (nothing yet): the default file, in the run's own data folder.
    ASSERT_TRUE(kvtest::waitUntil([this] { return history().journal() != nullptr; }));
    openPort(collector.slavePath());
    click("ProfileHistory");
    QTest::mouseClick(dialog()->findChild<QPushButton*>("HistoryChooseFile"), Qt::LeftButton);
    HistoryDialog::setChooseHook({});
    EXPECT_NE(history().file().toStdString(), chosen.string()) << "changed while open";
    clickPortButton();  // Close
    clickPortButton();  // Open
    ASSERT_TRUE(
        kvtest::waitUntil([&] { return history().file().toStdString() == chosen.string(); }));
    EXPECT_TRUE(std::filesystem::exists(chosen));
    // Remembered: a new window keeps it there, and "Keep history" off keeps nothing.
    newWindow();
    ASSERT_TRUE(
        kvtest::waitUntil([&] { return history().file().toStdString() == chosen.string(); }));
    click("ProfileHistory");
    dialog()->findChild<QCheckBox*>("HistoryKeep")->setChecked(false);
    EXPECT_EQ(history().journal(), nullptr);  // the port is closed: at once
    newWindow();
    QTest::qWait(100);
    EXPECT_EQ(history().journal(), nullptr);
    EXPECT_TRUE(history().offReason().contains("Keep history"));
}

}  // namespace
