// kvpresenter::Timer over a QTimer, with the classic timer's semantics: enabling a running timer
// leaves its period alone (QTimer::start would restart it); disabling stops it; a new
// interval restarts the period of a running timer, and setting the interval it already has
// changes nothing. Main thread only; the QTimer must outlive the adapter.
#pragma once

#include <QTimer>

#include "presenter/WindowInterfaces.h"

class QtTimer : public kvpresenter::Timer {
public:
    explicit QtTimer(QTimer* timer);

    bool enabled() const override;
    void setEnabled(bool enabled) override;
    int interval() const override;
    void setInterval(int ms) override;

private:
    QTimer* timer_;
};
