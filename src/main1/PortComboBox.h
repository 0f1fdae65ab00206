// The port list SPREALCOM: a drop-down list whose items are refreshed with the serial ports
// present each time it drops down, and into which a device path can be typed.
#pragma once

#include <QComboBox>

class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit PortComboBox(QWidget* parent = nullptr);
    void showPopup() override;
};
