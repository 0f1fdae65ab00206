// Entry point of every Qt test suite (GUI, adapters, end to end): a QApplication, offscreen
// unless told otherwise, with the window's font, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    // ctest sets this too; it matters here as well for test discovery and manual runs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
