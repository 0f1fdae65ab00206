#include "ops/Line.h"

#include <chrono>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "ports/PortName.h"

namespace kvops {

// What the owner's thread and the opening thread share about one open.
struct Line::PendingOpen {
    std::mutex mutex;
    // The open. The opening thread runs it through its own pointer while `done` is false; the
    // owner never destroys it before then (only Cancel() it).
    std::unique_ptr<spcomm::TOpenRequest> request;  // guarded by mutex
    std::function<void()> ready;                    // guarded by mutex
    bool done = false;                              // guarded by mutex
    bool abandoned = false;                         // guarded by mutex
    std::optional<spcomm::ECommsError> failure;     // guarded by mutex
    bool wantSerial = false;                        // set before the thread starts
    std::string serial;                             // guarded by mutex
};

namespace {

// The device that `port` names now, or the serial component's open error saying why there is
// none (as a device that is not there fails to open).
std::string deviceFor(const std::string& port, const kvports::SysfsLayout& layout) {
    kvports::ResolvedPort device = kvports::resolvePortName(port, layout);
    if (device) return std::move(device.path);
    const spcomm::TCommErrorKind kind = device.problem == kvports::ResolvedPort::Problem::NotPlugged
                                            ? spcomm::TCommErrorKind::NotFound
                                            : spcomm::TCommErrorKind::Other;
    throw spcomm::ECommsError("Error opening serial port", kind, {}, device.message);
}

// The opening thread: runs the open, then hands the outcome over, or, when the owner has
// given the open up meanwhile, closes what it opened.
void runOpen(const std::shared_ptr<Line::PendingOpen>& pending, spcomm::TOpenRequest* request,
             const kvports::SysfsLayout& layout) {
    std::optional<spcomm::ECommsError> failure;
    std::string serial;
    try {
        const std::string port = request->CommName();
        request->SetCommName(deviceFor(port, layout));
        request->Run();
        if (pending->wantSerial) serial = adapterSerialOf(port);
    } catch (const spcomm::ECommsError& e) {
        failure = e;
    } catch (const std::exception& e) {
        failure = spcomm::ECommsError("Error opening serial port", {}, {}, e.what());
    }
    std::unique_ptr<spcomm::TOpenRequest> dropped;
    {
        const std::lock_guard lock(pending->mutex);
        pending->done = true;
        pending->failure = std::move(failure);
        pending->serial = std::move(serial);
        if (pending->abandoned)
            dropped = std::move(pending->request);
        else if (pending->ready)
            pending->ready();
    }
    // `dropped`, and the port it opened, are closed here, outside the lock.
}

}  // namespace

Line::Line(std::shared_ptr<spcomm::TDeliveryChannel> channel, std::uint32_t readIntervalMs)
    : comm_(std::make_unique<spcomm::TComm>(std::move(channel))) {
    comm_->SetBaudRate(kLineSettings.baud);
    comm_->SetByteSize(kLineSettings.byteSize);
    comm_->SetParity(kLineSettings.parity);
    comm_->SetStopBits(kLineSettings.stopBits);
    comm_->SetOutx_XonXoffFlow(false);
    comm_->SetInx_XonXoffFlow(false);
    comm_->SetReadIntervalTimeout(readIntervalMs);
    comm_->OnReceiveData = [this](spcomm::TComm*, const std::uint8_t* buffer,
                                  std::uint16_t length) {
        // The block's time on the line, taken by the receive worker (a block delivered by
        // hand has none: now).
        std::chrono::steady_clock::time_point at = comm_->ReceivedAt();
        if (at == std::chrono::steady_clock::time_point{}) at = std::chrono::steady_clock::now();
        tell({LineEvent::Kind::Received,
              std::string_view(reinterpret_cast<const char*>(buffer), length),
              {},
              at});
    };
    // Both workers may say so; the listeners hear it once.
    comm_->OnRequestHangup = [this](spcomm::TComm*) {
        if (noteHangUp()) tell({LineEvent::Kind::HungUp, {}, {}, {}});
    };
}

Line::~Line() {
    cancelOpen();
    comm_->Close();
}

Error Line::open(const std::string& port) {
    cancelOpen();
    comm_->Close();
    port_ = port;
    hungUp_ = false;
    try {
        comm_->SetCommName(deviceFor(port, portLayout_));
        comm_->Open();
    } catch (const spcomm::ECommsError& e) {
        history_.closed();
        return openError(e);
    }
    history_.opened(port, history_.on() ? adapterSerialOf(port) : std::string());
    return {};
}

void Line::startOpen(const std::string& port, std::function<void()> ready) {
    cancelOpen();
    comm_->Close();
    port_ = port;
    hungUp_ = false;
    comm_->SetCommName(port);
    auto pending = std::make_shared<PendingOpen>();
    pending->request = comm_->BeginOpen();
    pending->ready = std::move(ready);
    pending->wantSerial = history_.on();
    spcomm::TOpenRequest* request = pending->request.get();
    pending_ = pending;
    try {
        // Detached: an open that cannot be interrupted (a look-up) ends on its own; everything
        // it touches lives in `pending`.
        std::thread([pending, request, layout = portLayout_] {
            runOpen(pending, request, layout);
        }).detach();
    } catch (const std::system_error& e) {
        const std::lock_guard lock(pending->mutex);
        pending->done = true;
        pending->failure =
            spcomm::ECommsError("Error opening serial port", {},
                                {kvsys::ErrorSource::Errno, e.code().value()}, e.what());
        if (pending->ready) pending->ready();
    }
}

std::optional<Error> Line::finishOpen() {
    if (!pending_) return std::nullopt;
    std::unique_ptr<spcomm::TOpenRequest> request;
    std::optional<spcomm::ECommsError> failure;
    std::string serial;
    {
        const std::lock_guard lock(pending_->mutex);
        if (!pending_->done) return std::nullopt;
        request = std::move(pending_->request);
        failure = std::move(pending_->failure);
        serial = std::move(pending_->serial);
    }
    pending_.reset();
    history_.closed();
    if (failure) return openError(*failure);
    try {
        comm_->FinishOpen(*request);
    } catch (const spcomm::ECommsError& e) {
        return openError(e);
    }
    history_.opened(port_, std::move(serial));
    return Error{};
}

void Line::cancelOpen() {
    if (!pending_) return;
    std::unique_ptr<spcomm::TOpenRequest> dropped;
    std::function<void()> ready;
    {
        const std::lock_guard lock(pending_->mutex);
        pending_->abandoned = true;
        ready = std::exchange(pending_->ready, {});
        if (pending_->request) pending_->request->Cancel();
        if (pending_->done) dropped = std::move(pending_->request);
    }
    pending_.reset();
    // `dropped` (an open that had finished but was not taken) is closed here.
}

void Line::close() {
    cancelOpen();
    comm_->Close();
    hungUp_ = false;
    history_.closed();
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
