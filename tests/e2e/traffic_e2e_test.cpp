// The "Traffic" page on the whole road: the real window, its serial component and the
// simulated collector on a pseudo-terminal; and the page's model fed directly for its bound.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "FolderSnapshot.h"
#include "WindowFixture.h"
#include "main1/Tmainform1.h"
#include "main1/TrafficModel.h"
#include "main1/TrafficPage.h"
#include "main1/adapters/QtUserMessages.h"
#include "presenter/DeviceSession.h"
#include "sim/Collector.h"
#include "sim/DeviceState.h"

namespace {

using kvsim::Collector;

class TrafficE2E : public kvtest::WindowTest {
protected:
    void SetUp() override { WindowTest::SetUp(); }
    void TearDown() override {
        WindowTest::TearDown();
        collector.reset();
        TrafficPage::setFileHook({});
    }

    void openOn(kvsim::CollectorOptions options = {}) {
        collector = std::make_unique<Collector>(options);
        collector->start();
        openPort(collector->slavePath());
    }
    TrafficModel& model() { return part<TrafficPage>().model(); }
    // The table's text at a row and column, whole (the table cuts long blocks).
    std::string shown(int row, int column) {
        return model().index(row, column).data(TrafficModel::FullTextRole).toString().toStdString();
    }
    // Rows as shown (after the pending ones are announced), tab-separated.
    QStringList shownLines() {
        model().flush();
        QStringList lines;
        for (int row = 0; row < model().rowCount(); ++row) {
            QStringList fields;
            for (int column = 0; column < model().columnCount(); ++column)
                fields << model().index(row, column).data(TrafficModel::FullTextRole).toString();
            lines << fields.join(QLatin1Char('\t'));
        }
        return lines;
    }
    void readBack() { readParameters(); }

    kvtest::TestFolder folder{"kv480t-traffic"};
    const std::filesystem::path& dir = folder.path();
    std::unique_ptr<Collector> collector;
};

TEST_F(TrafficE2E, ThirdPageAfterTheFormsTwo) {
    auto* pages = w<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->widget(0), w<QWidget>("TabSheet2"));
    EXPECT_EQ(pages->widget(1), w<QWidget>("TabSheet19"));
    EXPECT_EQ(pages->widget(2), w<QWidget>("TrafficPage"));
    EXPECT_EQ(pages->tabText(2), QStringLiteral("Traffic"));
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(TrafficE2E, ReadBackSessionRowsInOrderWithTimesThenHexAndCopy) {
    openOn();
    readBack();
    clickPortButton();  // close
    model().flush();

    const std::string port = collector->slavePath();
    ASSERT_GE(model().rowCount(), 4);
    EXPECT_EQ(shown(0, 2), "EVENT");
    EXPECT_EQ(shown(0, 4), "opened " + port + ", 9600 baud 8N1");
    EXPECT_EQ(shown(1, 2), "TX");
    EXPECT_EQ(shown(1, 3), "15");
    EXPECT_EQ(shown(1, 4), "PPPPPP#CHEACK1#");
    const int last = model().rowCount() - 1;
    EXPECT_EQ(shown(last, 4), "closed");
    // Between them only received blocks, which together are the collector's listing.
    std::string received;
    for (int row = 2; row < last; ++row) {
        ASSERT_EQ(shown(row, 2), "RX") << row;
        received += model().rowAt(row).data;
        EXPECT_EQ(std::stoul(shown(row, 3)), model().rowAt(row).data.size());
    }
    EXPECT_EQ(received, kvsim::parameterText(collector->state()));
    // The table shows the start of each block, the whole of a short one.
    for (int row = 2; row < last; ++row) {
        QString cut = model().index(row, 4).data().toString();
        if (model().rowAt(row).data.size() > TrafficModel::kShownBytes) {
            EXPECT_TRUE(cut.endsWith(QStringLiteral(" ..."))) << row;
            cut.chop(4);
        }
        EXPECT_TRUE(QString::fromStdString(shown(row, 4)).startsWith(cut)) << row;
        EXPECT_GE(cut.size(), std::min<qsizetype>(TrafficModel::kShownBytes, shown(row, 4).size()));
    }
    for (int row = 0; row <= last; ++row) {
        const kvtraffic::Row r = model().rowAt(row);
        EXPECT_GE(r.sinceOpenMs, 0) << row;
        if (row == 0) continue;
        EXPECT_GE(r.wallMs, model().rowAt(row - 1).wallMs) << row;
        EXPECT_GE(r.sinceOpenMs, model().rowAt(row - 1).sinceOpenMs) << row;
    }
    EXPECT_NE(shown(2, 4).find("\\r\\n"), std::string::npos) << shown(2, 4);

    // Hex applies to every row's bytes, and back.
    w<QCheckBox>("TrafficHex")->click();
    EXPECT_EQ(shown(1, 4), "50 50 50 50 50 50 23 43 48 45 41 43 4B 31 23");
    char firstByte[3];
    std::snprintf(firstByte, sizeof firstByte, "%02X",
                  static_cast<unsigned char>(kvsim::parameterText(collector->state())[0]));
    EXPECT_EQ(shown(2, 4).substr(0, 3), firstByte + std::string(" "));
    EXPECT_EQ(shown(0, 4), "opened " + port + ", 9600 baud 8N1") << "events stay text";
    w<QCheckBox>("TrafficHex")->click();
    EXPECT_EQ(shown(1, 4), "PPPPPP#CHEACK1#");

    // Ctrl+C on the table copies the selected rows as tab-separated lines.
    w<QTabWidget>("PageControl1")->setCurrentIndex(2);
    auto* view = w<QTableView>("TrafficView");
    view->setFocus();
    view->selectionModel()->select(model().index(1, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->select(model().index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = shownLines();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), lines[0] + '\n' + lines[1] + '\n');
}

TEST_F(TrafficE2E, SavedFileReloadsAsTheShownRows) {
    openOn();
    readBack();
    for (const bool hex : {false, true}) {
        w<QCheckBox>("TrafficHex")->setChecked(hex);
        const QString path = QString::fromStdString((dir / "traffic.txt").string());
        TrafficPage::setFileHook([&](const QString&) { return path; });
        click("TrafficSave");
        QFile saved(path);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList reloaded = QString::fromUtf8(saved.readAll()).split('\n');
        ASSERT_EQ(reloaded.takeLast(), QString()) << "the last line ends too";
        ASSERT_FALSE(reloaded.isEmpty());
        EXPECT_EQ(reloaded.takeFirst(), QStringLiteral("time\tms since open\tkind\tlength\tdata"));
        EXPECT_EQ(reloaded, shownLines()) << "hex " << hex;
    }

    // CSV by the name: records end with CR LF, the opened event's comma gets it quoted.
    w<QCheckBox>("TrafficHex")->setChecked(false);
    const QString csvPath = QString::fromStdString((dir / "traffic.CSV").string());
    TrafficPage::setFileHook([&](const QString&) { return csvPath; });
    click("TrafficSave");
    QFile csv(csvPath);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = csv.readAll().split('\n');
    ASSERT_EQ(records.size(), model().rowCount() + 2);
    EXPECT_EQ(records[0], QByteArray("time,ms since open,kind,length,data\r"));
    EXPECT_TRUE(records[1].endsWith(",EVENT,,\"opened " +
                                    QByteArray::fromStdString(collector->slavePath()) +
                                    ", 9600 baud 8N1\"\r"))
        << records[1].toStdString();
    EXPECT_TRUE(records[2].endsWith(",TX,15,PPPPPP#CHEACK1#\r")) << records[2].toStdString();

    // Clear empties the table; what follows is shown again.
    click("TrafficClear");
    EXPECT_EQ(model().rowCount(), 0);
    clickPortButton();
    EXPECT_EQ(shownLines().size(), 1);
    EXPECT_EQ(shown(0, 4), "closed");
}

TEST_F(TrafficE2E, TimeOutMessagesAndFramesNotSentAreRows) {
    kvsim::CollectorOptions silent;
    silent.silent = true;
    openOn(silent);
    click("Button32");
    ASSERT_TRUE(kvtest::waitUntil([this] { return modalMessages.size() == 1; }, 8000));
    click("Button14");
    ASSERT_TRUE(kvtest::waitUntil([this] { return modalMessages.size() == 2; }, 8000));
    clickPortButton();  // close
    click("Button32");  // with the port closed: not sent, and no time-out follows

    QStringList rows;
    for (const QString& line : shownLines()) rows << line.section('\t', 2);
    const QString port = QString::fromStdString(collector->slavePath());
    EXPECT_EQ(rows, (QStringList{
                        "EVENT\t\topened " + port + ", 9600 baud 8N1",
                        "TX\t15\tPPPPPP#CHEACK1#",
                        "EVENT\t\tmessage shown: Parameter Query Timeout!",
                        "TX\t11\tPPPPPP#VAR#",
                        "EVENT\t\tmessage shown: Connection Timeout",
                        "EVENT\t\tclosed",
                        "TX\t15\tPPPPPP#CHEACK1#",
                        "EVENT\t\tnot sent: the port is not open",
                    }));
}

QStringList& modelTesterFailures() {
    static QStringList failures;
    return failures;
}

// The page's model keeps the newest 10,000 rows and announces its changes consistently.
TEST_F(TrafficE2E, TenThousandRowBoundThroughTheWindowsModel) {
    modelTesterFailures().clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext& context, const QString& text) {
            if (QLatin1StringView(context.category) == QLatin1StringView("qt.modeltest"))
                modelTesterFailures() << text;
        });
    auto tester = std::make_unique<QAbstractItemModelTester>(
        &model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    auto feed = [this](int from, int count) {
        for (int i = from; i < from + count; ++i)
            model().append(kvtraffic::Row{i, i, kvtraffic::Kind::Rx, std::to_string(i)});
    };
    const struct {
        int count;       // rows fed before the flush
        int firstShown;  // the oldest row kept
        const char* droppedRow;
    } steps[] = {
        {9999, 0, nullptr},
        {1, 0, nullptr},
        {123, 123, "... 123 earlier rows dropped"},
        {1, 124, "... 124 earlier rows dropped"},
        {25000, 25124, "... 25124 earlier rows dropped"},  // more than the bound at once
    };
    int fed = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(fed);
        feed(fed, step.count);
        fed += step.count;
        model().flush();
        const int extra = step.droppedRow ? 1 : 0;
        ASSERT_EQ(model().rowCount(), 10000 + extra - (step.droppedRow ? 0 : 10000 - fed));
        if (step.droppedRow) {
            EXPECT_EQ(shown(0, 4), step.droppedRow);
        }
        EXPECT_EQ(shown(extra, 4), std::to_string(step.firstShown));
        EXPECT_EQ(shown(model().rowCount() - 1, 4), std::to_string(fed - 1));
    }
    auto* view = w<QTableView>("TrafficView");
    EXPECT_EQ(view->model()->rowCount(), model().rowCount());
    tester.reset();
    qInstallMessageHandler(previous);
    EXPECT_EQ(modelTesterFailures(), QStringList()) << "the model's announcements";
}

}  // namespace
