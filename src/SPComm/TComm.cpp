#include "SPComm/TComm.h"

#include <cstring>
#include <new>
#include <utility>

#include "SPComm/CommPort.h"
#include "SPComm/TQueueChannel.h"
#include "SPComm/TWorkerLink.h"
#include "SPComm/net/NetCommPort.h"
#include "SPComm/net/NetPortName.h"

namespace spcomm {

namespace detail {

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

void TComm::Open() {
    if (port_) throw ECommsError("This serial port already opened");
    std::unique_ptr<detail::TCommPort> port =
        IsNetworkPortName(commName_)
            ? detail::OpenNetPort(commName_, std::chrono::milliseconds(connectTimeout_))
            : detail::OpenCommPort(detail::DeviceNameFor(commName_));
    if (detail::TPortError e = port->SetupComm(detail::kInputQueueSize, detail::kOutputQueueSize)) {
        throw ECommsError("Cannot setup comm buffer", e.code, e.reason);
    }
    port->PurgeAll();
    sendQueueEmpty_->store(true);
    port_ = std::move(port);  // the setters below see an open port from here on
    ApplyTimeouts();
    if (detail::TPortError e = port_->ApplyLineSettings(LineSettings())) {
        port_.reset();
        throw ECommsError("Cannot apply line settings", e.code, e.reason);
    }
    const std::uint32_t session = ++lastSession_ == 0 ? ++lastSession_ : lastSession_;
    try {
        port_->Start(std::make_shared<detail::TWorkerLink>(channel_, sendQueueEmpty_, session));
    } catch (...) {
        port_.reset();
        throw;
    }
    session_ = session;
    lineFailed_ = false;
}

void TComm::Close() {
    if (!port_) return;
    port_.reset();  // stops the receive worker, then the transmit worker, then closes
    session_ = 0;   // what the workers posted and the owner has not seen yet is dropped
    lineFailed_ = false;
    sendQueueEmpty_->store(true);
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
