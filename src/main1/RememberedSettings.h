// What the window remembers between runs, in the platform's usual settings store (QSettings
// with the organisation and application names that main() sets): the last port opened, the
// network ports opened last, the traffic view's hex choice, "Reopen automatically", the window's
// position, the last profile folder and where the collector's history is kept (or that it is not).
// The collector's fields are never remembered: they start at their form values every time.
//
// A store that cannot be read (unreadable, not in the store's format) is left alone: every
// value reads as its default, nothing is written back over it, and problem() says why.
// Main thread only.
#pragma once

#include <QPoint>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class RememberedSettings {
public:
    RememberedSettings();  // the application's store
    ~RememberedSettings();

    // Empty, or a sentence for the status line when the store could not be read.
    const QString& problem() const { return problem_; }

    QString lastPort() const;
    void setLastPort(const QString& port);

    // The network ports (rfc2217://, tcp://) opened last, newest first, at most
    // kNetworkPortsKept.
    static constexpr int kNetworkPortsKept = 5;
    QStringList networkPorts() const;
    void rememberNetworkPort(const QString& port);

    bool trafficHex() const;
    void setTrafficHex(bool hex);

    bool reopenAutomatically() const;
    void setReopenAutomatically(bool automatic);

    std::optional<QPoint> windowPosition() const;
    void setWindowPosition(const QPoint& position);

    QString profileFolder() const;
    void setProfileFolder(const QString& folder);

    // The history database chosen in the History dialog (empty: the user's default one), and
    // whether history is kept at all.
    QString historyFile() const;
    void setHistoryFile(const QString& file);
    bool historyOff() const;
    void setHistoryOff(bool off);

private:
    QVariant value(const char* key) const;
    void setValue(const char* key, const QVariant& value);

    std::unique_ptr<QSettings> store_;
    QString problem_;
};
