// Linux: udev's "tty" events. The monitor's descriptor is non-blocking; each time it is
// readable every queued event is taken and one notification goes out for the burst.
#include <libudev.h>

#include <QSocketNotifier>
#include <cstdio>

#include "main1/hotplug/PortChangeNotifier.h"

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};

class UdevPortNotifier final : public PortChangeNotifier {
public:
    // Takes over a receiving monitor.
    UdevPortNotifier(std::unique_ptr<udev, UdevDeleter> context,
                     std::unique_ptr<udev_monitor, UdevDeleter> monitor)
        : context_(std::move(context)),
          monitor_(std::move(monitor)),
          notifier_(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read) {
        connect(&notifier_, &QSocketNotifier::activated, this, [this] {
            bool any = false;
            while (udev_device* device = udev_monitor_receive_device(monitor_.get())) {
                udev_device_unref(device);
                any = true;
            }
            if (any) emit portsMayHaveChanged();
        });
    }
    QString how() const override { return QStringLiteral("udev"); }

private:
    std::unique_ptr<udev, UdevDeleter> context_;
    std::unique_ptr<udev_monitor, UdevDeleter> monitor_;
    QSocketNotifier notifier_;
};

}  // namespace

std::unique_ptr<PortChangeNotifier> makePortChangeNotifier() {
    std::unique_ptr<udev, UdevDeleter> context(udev_new());
    std::unique_ptr<udev_monitor, UdevDeleter> monitor;
    if (context) monitor.reset(udev_monitor_new_from_netlink(context.get(), "udev"));
    if (monitor &&
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "tty", nullptr) >= 0 &&
        udev_monitor_enable_receiving(monitor.get()) >= 0 &&
        udev_monitor_get_fd(monitor.get()) >= 0)
        return std::make_unique<UdevPortNotifier>(std::move(context), std::move(monitor));
    std::fprintf(stderr, "kv480t-config: no udev monitor; the port list is looked at every %d s\n",
                 PollingPortNotifier::kPollIntervalMs / 1000);
    return std::make_unique<PollingPortNotifier>();
}
