// The real window for the GUI, end-to-end and benchmark programs: shown on Qt's offscreen
// platform, as on a first run, with message boxes recorded instead of blocking. Tests reach it
// as a user does: controls by objectName, clicks, the status line, the Receive Buffer; the
// window's parts (ProfilePanel, PortWatcher, ...) by type, and its timers by name.
#pragma once

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <string_view>

#include "WaitUntil.h"
#include "main1/Tmainform1.h"
#include "main1/adapters/QtUserMessages.h"

namespace kvtest {

template <class T>
T* control(QWidget& root, const char* name) {
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    if (!found) ADD_FAILURE() << "no control " << name;
    return found;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        QtUserMessages::setModalHook([this](const QString& text) { modalMessages << text; });
        forgetRememberedSettings();
        newWindow();
    }
    void TearDown() override {
        window.reset();
        QtUserMessages::setModalHook({});
    }
    // Every window starts as on a first run (the test main keeps the store in a folder of its
    // own).
    static void forgetRememberedSettings() {
        QSettings store;
        store.clear();
        store.sync();
    }
    // A new window in place of the last one, shown, its start-up tick of Timer6 passed (it
    // would run a read-back over whatever arrived first).
    void newWindow() {
        window.reset();
        window = std::make_unique<Tmainform1>(nullptr, historyChoice);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(waitUntil([this] { return !timer("Timer6").isActive(); }));
    }

    template <class T>
    T* w(const char* name) {
        return control<T>(*window, name);
    }
    // A part of the window that has no name of its own on the form.
    template <class T>
    T& part() {
        T* found = window->findChild<T*>();
        if (!found) throw std::logic_error("the window has no such part");
        return *found;
    }
    QTimer& timer(const char* name) { return *control<QTimer>(*window, name); }
    void click(const char* button) { QTest::mouseClick(w<QPushButton>(button), Qt::LeftButton); }

    // "Open" on `port`, put into the port list and selected; the port must open.
    void openPort(const std::string& port) {
        window->addPort(QString::fromStdString(port), true);
        clickPortButton();
        ASSERT_TRUE(portOpen()) << modalMessages.join('|').toStdString();
    }
    // A click on the port panel's button (Open, Close or Cancel) and, when it started an open,
    // the wait until that open is done: open, or failed and reported.
    void clickPortButton(int timeoutMs = 10000) {
        click("Button10");
        ASSERT_TRUE(waitUntil([this] { return !portOpening(); }, timeoutMs))
            << "the open did not finish; status: " << status().toStdString();
    }
    // The port panel offers "Close" while its port is open, "Cancel" while it opens.
    bool portOpen() { return w<QPushButton>("Button10")->text() == QStringLiteral("Close"); }
    bool portOpening() { return w<QPushButton>("Button10")->text() == QStringLiteral("Cancel"); }
    // No request under way: the reply time-out (Timer3) and the reply processing (Timer6)
    // both stopped.
    bool idle() { return !timer("Timer3").isActive() && !timer("Timer6").isActive(); }
    QString status() { return window->statusBar()->currentMessage(); }
    std::string memo() { return w<QPlainTextEdit>("Memo8")->toPlainText().toStdString(); }
    bool memoHas(std::string_view text) { return memo().find(text) != std::string::npos; }
    // "Read Parameters" and the wait for its read-back (the listing's last row is PUDL's).
    void readParameters(int timeoutMs = 8000) {
        click("Button32");
        ASSERT_TRUE(waitUntil([this] { return idle() && memoHas("PUDL:"); }, timeoutMs))
            << "no read-back; Memo8: " << memo();
    }

    std::unique_ptr<Tmainform1> window;
    QStringList modalMessages;
    // Where the next window keeps its history (--history, --no-history); by default as on a
    // first run, in the run's own data folder.
    WindowHistory::Choice historyChoice;
};

}  // namespace kvtest
