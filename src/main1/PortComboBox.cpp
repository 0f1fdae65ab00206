#include "main1/PortComboBox.h"

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

void PortComboBox::showPopup() {
    QList<PresentPort> ports = presentPorts();
    for (const PresentPort& port : pinned_) {
        bool present = false;
        for (const PresentPort& p : ports) present = present || p.name == port.name;
        if (!present) ports.append(port);
    }
    refreshPortList(this, ports);
    QComboBox::showPopup();
}
