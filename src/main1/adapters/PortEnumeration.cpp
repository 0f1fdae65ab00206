#include "main1/adapters/PortEnumeration.h"

#include <QFile>
#include <algorithm>

namespace {

std::string local(const QString& text) {
    return QFile::encodeName(text).toStdString();
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
    for (const PortEntry& entry : entries)
        items.append({QFile::decodeName(entry.identity.path.c_str()), entry.toolTip});
    std::sort(items.begin(), items.end(),
              [](const PresentPort& a, const PresentPort& b) { return a.name < b.name; });
    return items;
}

const PortEntry* findPort(const QList<PortEntry>& entries, const QString& name) {
    const std::string wanted = local(name);
    if (wanted.empty()) return nullptr;
    for (const PortEntry& entry : entries)
        if (entry.identity.path == wanted || entry.identity.byIdPath == wanted) return &entry;
    return nullptr;
}
