// TBacklog: a delivery channel's bookkeeping of its backlog (see TDeliveryChannel): the
// weight of the messages it holds and the room signal. The channel calls every member but
// weight() under its own lock; weight() may be read from any thread without it.
#pragma once

#include <atomic>
#include <cstddef>
#include <utility>

#include "SPComm/TComm.h"

namespace spcomm {

class TBacklog {
public:
    void Added(const TCommMessage& message) {
        weight_.store(weight_.load(std::memory_order_relaxed) + BacklogWeight(message));
    }
    void Removed(const TCommMessage& message) { Lower(BacklogWeight(message)); }
    void Cleared() { Lower(weight_.load(std::memory_order_relaxed)); }
    std::size_t weight() const { return weight_.load(); }
    void SetRoomSignal(std::size_t lowWater, TDeliveryChannel::RoomSignal signal) {
        lowWater_ = lowWater;
        signal_ = std::move(signal);
    }

private:
    void Lower(std::size_t by) {
        const std::size_t before = weight_.load(std::memory_order_relaxed);
        const std::size_t after = before - by;
        weight_.store(after);
        if (signal_ && before >= lowWater_ && after < lowWater_) signal_();
    }

    std::atomic<std::size_t> weight_{0};
    std::size_t lowWater_ = 0;
    TDeliveryChannel::RoomSignal signal_;
};

}  // namespace spcomm
