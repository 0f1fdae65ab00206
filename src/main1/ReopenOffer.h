// After the open port hangs up (its adapter pulled), watches for the same adapter to come
// back: same serial number or same stable by-id link, never merely the same port name. Once
// it has been seen gone and is present again, the status line says so and offers "Reopen"; with
// "Reopen automatically" ticked it reopens by itself. A different adapter that took the old
// name is reported and left alone. A network port (rfc2217://, tcp://) whose connection
// closed is offered for reopening at once, same host and port, never reopened by itself: only
// connecting would tell whether its server is back.
//
// The window tells it when its port opened or closed and when the line hung up; reopening is
// the window's own Close-then-Open. Main thread only.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "ports/PortIdentity.h"

class QCheckBox;
class QPushButton;
class QStatusBar;
class StatusLine;
class PortWatcher;

class ReopenOffer : public QObject {
    Q_OBJECT
public:
    using Reopen = std::function<void(const QString& port)>;
    // Puts the "Reopen" button (hidden until offered) and the "Reopen automatically" box into
    // `bar`; its messages go to `status`.
    ReopenOffer(QStatusBar* bar, StatusLine& status, PortWatcher& watcher, Reopen reopen,
                QObject* parent);

    void portOpened(const QString& name);
    void portClosed();
    void hungUp();

    QCheckBox* automatic() const { return automatic_; }
    QPushButton* button() const { return button_; }
    // The name the offer would reopen; empty when nothing is offered.
    const QString& offeredPort() const { return offered_; }

private:
    void look();
    void reopenNow();
    void withdrawOffer();

    StatusLine& status_;
    PortWatcher& watcher_;
    Reopen reopen_;
    QPushButton* button_;
    QCheckBox* automatic_;

    QString openedName_;  // as the technician chose it
    std::optional<kvports::PortIdentity> opened_;
    bool network_ = false;  // the port opened is a network port
    bool hungUp_ = false;
    bool seenGone_ = false;       // since the hang-up
    bool otherReported_ = false;  // a different adapter on the old name, said once
    QString offered_;
};
