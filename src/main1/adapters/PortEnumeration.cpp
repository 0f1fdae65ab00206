#include "main1/adapters/PortEnumeration.h"

#include <QFile>
#include <algorithm>
#include <cstddef>

#include "ports/PortName.h"

namespace {

std::string local(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

// The entries as a port listing: paths and serial numbers, what usb-serial names go by.
kvports::PortListing listing(const QList<PortEntry>& entries) {
    kvports::PortListing ports;
    for (const PortEntry& entry : entries) {
        kvports::SerialPortInfo port;
        port.path = entry.identity.path;
        port.serialNumber = entry.identity.serialNumber;
        ports.ports.push_back(std::move(port));
    }
    return ports;
}

}  // namespace

QList<PortEntry> SystemPortEnumeration::presentPorts() {
    QList<PortEntry> entries;
    for (const EnumeratedPort& port : enumeratedPorts()) {
        PortEntry entry;
#ifdef Q_OS_WIN
        entry.identity.path = local(port.portName);  // TComm adds the "\\.\" prefix
#else
        entry.identity.path = local(port.systemLocation);
        entry.identity.byIdPath = kvports::stableLinkFor(entry.identity.path);
#endif
        entry.identity.serialNumber = port.serialNumber.toStdString();
        entry.toolTip = portToolTip(port.description, port.manufacturer, port.vendorId,
                                    port.productId, port.serialNumber);
        entries.append(entry);
    }
    return entries;
}

QList<PresentPort> listItems(const QList<PortEntry>& entries) {
    QList<PresentPort> items;
    const kvports::PortListing present = listing(entries);
    for (std::size_t i = 0; i < present.ports.size(); ++i) {
        const PortEntry& entry = entries[static_cast<qsizetype>(i)];
        items.append({QFile::decodeName(entry.identity.path.c_str()), entry.toolTip});
        // The adapter by its serial number as well: it opens wherever the adapter is plugged in.
        const std::string name = kvports::usbSerialNameFor(present, present.ports[i]);
        if (!name.empty())
            items.append({QString::fromStdString(name),
                          entry.toolTip + QStringLiteral("\nOpens this adapter on whichever port "
                                                         "it is plugged in as")});
    }
    std::sort(items.begin(), items.end(),
              [](const PresentPort& a, const PresentPort& b) { return a.name < b.name; });
    return items;
}

const PortEntry* findPort(const QList<PortEntry>& entries, const QString& name) {
    std::string wanted = local(name);
    if (wanted.empty()) return nullptr;
    if (kvports::isUsbSerialName(wanted)) {
        wanted = kvports::resolvePortName(wanted, listing(entries)).path;
        if (wanted.empty()) return nullptr;  // not present, or not one adapter's alone
    }
    for (const PortEntry& entry : entries)
        if (entry.identity.path == wanted || entry.identity.byIdPath == wanted) return &entry;
    return nullptr;
}
