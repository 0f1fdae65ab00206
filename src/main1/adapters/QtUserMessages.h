// kvpresenter::UserMessages for the window: modal message box titled with the application's
// name, and the window's status bar. Main thread only.
//
// Tests install a modal hook: while one is set, showMessage hands the text to the hook
// instead of opening a box that would wait for a click.
#pragma once

#include <QString>
#include <functional>

#include "presenter/WindowInterfaces.h"

class StatusLine;
class QWidget;

class QtUserMessages : public kvpresenter::UserMessages {
public:
    QtUserMessages(QWidget* parent, StatusLine& status);

    void showMessage(std::string_view text) override;
    // An empty text withdraws the reason shown before.
    void showStatus(std::string_view text) override;

    // An empty hook restores the message box.
    static void setModalHook(std::function<void(const QString&)> hook);

private:
    QWidget* parent_;
    StatusLine& status_;
};
