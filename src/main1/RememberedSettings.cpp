#include "main1/RememberedSettings.h"

namespace {

constexpr const char* kLastPort = "port/last";
constexpr const char* kNetworkPorts = "port/network";
constexpr const char* kReopenAutomatically = "port/reopenAutomatically";
constexpr const char* kTrafficHex = "traffic/hex";
constexpr const char* kWindowPosition = "window/position";
constexpr const char* kProfileFolder = "profile/folder";
constexpr const char* kHistoryFile = "history/file";
constexpr const char* kHistoryOff = "history/off";

}  // namespace

RememberedSettings::RememberedSettings() : store_(std::make_unique<QSettings>()) {
    (void)store_->allKeys();  // sections are parsed when first needed: all of them, now
    switch (store_->status()) {
        case QSettings::NoError:
            return;
        case QSettings::AccessError:
            problem_ = QStringLiteral(
                           "The remembered settings (%1) cannot be read; starting "
                           "with the defaults and leaving them as they are.")
                           .arg(store_->fileName());
            break;
        case QSettings::FormatError:
            problem_ = QStringLiteral(
                           "The remembered settings (%1) are damaged; starting with "
                           "the defaults and leaving them as they are.")
                           .arg(store_->fileName());
            break;
    }
    store_.reset();
}

RememberedSettings::~RememberedSettings() {
    if (store_) store_->sync();
}

QVariant RememberedSettings::value(const char* key) const {
    return store_ ? store_->value(QLatin1StringView(key)) : QVariant();
}

void RememberedSettings::setValue(const char* key, const QVariant& value) {
    if (store_) store_->setValue(QLatin1StringView(key), value);
}

QStringList RememberedSettings::networkPorts() const {
    return value(kNetworkPorts).toStringList().mid(0, kNetworkPortsKept);
}

void RememberedSettings::rememberNetworkPort(const QString& port) {
    QStringList ports = networkPorts();
    ports.removeAll(port);
    ports.prepend(port);
    setValue(kNetworkPorts, ports.mid(0, kNetworkPortsKept));
}

QString RememberedSettings::lastPort() const {
    return value(kLastPort).toString();
}
void RememberedSettings::setLastPort(const QString& port) {
    setValue(kLastPort, port);
}

bool RememberedSettings::trafficHex() const {
    return value(kTrafficHex).toBool();
}
void RememberedSettings::setTrafficHex(bool hex) {
    setValue(kTrafficHex, hex);
}

bool RememberedSettings::reopenAutomatically() const {
    return value(kReopenAutomatically).toBool();
}
void RememberedSettings::setReopenAutomatically(bool automatic) {
    setValue(kReopenAutomatically, automatic);
}

std::optional<QPoint> RememberedSettings::windowPosition() const {
    const QVariant position = value(kWindowPosition);
    if (!position.canConvert<QPoint>() || position.isNull()) return std::nullopt;
    return position.toPoint();
}
void RememberedSettings::setWindowPosition(const QPoint& position) {
    setValue(kWindowPosition, position);
}

QString RememberedSettings::profileFolder() const {
    return value(kProfileFolder).toString();
}
void RememberedSettings::setProfileFolder(const QString& folder) {
    setValue(kProfileFolder, folder);
}

QString RememberedSettings::historyFile() const {
    return value(kHistoryFile).toString();
}
void RememberedSettings::setHistoryFile(const QString& file) {
    setValue(kHistoryFile, file);
}

bool RememberedSettings::historyOff() const {
    return value(kHistoryOff).toBool();
}
void RememberedSettings::setHistoryOff(bool off) {
    setValue(kHistoryOff, off);
}
