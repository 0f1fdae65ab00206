// What the two workers of one open port share with the owner: the delivery channel, the
// send-queue-empty flag, the stamp of this open on every message, the backlog bound, and the
// rule that a hang-up is reported once per open port.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "SPComm/TComm.h"

namespace spcomm::detail {

class TWorkerLink {
public:
    TWorkerLink(std::shared_ptr<TDeliveryChannel> channel,
                std::shared_ptr<std::atomic<bool>> sendQueueEmpty, std::uint32_t session = 0)
        : channel_(std::move(channel)),
          sendQueueEmpty_(std::move(sendQueueEmpty)),
          session_(session) {}

    // Copies n bytes (1..2048) into a fresh zero-terminated block and posts it, stamped with
    // `readAt` (when the read that took it completed). On failure posts a hang-up request and
    // returns false.
    bool PostBlock(const std::uint8_t* data, std::size_t n,
                   std::chrono::steady_clock::time_point readAt);
    // Receive worker: the read in progress has taken bytes, the first of them at `at` (later
    // calls before the block is posted change nothing). PostBlock() forgets it once the block
    // is posted, so that an owner who finds nothing noted finds the block in its channel.
    void NoteReceiving(std::chrono::steady_clock::time_point at) {
        std::chrono::steady_clock::rep none = 0;
        receivingSince_.compare_exchange_strong(none, at.time_since_epoch().count());
    }
    // Any thread: since when the bytes the receive worker holds and has not posted yet began
    // to arrive; zero when it holds none.
    std::chrono::steady_clock::time_point ReceivingSince() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::steady_clock::duration(receivingSince_.load()));
    }

    // Posts PWM_RECEIVEERROR, PWM_MODEMSTATECHANGE or PWM_SENDDATAEMPTY; a failed post turns
    // into a hang-up request.
    bool PostValue(std::uint32_t id, std::uint32_t value = 0);
    // Posts PWM_REQUESTHANGUP the first time either worker calls it; later calls do nothing.
    void RequestHangup();
    bool HangupRequested() const { return hangupPosted_.load(); }

    std::atomic<bool>& sendQueueEmpty() { return *sendQueueEmpty_; }

    // Receive worker, before posting a block: true when the owner has fallen behind by
    // kBacklogHighWater or more; the worker then waits (watching its close event) until
    // Drained(), re-arming its room event before each check.
    bool Backlogged() const { return channel_->backlog() >= kBacklogHighWater; }
    bool Drained() const { return channel_->backlog() < kBacklogLowWater; }
    // Owner's thread: the signal that wakes a waiting receive worker (empty: none).
    void SetRoomSignal(TDeliveryChannel::RoomSignal signal) {
        channel_->setRoomSignal(kBacklogLowWater, std::move(signal));
    }

private:
    bool Post(TCommMessage&& message);

    std::shared_ptr<TDeliveryChannel> channel_;
    std::shared_ptr<std::atomic<bool>> sendQueueEmpty_;
    std::uint32_t session_;
    std::atomic<bool> hangupPosted_{false};
    std::atomic<std::chrono::steady_clock::rep> receivingSince_{0};  // 0: no bytes held
};

}  // namespace spcomm::detail
