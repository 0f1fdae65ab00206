// Systems without a change notification in this build: the periodic look.
#include "main1/hotplug/PortChangeNotifier.h"

std::unique_ptr<PortChangeNotifier> makePortChangeNotifier() {
    return std::make_unique<PollingPortNotifier>();
}
