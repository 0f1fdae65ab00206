#include "SPComm/TTransmitQueue.h"

namespace spcomm::detail {

bool TTransmitQueue::Push(TTransmitBlock block) {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    blocks_.push_back(std::move(block));
    sendQueueEmpty_.store(false);
    return true;
}

std::optional<TTransmitBlock> TTransmitQueue::Pop() {
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) {
        sendQueueEmpty_.store(true);
        return std::nullopt;
    }
    TTransmitBlock block = std::move(blocks_.front());
    blocks_.pop_front();
    return block;
}

void TTransmitQueue::Close() {
    std::deque<TTransmitBlock> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(blocks_);
        sendQueueEmpty_.store(true);
    }
}

}  // namespace spcomm::detail
