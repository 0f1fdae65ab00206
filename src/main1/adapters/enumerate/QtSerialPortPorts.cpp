// The ports present, as QSerialPortInfo finds them (Linux, macOS).
#include <QSerialPortInfo>

#include "main1/adapters/PortList.h"

QList<EnumeratedPort> enumeratedPorts() {
    QList<EnumeratedPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const auto id = [](bool known, quint16 value) {
            return known ? std::optional<quint16>(value) : std::nullopt;
        };
        ports.append({info.portName(), info.systemLocation(), info.description(),
                      info.manufacturer(), id(info.hasVendorIdentifier(), info.vendorIdentifier()),
                      id(info.hasProductIdentifier(), info.productIdentifier()),
                      info.serialNumber()});
    }
    return ports;
}
