#include "main1/adapters/QtControls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <stdexcept>
#include <utility>

#include "main1/adapters/Latin1.h"

namespace {

[[noreturn]] void fault(std::string_view name, const char* what) {
    throw std::logic_error("control " + std::string(name) + ": " + what);
}

}  // namespace

QtControls::QtControls(QWidget* root) : root_(root) {}

QWidget* QtControls::widget(std::string_view name) const {
    auto* w = root_->findChild<QWidget*>(fromLatin1Bytes(name));
    if (!w) fault(name, "no such widget");
    return w;
}

QComboBox* QtControls::list(std::string_view name) const {
    auto* w = qobject_cast<QComboBox*>(widget(name));
    if (!w) fault(name, "not a drop-down list");
    return w;
}

std::string QtControls::text(std::string_view control) const {
    QWidget* w = widget(control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return toLatin1Bytes(edit->text());
    if (auto* box = qobject_cast<QComboBox*>(w)) return toLatin1Bytes(box->currentText());
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        for (const MemoText& waiting : memosToShow_)
            if (waiting.memo == memo) return toLatin1Bytes(waiting.text);
        return toLatin1Bytes(memo->toPlainText());
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return toLatin1Bytes(button->text());
    if (auto* label = qobject_cast<QLabel*>(w)) return toLatin1Bytes(label->text());
    fault(control, "has no text");
}

void QtControls::setText(std::string_view control, std::string_view text) {
    QWidget* w = widget(control);
    const QString s = fromLatin1Bytes(text);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->setText(s);
    if (auto* box = qobject_cast<QComboBox*>(w))
        return box->isEditable() ? box->setEditText(s) : box->setCurrentText(s);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        for (MemoText& waiting : memosToShow_)
            if (waiting.memo == memo) {
                waiting.text = s;
                return;
            }
        if (memosToShow_.empty())
            QMetaObject::invokeMethod(
                root_, [this] { showMemos(); }, Qt::QueuedConnection);
        memosToShow_.push_back({memo, s});
        return;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->setText(s);
    if (auto* label = qobject_cast<QLabel*>(w)) return label->setText(s);
    fault(control, "has no text");
}

void QtControls::showMemos() {
    for (const MemoText& waiting : std::exchange(memosToShow_, {}))
        waiting.memo->setPlainText(waiting.text);
}

int QtControls::itemIndex(std::string_view control) const {
    return list(control)->currentIndex();
}

void QtControls::setItemIndex(std::string_view control, int index) {
    QComboBox* box = list(control);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

void QtControls::setEnabled(std::string_view control, bool enabled) {
    widget(control)->setEnabled(enabled);
}

void QtControls::clear(std::string_view memo) {
    QWidget* w = widget(memo);
    if (auto* m = qobject_cast<QPlainTextEdit*>(w)) {
        std::erase_if(memosToShow_, [m](const MemoText& waiting) { return waiting.memo == m; });
        return m->clear();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->clear();
    fault(memo, "cannot be cleared");
}
