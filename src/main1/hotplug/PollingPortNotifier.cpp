#include "main1/hotplug/PortChangeNotifier.h"

PollingPortNotifier::PollingPortNotifier(QObject* parent)
    : PortChangeNotifier(parent), timer_(this) {
    timer_.setInterval(kPollIntervalMs);
    timer_.setTimerType(Qt::VeryCoarseTimer);  // lets the system batch the wake-ups
    connect(&timer_, &QTimer::timeout, this, &PortChangeNotifier::portsMayHaveChanged);
    timer_.start();
}

QString PollingPortNotifier::how() const {
    return QStringLiteral("a look every %1 s").arg(kPollIntervalMs / 1000);
}
