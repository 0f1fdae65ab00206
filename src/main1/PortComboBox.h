// The port list SPREALCOM: a drop-down list whose items are refreshed with the serial ports
// present each time it drops down, and into which a device path can be typed. Ports added
// by the program (--port, the demo collector) stay offered across refreshes.
#pragma once

#include <QComboBox>
#include <QList>

#include "main1/adapters/PortList.h"

class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PortComboBox(QWidget* parent = nullptr);
    // Offers `path` from now on (once), with `toolTip`; returns its item index.
    int pin(const QString& path, const QString& toolTip = {});
    void showPopup() override;

private:
    QList<PresentPort> pinned_;
};
