#include "main1/PortComboBox.h"

#include <QLineEdit>

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {}

int PortComboBox::pin(const QString& path, const QString& toolTip) {
    bool known = false;
    for (const PresentPort& port : pinned_) known = known || port.name == path;
    if (!known) pinned_.append({path, toolTip});
    int index = findText(path);
    if (index < 0) {
        addItem(path);
        index = count() - 1;
        if (!toolTip.isEmpty()) setItemData(index, toolTip, Qt::ToolTipRole);
    }
    return index;
}

void PortComboBox::setPortSource(std::function<QList<PresentPort>()> source) {
    source_ = std::move(source);
}

void PortComboBox::refresh(const QList<PresentPort>& present) {
    QList<PresentPort> ports = present;
    for (const PresentPort& port : pinned_) {
        bool listed = false;
        for (const PresentPort& p : ports) listed = listed || p.name == port.name;
        if (!listed) ports.append(port);
    }
    // The technician may be typing: the text stays (refreshPortList sees to that), and so do
    // the cursor and the marked part of it.
    QLineEdit* edit = lineEdit();
    const int cursor = edit ? edit->cursorPosition() : 0;
    const int selectionStart = edit ? edit->selectionStart() : -1;
    const int selectionLength = edit ? edit->selectionLength() : 0;
    refreshPortList(this, ports);
    if (edit) {
        if (selectionStart >= 0 && selectionLength > 0) {
            // setSelection puts the cursor at its far end; start from the cursor's side.
            if (cursor == selectionStart)
                edit->setSelection(selectionStart + selectionLength, -selectionLength);
            else
                edit->setSelection(selectionStart, selectionLength);
        } else {
            edit->setCursorPosition(cursor);
        }
    }
}

void PortComboBox::showPopup() {
    refresh(source_ ? source_() : presentPorts());
    QComboBox::showPopup();
}
