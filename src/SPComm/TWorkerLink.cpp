#include "SPComm/TWorkerLink.h"

#include <cstring>
#include <new>

namespace spcomm::detail {

bool TWorkerLink::PostBlock(const std::uint8_t* data, std::size_t n,
                            std::chrono::steady_clock::time_point readAt) {
    if (n == 0 || n > UINT16_MAX) return false;
    TCommMessage message;
    message.id = PWM_GOTCOMMDATA;
    message.length = static_cast<std::uint16_t>(n);
    message.receivedAt = readAt;
    message.block.reset(new (std::nothrow) std::uint8_t[n + 1]);
    if (!message.block) {
        receivingSince_.store(0);
        RequestHangup();
        return false;
    }
    std::memcpy(message.block.get(), data, n);
    message.block[n] = 0;
    const bool posted = Post(std::move(message));
    receivingSince_.store(0);  // after the post: the block is in the channel by now
    if (posted) return true;
    RequestHangup();
    return false;
}

bool TWorkerLink::Post(TCommMessage&& message) {
    message.session = session_;
    return channel_->post(std::move(message));
}

bool TWorkerLink::PostValue(std::uint32_t id, std::uint32_t value) {
    TCommMessage message;
    message.id = id;
    message.value = value;
    if (Post(std::move(message))) return true;
    RequestHangup();
    return false;
}

void TWorkerLink::RequestHangup() {
    if (hangupPosted_.exchange(true)) return;
    TCommMessage message;
    message.id = PWM_REQUESTHANGUP;
    Post(std::move(message));
}

}  // namespace spcomm::detail
