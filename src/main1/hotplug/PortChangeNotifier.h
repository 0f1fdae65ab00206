// Tells the port watcher when serial adapters may have been plugged in or pulled.
//
// Linux with libudev: a udev monitor on the "tty" subsystem, its descriptor watched by a
// QSocketNotifier; no timer, nothing runs while nothing changes. Windows: the system's
// device-change broadcast (WM_DEVICECHANGE) seen through a native event filter. Elsewhere, and
// where those cannot be set up: a look every kPollIntervalMs. Main thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class PortChangeNotifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // How changes are noticed: "udev", "device-change messages" or "a look every 2 s".
    virtual QString how() const = 0;

signals:
    void portsMayHaveChanged();
};

// The periodic look.
class PollingPortNotifier final : public PortChangeNotifier {
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 2000;
    explicit PollingPortNotifier(QObject* parent = nullptr);
    QString how() const override;

private:
    QTimer timer_;
};

// The best notifier this build and system offer.
std::unique_ptr<PortChangeNotifier> makePortChangeNotifier();
