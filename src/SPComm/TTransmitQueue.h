// The transmit worker's queue: blocks written by the owner, taken by the transmit worker in
// the order written. The send-queue-empty flag is updated under the same lock as the queue,
// so it never reads "empty" while a block waits. Blocks left at destruction are freed unsent.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace spcomm::detail {

struct TTransmitBlock {
    std::unique_ptr<std::uint8_t[]> data;
    std::uint16_t length = 0;
};

class TTransmitQueue {
public:
    explicit TTransmitQueue(std::atomic<bool>& sendQueueEmpty) : sendQueueEmpty_(sendQueueEmpty) {}

    // Owner's thread. False (block freed) once the queue is closed.
    bool Push(TTransmitBlock block);
    // Transmit worker. The next block, or none after setting the send-queue-empty flag.
    std::optional<TTransmitBlock> Pop();
    // Refuses further blocks and frees those still queued.
    void Close();

private:
    std::atomic<bool>& sendQueueEmpty_;
    std::mutex mutex_;
    std::deque<TTransmitBlock> blocks_;
    bool closed_ = false;
};

}  // namespace spcomm::detail
