// The ports present, as the toolkit-free port listing finds them (kvports: Linux sysfs,
// Windows the SERIALCOMM device map and SetupAPI): the same list as Find and `kv480t ports`.
#include <QFile>

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
        const QString path = QFile::decodeName(info.path.c_str());
#ifdef Q_OS_WIN
        const QString name = path;  // "COM4"
        const QString location = QStringLiteral("\\\\.\\") + name;
#else
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);  // "ttyUSB0"
        const QString location = path;
#endif
        // The tooltip's first line names the product; its maker follows on a line of its own.
        const std::string& description = info.product.empty() ? info.description : info.product;
        ports.append({name, location, QString::fromStdString(description),
                      QString::fromStdString(info.manufacturer), hexId(info.vendorId),
                      hexId(info.productId), QString::fromStdString(info.serialNumber)});
    }
    return ports;
}
