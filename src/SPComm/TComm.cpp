#include "SPComm/TComm.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "SPComm/CommPort.h"
#include "SPComm/TQueueChannel.h"
#include "SPComm/TWorkerLink.h"
#include "SPComm/net/NetCommPort.h"
#include "SPComm/net/NetPortName.h"

namespace spcomm {

namespace detail {

ECommsError OpenCancelled() {
    return ECommsError::FromSystem("Open cancelled", TCommErrorKind::Cancelled,
                                   {kvsys::kNativeSource, OpenCancelledCode()});
}

unsigned ComPortNumber(const std::string& name) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (name.size() <= 3 || name.size() > 9 || upper(name[0]) != 'C' || upper(name[1]) != 'O' ||
        upper(name[2]) != 'M' || name[3] == '0' ||
        name.find_first_not_of("0123456789", 3) != std::string::npos) {
        return 0;
    }
    return static_cast<unsigned>(std::stoul(name.substr(3)));
}

}  // namespace detail

TComm::TComm(std::shared_ptr<TDeliveryChannel> channel) : channel_(std::move(channel)) {
    if (!channel_) channel_ = std::make_shared<TQueueChannel>();
    channel_->setSink([this](TCommMessage&& message) { Deliver(std::move(message)); });
}

TComm::~TComm() {
    Close();
    channel_->setSink({});
}

TOpenRequest::TOpenRequest(std::unique_ptr<detail::TOpenWork> work) : work_(std::move(work)) {}

TOpenRequest::~TOpenRequest() = default;

void TOpenRequest::Run() {
    detail::TOpenWork& w = *work_;
    const auto cancelled = [] { return detail::OpenCancelled(); };
    if (w.port) throw ECommsError("This serial port already opened");
    if (w.cancel.IsSet()) throw cancelled();
    std::unique_ptr<detail::TCommPort> port;
    try {
        port = IsNetworkPortName(w.commName)
                   ? detail::OpenNetPort(w.commName, w.connectTimeout, &w.cancel)
                   : detail::OpenCommPort(detail::DeviceNameFor(w.commName));
        if (w.cancel.IsSet()) throw cancelled();
        if (detail::TPortError e =
                port->SetupComm(detail::kInputQueueSize, detail::kOutputQueueSize)) {
            throw ECommsError("Cannot setup comm buffer", TCommErrorKind::Other, e.system(),
                              e.reason);
        }
        port->PurgeAll();
        port->ApplyTimeouts(w.timeouts);
        if (detail::TPortError e = port->ApplyLineSettings(w.line)) {
            throw ECommsError("Cannot apply line settings", TCommErrorKind::Settings, e.system(),
                              e.reason);
        }
    } catch (const ECommsError&) {
        if (w.cancel.IsSet()) throw cancelled();  // whatever the wait that gave up said
        throw;
    }
    if (w.cancel.IsSet()) throw cancelled();  // `port` is closed on the way out
    w.port = std::move(port);
}

void TOpenRequest::Cancel() {
    work_->cancel.Set();
}

bool TOpenRequest::Cancelled() const {
    return work_->cancel.IsSet();
}

const std::string& TOpenRequest::CommName() const {
    return work_->commName;
}

void TOpenRequest::SetCommName(const std::string& name) {
    work_->commName = name;
}

void TComm::Open() {
    if (port_) throw ECommsError("This serial port already opened");
    std::unique_ptr<TOpenRequest> request = BeginOpen();
    request->Run();
    FinishOpen(*request);
}

std::unique_ptr<TOpenRequest> TComm::BeginOpen() const {
    auto work = std::make_unique<detail::TOpenWork>();
    work->commName = commName_;
    work->connectTimeout = std::chrono::milliseconds(connectTimeout_);
    work->line = LineSettings();
    work->timeouts = {ReadIntervalTimeout_, ReadTotalTimeoutMultiplier_, ReadTotalTimeoutConstant_,
                      WriteTotalTimeoutMultiplier_, WriteTotalTimeoutConstant_};
    return std::unique_ptr<TOpenRequest>(new TOpenRequest(std::move(work)));
}

void TComm::FinishOpen(TOpenRequest& request) {
    if (port_) throw ECommsError("This serial port already opened");
    if (!request.work_->port) throw std::logic_error("TComm::FinishOpen: the request did not open");
    sendQueueEmpty_->store(true);
    port_ = std::move(request.work_->port);  // the setters see an open port from here on
    const std::uint32_t session = ++lastSession_ == 0 ? ++lastSession_ : lastSession_;
    try {
        link_ = std::make_shared<detail::TWorkerLink>(channel_, sendQueueEmpty_, session);
        port_->Start(link_);
    } catch (...) {
        port_.reset();
        link_.reset();
        throw;
    }
    session_ = session;
    lineFailed_ = false;
}

void TComm::Close() {
    if (!port_) return;
    port_.reset();  // stops the receive worker, then the transmit worker, then closes
    link_.reset();
    session_ = 0;  // what the workers posted and the owner has not seen yet is dropped
    lineFailed_ = false;
    sendQueueEmpty_->store(true);
}

std::chrono::steady_clock::time_point TComm::ReceivingSince() const {
    return link_ ? link_->ReceivingSince() : std::chrono::steady_clock::time_point{};
}

bool TComm::IsOpen() const {
    return port_ != nullptr;
}

bool TComm::Write(const void* data, std::uint16_t length) {
    if (!port_ || lineFailed_ || length == 0) return false;
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[length + 1]);
    if (!block) return false;
    std::memcpy(block.get(), data, length);
    block[length] = 0;
    return port_->Write(std::move(block), length);  // a refused block is freed there
}

void TComm::Deliver(TCommMessage&& message) {
    if (message.session != 0 && message.session != session_) return;  // from a closed open
    switch (message.id) {
        case PWM_GOTCOMMDATA:
            receivedAt_ = message.receivedAt != std::chrono::steady_clock::time_point{}
                              ? message.receivedAt
                              : std::chrono::steady_clock::now();
            if (OnReceiveData && message.block)
                OnReceiveData(this, message.block.get(), message.length);
            receivedAt_ = {};  // only while the event runs
            break;
        case PWM_RECEIVEERROR:
            if (OnReceiveError) OnReceiveError(this, message.value);
            break;
        case PWM_REQUESTHANGUP:
            if (port_) lineFailed_ = true;  // before the handler, which may ask
            if (OnRequestHangup) OnRequestHangup(this);
            break;
        case PWM_MODEMSTATECHANGE:
            if (OnModemStateChange) OnModemStateChange(this, message.value);
            break;
        case PWM_SENDDATAEMPTY:
            if (OnSendDataEmpty) OnSendDataEmpty(this);
            break;
        default:
            break;
    }
}

bool TComm::ApplyTimeouts() {
    if (!port_) return true;
    port_->ApplyTimeouts({ReadIntervalTimeout_, ReadTotalTimeoutMultiplier_,
                          ReadTotalTimeoutConstant_, WriteTotalTimeoutMultiplier_,
                          WriteTotalTimeoutConstant_});
    return true;
}

bool TComm::ApplyLineSettings() {
    return !port_ || !port_->ApplyLineSettings(LineSettings());
}

detail::TLineSettings TComm::LineSettings() const {
    detail::TLineSettings s;
    s.baudRate = BaudRate_;
    s.parityCheck = ParityCheck_;
    s.outxCtsFlow = Outx_CtsFlow_;
    s.outxDsrFlow = Outx_DsrFlow_;
    s.dtrControl = DtrControl_;
    s.dsrSensitivity = DsrSensitivity_;
    s.txContinueOnXoff = TxContinueOnXoff_;
    s.outxXonXoffFlow = Outx_XonXoffFlow_;
    s.inxXonXoffFlow = Inx_XonXoffFlow_;
    s.replaceWhenParityError = ReplaceWhenParityError_;
    s.ignoreNullChar = IgnoreNullChar_;
    s.rtsControl = RtsControl_;
    s.xonLimit = XonLimit_;
    s.xoffLimit = XoffLimit_;
    s.byteSize = ByteSize_;
    s.parity = Parity_;
    s.stopBits = StopBits_;
    s.xonChar = XonChar_;
    s.xoffChar = XoffChar_;
    s.replacedChar = ReplacedChar_;
    return s;
}

}  // namespace spcomm
