// Windows: WM_DEVICECHANGE with DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE for ports, as
// broadcast to every top-level window (no registration needed for the port class). Seen
// through a native event filter installed on the application.
#include <windows.h>
// after windows.h, which it builds on
#include <dbt.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include "main1/hotplug/PortChangeNotifier.h"

namespace {

class DeviceChangePortNotifier final : public PortChangeNotifier,
                                       public QAbstractNativeEventFilter {
public:
    DeviceChangePortNotifier() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~DeviceChangePortNotifier() override {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
    }
    QString how() const override { return QStringLiteral("device-change messages"); }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_DEVICECHANGE) return false;
        if (msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE) {
            const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(msg->lParam);
            if (header && header->dbch_devicetype == DBT_DEVTYP_PORT) emit portsMayHaveChanged();
        } else if (msg->wParam == DBT_DEVNODES_CHANGED) {
            emit portsMayHaveChanged();
        }
        return false;  // others may want it too
    }
};

}  // namespace

std::unique_ptr<PortChangeNotifier> makePortChangeNotifier() {
    if (QCoreApplication::instance()) return std::make_unique<DeviceChangePortNotifier>();
    return std::make_unique<PollingPortNotifier>();
}
