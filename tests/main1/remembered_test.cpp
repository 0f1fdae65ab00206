// What the window remembers between runs, with windows made one after the other as runs of
// the program would make them. The store lives in the test run's own folder (the test main).
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <filesystem>

#include "FakeSysfs.h"
#include "PtyPair.h"
#include "WindowFixture.h"
#include "main1/ProfilePanel.h"
#include "main1/RememberedSettings.h"

namespace {

class RememberedTest : public kvtest::WindowTest {
protected:
    void TearDown() override {
        ProfilePanel::setFileHook({});
        WindowTest::TearDown();
    }
    void nextRun() { newWindow(); }
};

TEST_F(RememberedTest, ChoicesComeBackInTheNextRunButFieldsDoNot) {
    const kvtest::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const QString port = QString::fromLocal8Bit(pty.path().c_str());
    QTemporaryDir folders;
    ASSERT_TRUE(folders.isValid());

    struct Run {
        bool flag;  // "Reopen automatically" and the hex view
        QString folder;
        QPoint position;
    };
    const Run runs[] = {
        {true, folders.filePath("a"), QPoint(37, 41)},
        {false, folders.filePath("b"), QPoint(12, 9)},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.flag);
        ASSERT_TRUE(QDir().mkpath(run.folder));
        auto* list = w<QComboBox>("SPREALCOM");
        list->setEditText(port);
        clickPortButton();
        ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
        clickPortButton();
        list->setEditText(QStringLiteral("COM7"));  // typed, not opened: not remembered

        w<QCheckBox>("ReopenAutomatically")->setChecked(run.flag);
        w<QCheckBox>("TrafficHex")->setChecked(run.flag);
        ProfilePanel::setFileHook(
            [&](bool, const QString&) { return QDir(run.folder).filePath("missing.json"); });
        click("ProfileLoad");  // the folder is taken even though the file is missing
        modalMessages.clear();
        window->move(run.position);
        const QPoint where = window->pos();
        w<QLineEdit>("Station")->setText(QStringLiteral("123"));

        nextRun();
        EXPECT_EQ(w<QComboBox>("SPREALCOM")->currentText(), port);
        EXPECT_EQ(w<QCheckBox>("ReopenAutomatically")->isChecked(), run.flag);
        EXPECT_EQ(w<QCheckBox>("TrafficHex")->isChecked(), run.flag);
        EXPECT_EQ(part<ProfilePanel>().lastFolder(), run.folder);
        EXPECT_EQ(window->pos(), where);
        EXPECT_EQ(w<QLineEdit>("Station")->text(), QStringLiteral("000"));
        EXPECT_FALSE(portOpen());  // remembered, not opened
    }
}

// A port opened by its adapter's serial number comes back as that name in the next run, and
// opens the adapter where it is now.
TEST_F(RememberedTest, APortOpenedBySerialNumberComesBackByIt) {
    kvtest::PtyPair first;
    kvtest::PtyPair second;
    kvtest::FakeSysfs sysfs;
    sysfs.usbSerialPort("ttyUSB0", "1-1", "FT123ABC", first.path());
    window->setPortLayout(sysfs.layout());
    const QString name = QStringLiteral("usb-serial:FT123ABC");
    w<QComboBox>("SPREALCOM")->setEditText(name);
    clickPortButton();
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    clickPortButton();
    // Plugged in again, as ttyUSB1.
    std::filesystem::remove_all(std::filesystem::path(sysfs.layout().classTty) / "ttyUSB0");
    sysfs.usbSerialPort("ttyUSB1", "1-2", "FT123ABC", second.path());

    nextRun();
    window->setPortLayout(sysfs.layout());
    EXPECT_EQ(w<QComboBox>("SPREALCOM")->currentText(), name);
    clickPortButton();
    ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    click("Button14");  // a request goes to the adapter's new port
    EXPECT_FALSE(second.readText(1).empty());
}

// A store that cannot be read is noted on the status line and left as it is; the window
// starts as on a first run and works.
TEST_F(RememberedTest, BrokenStoreIsNotedAndLeftAlone) {
    const QString file = QSettings().fileName();
    struct Row {
        const char* what;
        bool directory;
        QByteArray content;
    };
    const Row rows[] = {
        {"damaged", false, QByteArray("[port]\nlast=/dev/ttyUSB0\nnot a settings line\n")},
        {"unreadable", true, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        window.reset();
        QFile::remove(file);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
        if (row.directory) {
            ASSERT_TRUE(QDir().mkpath(file));  // a folder where the file should be
        } else {
            QFile broken(file);
            ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
            broken.write(row.content);
        }
        nextRun();
        EXPECT_TRUE(window->statusBar()->currentMessage().contains(QStringLiteral("settings")))
            << window->statusBar()->currentMessage().toStdString();
        EXPECT_EQ(w<QComboBox>("SPREALCOM")->currentText(), QStringLiteral("COM3"));
        w<QCheckBox>("ReopenAutomatically")->setChecked(true);
        w<QCheckBox>("TrafficHex")->setChecked(true);
        window.reset();
        if (row.directory) {
            EXPECT_TRUE(QFileInfo(file).isDir());
            ASSERT_TRUE(QDir(file).removeRecursively());
        } else {
            QFile left(file);
            ASSERT_TRUE(left.open(QIODevice::ReadOnly));
            EXPECT_EQ(left.readAll(), row.content);
            left.close();
            QFile::remove(file);
        }
        nextRun();
        EXPECT_FALSE(window->statusBar()->currentMessage().contains(QStringLiteral("settings")));
    }
}

}  // namespace
