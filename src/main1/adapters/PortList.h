// The port list `SPREALCOM`: its 19 fixed items "COM1".."COM19", followed by the serial
// ports present on the machine (the toolkit-free port listing, kvports, as for Find and
// `kv480t ports`; all port I/O stays in TComm). Main thread only.
#pragma once

#include <QList>
#include <QString>
#include <optional>

class QComboBox;

// A port that is present: the name to open (on Linux and macOS its /dev path, on Windows
// "COMn") and a tooltip naming the adapter.
struct PresentPort {
    QString name;
    QString toolTip;
};

inline constexpr int kFixedPortItems = 19;

// Description, manufacturer, "VID:PID vvvv:pppp" (hex) and serial number, one per line,
// leaving out what is not known.
QString portToolTip(const QString& description, const QString& manufacturer,
                    std::optional<quint16> vendorId, std::optional<quint16> productId,
                    const QString& serialNumber);

// One port as the enumeration describes it.
struct EnumeratedPort {
    QString portName;        // "ttyUSB0", "COM4"
    QString systemLocation;  // "/dev/ttyUSB0", "\\.\COM4"
    QString description;
    QString manufacturer;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    QString serialNumber;
};

// The ports the enumeration finds now (kvports::listSerialPorts(); PortListing.cpp).
QList<EnumeratedPort> enumeratedPorts();

// The list items for `ports`, sorted by name.
QList<PresentPort> presentPorts(const QList<EnumeratedPort>& ports);

// The ports present now, sorted by name: presentPorts(enumeratedPorts()).
QList<PresentPort> presentPorts();

// Keeps the first kFixedPortItems items, replaces everything after them with `present`
// (names equal to a fixed item are not repeated; that item gets the tooltip), and selects the
// item whose text is the current text when there is one. Otherwise a typed text stays in an
// editable list, and a non-editable list whose selected port went away selects nothing.
// No change signals are emitted while the items are rebuilt.
void refreshPortList(QComboBox* list, const QList<PresentPort>& present);
void refreshPortList(QComboBox* list);
