// Shared helpers of the GUI suites: the real window, controls found by objectName, bounded
// waits on the Qt event loop, and the modal-box hook that records messages instead of
// blocking on a real box.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>

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
        window = std::make_unique<Tmainform1>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
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
    template <class T>
    T* w(const char* name) {
        return control<T>(*window, name);
    }

    std::unique_ptr<Tmainform1> window;
    QStringList modalMessages;
};

}  // namespace kvtest
