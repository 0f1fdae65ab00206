// The ports present, as the toolkit-free port listing finds them (Windows: the SERIALCOMM
// device map and SetupAPI), so that the window needs no QtSerialPort there.
#include "main1/adapters/PortList.h"
#include "ports/SerialPorts.h"

namespace {

std::optional<quint16> hexId(const std::string& text) {
    bool ok = false;
    const uint value = QString::fromStdString(text).toUInt(&ok, 16);
    if (!ok || value > 0xFFFF) return std::nullopt;
    return static_cast<quint16>(value);
}

}  // namespace

QList<EnumeratedPort> enumeratedPorts() {
    QList<EnumeratedPort> ports;
    for (const kvports::SerialPortInfo& info : kvports::listSerialPorts().ports) {
        const QString name = QString::fromStdString(info.path);
        ports.append({name, QStringLiteral("\\\\.\\") + name,
                      QString::fromStdString(info.description),
                      QString::fromStdString(info.manufacturer), hexId(info.vendorId),
                      hexId(info.productId), QString::fromStdString(info.serialNumber)});
    }
    return ports;
}
