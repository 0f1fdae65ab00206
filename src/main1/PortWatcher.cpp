#include "main1/PortWatcher.h"

#include <algorithm>

#include "main1/hotplug/PortChangeNotifier.h"

namespace {

void sortByPath(QList<PortEntry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const PortEntry& a, const PortEntry& b) {
        return a.identity.path < b.identity.path;
    });
}

}  // namespace

PortWatcher::PortWatcher(std::unique_ptr<PortEnumeration> enumeration,
                         std::unique_ptr<PortChangeNotifier> notifier, QObject* parent)
    : QObject(parent), enumeration_(std::move(enumeration)), notifier_(std::move(notifier)) {
    notifier_->setParent(this);  // found among the window's objects; still deleted here first
    ports_ = enumeration_->presentPorts();
    sortByPath(ports_);
    connect(notifier_.get(), &PortChangeNotifier::portsMayHaveChanged, this, &PortWatcher::rescan);
}

PortWatcher::~PortWatcher() = default;

void PortWatcher::setEnumeration(std::unique_ptr<PortEnumeration> enumeration) {
    enumeration_ = std::move(enumeration);
    rescan();
}

void PortWatcher::rescan() {
    QList<PortEntry> now = enumeration_->presentPorts();
    sortByPath(now);
    if (now == ports_) return;
    ports_ = std::move(now);
    emit portsChanged();
}
