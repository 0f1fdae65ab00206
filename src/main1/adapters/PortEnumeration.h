// The seam through which the port watcher asks which serial ports are present: the system's
// enumeration in the program, a simulated one in tests (plugging and pulling adapters).
// Main thread only.
#pragma once

#include <QList>
#include <QString>

#include "main1/adapters/PortList.h"
#include "ports/PortIdentity.h"

// One present port: who it is and the tooltip its list item shows.
struct PortEntry {
    kvports::PortIdentity identity;
    QString toolTip;

    friend bool operator==(const PortEntry& a, const PortEntry& b) {
        return a.identity.path == b.identity.path && a.identity.byIdPath == b.identity.byIdPath &&
               a.identity.serialNumber == b.identity.serialNumber && a.toolTip == b.toolTip;
    }
};

class PortEnumeration {
public:
    virtual ~PortEnumeration() = default;
    // The ports present now, in any order.
    virtual QList<PortEntry> presentPorts() = 0;
};

// The ports of enumeratedPorts(); on Linux with their /dev/serial/by-id links.
class SystemPortEnumeration final : public PortEnumeration {
public:
    QList<PortEntry> presentPorts() override;
};

// The entries as list items, sorted by name: each entry's path, and the usb-serial name of each
// adapter whose serial number no other entry has (kvports::usbSerialNameFor).
QList<PresentPort> listItems(const QList<PortEntry>& entries);

// The entry that `name` opens (its path, its by-id link or its adapter's usb-serial name), or
// nullptr.
const PortEntry* findPort(const QList<PortEntry>& entries, const QString& name);
