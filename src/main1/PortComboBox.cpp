#include "main1/PortComboBox.h"

#include "main1/adapters/PortList.h"

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {}

void PortComboBox::showPopup() {
    refreshPortList(this);
    QComboBox::showPopup();
}
