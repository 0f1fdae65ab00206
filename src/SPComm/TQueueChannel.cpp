#include "SPComm/TQueueChannel.h"

#include <utility>

namespace spcomm {

bool TQueueChannel::post(TCommMessage&& message) {
    {
        std::lock_guard lock(mutex_);
        backlog_.Added(message);
        queue_.push_back(std::move(message));
    }
    posted_.notify_one();
    return true;
}

void TQueueChannel::setSink(Sink sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

std::size_t TQueueChannel::drain() {
    std::size_t delivered = 0;
    for (;;) {
        TCommMessage message;
        Sink sink;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) break;
            message = std::move(queue_.front());
            queue_.pop_front();
            backlog_.Removed(message);
            sink = sink_;  // a handler may replace or clear the sink while it runs
        }
        if (sink) {
            sink(std::move(message));
            ++delivered;
        }
    }
    return delivered;
}

std::size_t TQueueChannel::waitAndDrain(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return 0;
    }
    return drain();
}

std::size_t TQueueChannel::backlog() const {
    return backlog_.weight();
}

void TQueueChannel::setRoomSignal(std::size_t lowWater, RoomSignal signal) {
    std::lock_guard lock(mutex_);
    backlog_.SetRoomSignal(lowWater, std::move(signal));
}

std::size_t TQueueChannel::pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace spcomm
