// The port list SPREALCOM: a drop-down list whose items are refreshed with the serial ports
// present each time it drops down and whenever adapters come or go, and into which a device
// path can be typed. Ports added by the program (--port, the demo collector) stay offered
// across refreshes; a refresh keeps the selection, a typed text with its cursor, and never
// touches the port that is open.
#pragma once

#include <QComboBox>
#include <QList>
#include <functional>

#include "main1/adapters/PortList.h"

class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PortComboBox(QWidget* parent = nullptr);
    // Offers `path` from now on (once), with `toolTip`; returns its item index.
    int pin(const QString& path, const QString& toolTip = {});
    // Where the ports present come from when the list drops down (default: presentPorts()).
    void setPortSource(std::function<QList<PresentPort>()> source);
    // Shows `present` (and the pinned ports) after the fixed items.
    void refresh(const QList<PresentPort>& present);
    void showPopup() override;

private:
    QList<PresentPort> pinned_;
    std::function<QList<PresentPort>()> source_;
};
