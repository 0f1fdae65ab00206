// What the two workers of one open port share with the owner: the delivery channel, the
// send-queue-empty flag, and the rule that a hang-up is reported once per open port.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "SPComm/TComm.h"

namespace spcomm::detail {

class TWorkerLink {
public:
    TWorkerLink(std::shared_ptr<TDeliveryChannel> channel,
                std::shared_ptr<std::atomic<bool>> sendQueueEmpty)
        : channel_(std::move(channel)), sendQueueEmpty_(std::move(sendQueueEmpty)) {}

    // Copies n bytes (1..2048) into a fresh zero-terminated block and posts it. On failure
    // posts a hang-up request and returns false.
    bool PostBlock(const std::uint8_t* data, std::size_t n);
    // Posts PWM_RECEIVEERROR, PWM_MODEMSTATECHANGE or PWM_SENDDATAEMPTY; a failed post turns
    // into a hang-up request.
    bool PostValue(std::uint32_t id, std::uint32_t value = 0);
    // Posts PWM_REQUESTHANGUP the first time either worker calls it; later calls do nothing.
    void RequestHangup();
    bool HangupRequested() const { return hangupPosted_.load(); }

    std::atomic<bool>& sendQueueEmpty() { return *sendQueueEmpty_; }

private:
    std::shared_ptr<TDeliveryChannel> channel_;
    std::shared_ptr<std::atomic<bool>> sendQueueEmpty_;
    std::atomic<bool> hangupPosted_{false};
};

}  // namespace spcomm::detail
