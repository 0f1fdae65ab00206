// Keeps the list of present serial ports up to date: looks at the enumeration whenever the
// change notifier says adapters may have come or gone, and says when the list differs from
// the last look. Main thread only.
#pragma once

#include <QList>
#include <QObject>
#include <memory>

#include "main1/adapters/PortEnumeration.h"

class PortChangeNotifier;

class PortWatcher : public QObject {
    Q_OBJECT
public:
    PortWatcher(std::unique_ptr<PortEnumeration> enumeration,
                std::unique_ptr<PortChangeNotifier> notifier, QObject* parent = nullptr);
    ~PortWatcher() override;

    // Replaces the enumeration (tests simulate adapters with their own) and looks again.
    void setEnumeration(std::unique_ptr<PortEnumeration> enumeration);

    // Looks now; emits portsChanged when the ports differ from the last look.
    void rescan();
    const QList<PortEntry>& ports() const { return ports_; }
    const PortChangeNotifier& notifier() const { return *notifier_; }

signals:
    void portsChanged();

private:
    std::unique_ptr<PortEnumeration> enumeration_;
    std::unique_ptr<PortChangeNotifier> notifier_;
    QList<PortEntry> ports_;
};
