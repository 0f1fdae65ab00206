// TQueueChannel: the plain delivery channel for tests and console programs. Workers post from
// any thread; the owner drains on its own thread, which runs the sink once per message in
// posting order. Messages still queued when the channel is destroyed are freed undelivered.
// Its backlog counts the messages queued and not yet taken out by drain().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "SPComm/TBacklog.h"
#include "SPComm/TComm.h"

namespace spcomm {

class TQueueChannel final : public TDeliveryChannel {
public:
    bool post(TCommMessage&& message) override;
    void setSink(Sink sink) override;
    std::size_t backlog() const override;
    void setRoomSignal(std::size_t lowWater, RoomSignal signal) override;

    // Owner's thread: delivers every message queued so far (and any posted meanwhile).
    // Returns the number handed to the sink; with no sink they are dropped and not counted.
    std::size_t drain();
    // Owner's thread: waits until at least one message is queued or the time-out passes,
    // then drains. Returns what drain() returns (0 after a time-out).
    std::size_t waitAndDrain(std::chrono::milliseconds timeout);
    std::size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<TCommMessage> queue_;
    TBacklog backlog_;
    Sink sink_;
};

}  // namespace spcomm
