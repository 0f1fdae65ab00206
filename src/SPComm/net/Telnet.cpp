#include "SPComm/net/Telnet.h"

#include <initializer_list>
#include <string_view>

namespace spcomm::detail::telnet {

namespace {

constexpr std::size_t kMaxSubnegotiation = 64;
constexpr std::string_view kSignatureText = "kv480t-config";

// push_back, not insert of a list: GCC 12 at -O3 takes the latter for an overflow.
void Append(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) out.push_back(b);
}

void Verb(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& out) {
    Append(out, {kIac, verb, option});
}

}  // namespace

TTelnetSession::TTelnetSession(bool comPort)
    : wantComPort_(comPort), comPort_(comPort ? ComPortState::Pending : ComPortState::NotAsked) {}

std::vector<std::uint8_t> TTelnetSession::Greeting() {
    std::vector<std::uint8_t> out;
    const auto offer = [&](Option& option, std::uint8_t verb, std::uint8_t code) {
        if (option.enabled || option.requested) return;
        option.requested = true;
        Verb(verb, code, out);
    };
    offer(local_[kBinary], kWill, kBinary);
    offer(remote_[kBinary], kDo, kBinary);
    offer(remote_[kSuppressGoAhead], kDo, kSuppressGoAhead);
    if (wantComPort_) offer(local_[kComPort], kWill, kComPort);
    return out;
}

bool TTelnetSession::LocalSupported(std::uint8_t option) const {
    return option == kBinary || option == kSuppressGoAhead || (option == kComPort && wantComPort_);
}

bool TTelnetSession::RemoteSupported(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

void TTelnetSession::Receive(const std::uint8_t* bytes, std::size_t length,
                             std::vector<std::uint8_t>& data, std::vector<std::uint8_t>& answer) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
            case State::Data:
                if (b == kIac) {
                    state_ = State::Iac;
                } else {
                    // NVT: CR NUL stands for a bare CR.
                    if (!(b == 0 && lastWasCr_ && !receiveBinary())) data.push_back(b);
                    lastWasCr_ = b == '\r';
                }
                break;
            case State::Iac:
                if (b == kIac) {
                    data.push_back(kIac);
                    lastWasCr_ = false;
                    state_ = State::Data;
                } else if (b == kSb) {
                    sub_.clear();
                    subOverflow_ = false;
                    state_ = State::Sub;
                } else if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    state_ = State::Verb;
                } else {
                    state_ = State::Data;  // NOP, GA, DM, BRK, AYT, ...: nothing to do
                }
                break;
            case State::Verb:
                Command(verb_, b, answer);
                state_ = State::Data;
                break;
            case State::Sub:
                if (b == kIac) {
                    state_ = State::SubIac;
                } else if (sub_.size() < kMaxSubnegotiation) {
                    sub_.push_back(b);
                } else {
                    subOverflow_ = true;
                }
                break;
            case State::SubIac:
                if (b == kSe) {
                    if (!subOverflow_) Subnegotiation(answer);
                    state_ = State::Data;
                } else if (b == kIac) {
                    if (sub_.size() < kMaxSubnegotiation)
                        sub_.push_back(kIac);
                    else
                        subOverflow_ = true;
                    state_ = State::Sub;
                } else {
                    // IAC and anything but SE or IAC ends a broken subnegotiation; the byte
                    // is read as the command it names.
                    state_ = State::Iac;
                    --i;
                }
                break;
        }
    }
}

void TTelnetSession::Command(std::uint8_t verb, std::uint8_t code,
                             std::vector<std::uint8_t>& answer) {
    const bool local = verb == kDo || verb == kDont;  // the server asks about our side
    Option& option = local ? local_[code] : remote_[code];
    const bool positive = verb == kDo || verb == kWill;
    const std::uint8_t yes = local ? kWill : kDo;
    const std::uint8_t no = local ? kWont : kDont;
    const bool supported = local ? LocalSupported(code) : RemoteSupported(code);
    if (positive) {
        if (!supported) {
            Verb(no, code, answer);  // refused every time it is asked: no state changes
        } else if (!option.enabled) {
            option.enabled = true;
            if (!option.requested) Verb(yes, code, answer);
        }
        option.requested = false;
    } else {
        if (option.enabled || option.requested) {
            const bool wasRequested = option.requested;
            option.enabled = false;
            option.requested = false;
            if (!wasRequested) Verb(no, code, answer);
        }
    }
    if (local && code == kComPort && wantComPort_) {
        if (local_[kComPort].enabled)
            comPort_ = ComPortState::Accepted;
        else if (!positive)
            comPort_ = ComPortState::Refused;
    }
}

void TTelnetSession::Subnegotiation(std::vector<std::uint8_t>& answer) {
    if (sub_.size() < 2 || sub_[0] != kComPort || !wantComPort_) return;
    const std::uint8_t command = sub_[1];
    const std::size_t size = sub_.size() - 2;
    const std::uint8_t* value = sub_.data() + 2;
    switch (command) {
        case kServerOffset + kSignature:
            if (size == 0) {  // the server asks who we are
                AppendComPort(
                    kSignature,
                    std::vector<std::uint8_t>(kSignatureText.begin(), kSignatureText.end()),
                    answer);
            }
            break;
        case kServerOffset + kSetBaudRate:
            if (size == 4) {
                confirmed_.baudRate = std::uint32_t{value[0]} << 24 |
                                      std::uint32_t{value[1]} << 16 | std::uint32_t{value[2]} << 8 |
                                      value[3];
            }
            break;
        case kServerOffset + kSetDataSize:
            if (size == 1) confirmed_.dataSize = value[0];
            break;
        case kServerOffset + kSetParity:
            if (size == 1) confirmed_.parity = value[0];
            break;
        case kServerOffset + kSetStopSize:
            if (size == 1) confirmed_.stopSize = value[0];
            break;
        default:
            break;  // control lines, line/modem state, flow suspend/resume, purge: nothing to do
    }
}

void TTelnetSession::Escape(const std::uint8_t* bytes, std::size_t length,
                            std::vector<std::uint8_t>& out) const {
    const bool binary = sendBinary();
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == kIac) {
            out.push_back(kIac);
        } else if (bytes[i] == '\r' && !binary && (i + 1 == length || bytes[i + 1] != '\n')) {
            out.push_back(0);
        }
    }
}

void TTelnetSession::AppendComPort(std::uint8_t command, const std::vector<std::uint8_t>& value,
                                   std::vector<std::uint8_t>& out) {
    Append(out, {kIac, kSb, kComPort, command});
    for (std::uint8_t b : value) {
        out.push_back(b);
        if (b == kIac) out.push_back(kIac);
    }
    Append(out, {kIac, kSe});
}

std::vector<std::uint8_t> TTelnetSession::SetLine(const ComPortLine& line,
                                                  const std::vector<std::uint8_t>& controls) {
    std::vector<std::uint8_t> out;
    const std::uint32_t baud = line.baudRate;
    AppendComPort(kSetBaudRate,
                  {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                   static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)},
                  out);
    AppendComPort(kSetDataSize, {line.dataSize}, out);
    AppendComPort(kSetParity, {line.parity}, out);
    AppendComPort(kSetStopSize, {line.stopSize}, out);
    for (std::uint8_t control : controls) AppendComPort(kSetControl, {control}, out);
    return out;
}

}  // namespace spcomm::detail::telnet
