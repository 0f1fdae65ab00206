#include "main1/adapters/PortList.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>

namespace {

// The name TComm opens: on Windows "COMn" (TComm adds the "\\.\" prefix), elsewhere the
// device path.
QString openName(const EnumeratedPort& port) {
#ifdef Q_OS_WIN
    return port.portName;
#else
    return port.systemLocation;
#endif
}

}  // namespace

QString portToolTip(const QString& description, const QString& manufacturer,
                    std::optional<quint16> vendorId, std::optional<quint16> productId,
                    const QString& serialNumber) {
    QStringList lines;
    if (!description.isEmpty()) lines << description;
    if (!manufacturer.isEmpty()) lines << manufacturer;
    if (vendorId && productId) {
        const auto hex = [](quint16 v) {
            return QString::number(v, 16).rightJustified(4, QLatin1Char('0')).toUpper();
        };
        lines << QStringLiteral("VID:PID %1:%2").arg(hex(*vendorId), hex(*productId));
    }
    if (!serialNumber.isEmpty()) lines << QStringLiteral("Serial number %1").arg(serialNumber);
    return lines.join(QLatin1Char('\n'));
}

QList<PresentPort> presentPorts(const QList<EnumeratedPort>& enumerated) {
    QList<PresentPort> ports;
    for (const EnumeratedPort& port : enumerated)
        ports.append(
            {openName(port), portToolTip(port.description, port.manufacturer, port.vendorId,
                                         port.productId, port.serialNumber)});
    std::sort(ports.begin(), ports.end(),
              [](const PresentPort& a, const PresentPort& b) { return a.name < b.name; });
    return ports;
}

QList<PresentPort> presentPorts() {
    return presentPorts(enumeratedPorts());
}

void refreshPortList(QComboBox* list, const QList<PresentPort>& present) {
    const QString current = list->currentText();
    const QSignalBlocker blocker(list);

    const int fixed = std::min(kFixedPortItems, list->count());
    while (list->count() > fixed) list->removeItem(list->count() - 1);
    for (int i = 0; i < fixed; ++i) list->setItemData(i, QVariant(), Qt::ToolTipRole);
    for (const PresentPort& port : present) {
        const int existing = list->findText(port.name, Qt::MatchExactly);
        if (existing >= 0) {
            list->setItemData(existing, port.toolTip, Qt::ToolTipRole);
            continue;
        }
        list->addItem(port.name);
        list->setItemData(list->count() - 1, port.toolTip, Qt::ToolTipRole);
    }

    const int again = list->findText(current, Qt::MatchExactly);
    if (again >= 0) {
        list->setCurrentIndex(again);
    } else if (list->isEditable()) {
        list->setCurrentIndex(-1);
        list->setEditText(current);
    } else {
        list->setCurrentIndex(-1);
    }
}

void refreshPortList(QComboBox* list) {
    refreshPortList(list, presentPorts());
}
