#include "main1/adapters/QtDeliveryChannel.h"

#include <QMetaObject>
#include <deque>
#include <mutex>

#include "SPComm/TBacklog.h"

struct QtDeliveryChannel::State {
    std::mutex mutex;
    std::deque<spcomm::TCommMessage> queue;  // guarded by mutex
    spcomm::TBacklog backlog;                // changed under mutex, weight() read freely
    bool drainScheduled = false;             // guarded by mutex
    bool closed = false;                     // guarded by mutex
    Sink sink;                               // context's thread only
};

namespace {

using State = QtDeliveryChannel::State;

// One message at a time, so that messages posted meanwhile join the same drain in order and
// no second drain is scheduled while this one runs.
void drain(const std::weak_ptr<State>& weak) {
    const std::shared_ptr<State> state = weak.lock();
    if (!state) return;  // the channel is gone; its messages went with it
    for (;;) {
        spcomm::TCommMessage message;
        {
            std::lock_guard lock(state->mutex);
            if (state->closed || state->queue.empty()) {
                state->drainScheduled = false;
                return;
            }
            message = std::move(state->queue.front());
            state->queue.pop_front();
            state->backlog.Removed(message);
        }
        // A copy: the sink may replace itself, or destroy the channel, while it runs.
        if (const auto sink = state->sink) sink(std::move(message));
    }
}

}  // namespace

QtDeliveryChannel::QtDeliveryChannel(QObject* context)
    : context_(context), state_(std::make_shared<State>()) {}

QtDeliveryChannel::~QtDeliveryChannel() {
    std::deque<spcomm::TCommMessage> pending;
    {
        std::lock_guard lock(state_->mutex);
        state_->closed = true;
        pending.swap(state_->queue);
        state_->backlog.Cleared();
        state_->backlog.SetRoomSignal(0, {});
    }
    // pending (and the blocks it owns) is freed here, outside the lock.
}

bool QtDeliveryChannel::post(spcomm::TCommMessage&& message) {
    std::lock_guard lock(state_->mutex);
    if (state_->closed) return false;
    state_->backlog.Added(message);
    state_->queue.push_back(std::move(message));
    if (state_->drainScheduled) return true;
    std::weak_ptr<State> weak = state_;
    if (!QMetaObject::invokeMethod(
            context_, [weak] { drain(weak); }, Qt::QueuedConnection)) {
        state_->backlog.Removed(state_->queue.back());
        state_->queue.pop_back();
        return false;
    }
    state_->drainScheduled = true;
    return true;
}

void QtDeliveryChannel::setSink(Sink sink) {
    std::deque<spcomm::TCommMessage> dropped;
    if (!sink) {
        std::lock_guard lock(state_->mutex);
        dropped.swap(state_->queue);
        state_->backlog.Cleared();
    }
    state_->sink = std::move(sink);
}

std::size_t QtDeliveryChannel::backlog() const {
    return state_->backlog.weight();
}

void QtDeliveryChannel::setRoomSignal(std::size_t lowWater, RoomSignal signal) {
    std::lock_guard lock(state_->mutex);
    state_->backlog.SetRoomSignal(lowWater, std::move(signal));
}
