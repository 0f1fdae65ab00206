#include "main1/adapters/QtTimer.h"

QtTimer::QtTimer(QTimer* timer) : timer_(timer) {}

bool QtTimer::enabled() const {
    return timer_->isActive();
}

void QtTimer::setEnabled(bool enabled) {
    if (!enabled)
        timer_->stop();
    else if (!timer_->isActive())
        timer_->start();
}

int QtTimer::interval() const {
    return timer_->interval();
}

void QtTimer::setInterval(int ms) {
    // QTimer::setInterval restarts an active timer even when the value is unchanged.
    if (ms != timer_->interval()) timer_->setInterval(ms);
}
