// Entry point of every Qt test suite (GUI, adapters, end to end): a QApplication, offscreen
// unless told otherwise, with the window's font, then GoogleTest. Settings the window
// remembers, and the collector's history it keeps, go to a folder of this run, never to the
// user's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // ctest sets this too; it matters here as well for test discovery and manual runs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    QApplication::setOrganizationName(QStringLiteral("KV480T-tests"));  // QSettings needs one
    QStandardPaths::setTestModeEnabled(true);
    const QTemporaryDir settingsHome;
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, settingsHome.path());
    qputenv("XDG_DATA_HOME", QFile::encodeName(settingsHome.path()));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
