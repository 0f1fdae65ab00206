#include "ops/Line.h"

#include <limits>

namespace kvops {

Line::Line(std::shared_ptr<spcomm::TDeliveryChannel> channel, std::uint32_t readIntervalMs)
    : comm_(std::make_unique<spcomm::TComm>(std::move(channel))) {
    comm_->SetBaudRate(kLineSettings.baud);
    comm_->SetByteSize(kLineSettings.byteSize);
    comm_->SetParity(kLineSettings.parity);
    comm_->SetStopBits(kLineSettings.stopBits);
    comm_->SetOutx_XonXoffFlow(false);
    comm_->SetInx_XonXoffFlow(false);
    comm_->SetReadIntervalTimeout(readIntervalMs);
}

Line::~Line() {
    comm_->Close();
}

Error Line::open(const std::string& port) {
    comm_->Close();
    port_ = port;
    hungUp_ = false;
    comm_->SetCommName(port);
    try {
        comm_->Open();
    } catch (const spcomm::ECommsError& e) {
        return openError(e);
    }
    return {};
}

void Line::close() {
    comm_->Close();
    hungUp_ = false;
}

bool Line::isOpen() const {
    return comm_->IsOpen();
}

Error Line::write(std::string_view frame) {
    if (!comm_->IsOpen()) return {ErrorCode::NotOpen, 0, {}};
    if (frame.empty()) return {ErrorCode::BadRequest, 0, "the frame is empty"};
    if (frame.size() > std::numeric_limits<std::uint16_t>::max())
        return {ErrorCode::BadRequest, 0, "the frame is longer than 65535 bytes"};
    if (comm_->Write(frame.data(), static_cast<std::uint16_t>(frame.size()))) return {};
    // An open port refuses a frame only once a worker has given up on the line (its notice
    // may still be on its way).
    return {ErrorCode::HungUp, 0, {}};
}

bool Line::noteHangUp() {
    return !std::exchange(hungUp_, true);
}

}  // namespace kvops
