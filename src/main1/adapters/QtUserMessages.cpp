#include "main1/adapters/QtUserMessages.h"

#include <QGuiApplication>
#include <QMessageBox>

#include "main1/adapters/Latin1.h"
#include "main1/adapters/StatusLine.h"

namespace {

std::function<void(const QString&)>& modalHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

}  // namespace

QtUserMessages::QtUserMessages(QWidget* parent, StatusLine& status)
    : parent_(parent), status_(status) {}

void QtUserMessages::showMessage(std::string_view text) {
    const QString message = fromLatin1Bytes(text);
    if (auto hook = modalHook()) {  // a copy: the hook may replace itself
        hook(message);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), message,
                    QMessageBox::Ok, parent_);
    box.exec();
}

void QtUserMessages::showStatus(std::string_view text) {
    // Why a frame was not sent stands until a frame is sent again.
    if (text.empty())
        status_.withdraw(StatusLine::Source::Exchange);
    else
        status_.problem(StatusLine::Source::Exchange, fromLatin1Bytes(text));
}

void QtUserMessages::setModalHook(std::function<void(const QString&)> hook) {
    modalHook() = std::move(hook);
}
