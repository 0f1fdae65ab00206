#include "SPComm/net/NetLine.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace spcomm::detail {
namespace {

using Clock = TNetOpenIo::Clock;

std::string Describe(const telnet::ComPortLine& l) {
    return std::to_string(l.baudRate) + " baud, " + std::to_string(l.dataSize) +
           " data bits, parity " + std::to_string(l.parity) + ", stop size " +
           std::to_string(l.stopSize);
}

// Reads and answers until done() holds, the deadline passes or the connection fails.
template <typename Done>
TPortError Await(std::optional<telnet::TTelnetSession>& session, TNetOpenIo& io,
                 Clock::time_point deadline, std::chrono::milliseconds answerTimeout,
                 const TNetErrorCodes& codes, std::vector<std::uint8_t>& early, Done done) {
    std::array<std::uint8_t, 512> raw{};
    std::vector<std::uint8_t> answer;
    while (!done()) {
        std::size_t n = 0;
        bool closed = false;
        if (TPortError e = io.Receive(raw.data(), raw.size(), n, closed, deadline)) return e;
        if (closed) return {codes.closed, "the server closed the connection", codes.source};
        if (n == 0) {
            return {codes.timedOut,
                    "the server did not confirm the line settings within " +
                        std::to_string(answerTimeout.count()) + " ms",
                    codes.source};
        }
        answer.clear();
        TakeReceived(session, raw.data(), n, early, answer);
        if (!answer.empty())
            if (TPortError e = io.Send(answer, deadline)) return e;
    }
    return {};
}

}  // namespace

telnet::ComPortLine ComPortLineFor(const TLineSettings& s) {
    telnet::ComPortLine line;
    line.baudRate = s.baudRate;
    line.dataSize = static_cast<std::uint8_t>(5 + static_cast<int>(s.byteSize));
    line.parity = static_cast<std::uint8_t>(1 + static_cast<int>(s.parity));
    line.stopSize = s.stopBits == TStopBits::_1 ? 1 : s.stopBits == TStopBits::_2 ? 2 : 3;
    return line;
}

std::vector<std::uint8_t> ControlsFor(const TLineSettings& s) {
    std::vector<std::uint8_t> controls;
    if (s.outxCtsFlow || s.rtsControl == TRtsControl::RtsHandshake)
        controls.push_back(3);
    else if (s.outxXonXoffFlow)
        controls.push_back(2);
    else
        controls.push_back(1);
    if (s.dtrControl != TDtrControl::DtrHandshake)
        controls.push_back(s.dtrControl == TDtrControl::DtrEnable ? 8 : 9);
    if (s.rtsControl == TRtsControl::RtsEnable || s.rtsControl == TRtsControl::RtsDisable)
        controls.push_back(s.rtsControl == TRtsControl::RtsEnable ? 11 : 12);
    return controls;
}

void TakeReceived(std::optional<telnet::TTelnetSession>& session, const std::uint8_t* raw,
                  std::size_t n, std::vector<std::uint8_t>& data,
                  std::vector<std::uint8_t>& answer) {
    if (session)
        session->Receive(raw, n, data, answer);
    else
        data.insert(data.end(), raw, raw + n);
}

bool TNetSessionState::Take(const std::uint8_t* raw, std::size_t n,
                            std::vector<std::uint8_t>& data) {
    const std::lock_guard lock(mutex_);
    const std::size_t before = answers_.size();
    TakeReceived(session_, raw, n, data, answers_);
    return answers_.size() > before;
}

void TNetSessionState::Escape(const std::uint8_t* data, std::size_t length,
                              std::vector<std::uint8_t>& out) {
    out.clear();
    const std::lock_guard lock(mutex_);
    if (session_)
        session_->Escape(data, length, out);
    else
        out.assign(data, data + length);
}

void TNetSessionState::QueueAnswers(const std::vector<std::uint8_t>& bytes) {
    const std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> TNetSessionState::TakeAnswers() {
    const std::lock_guard lock(mutex_);
    return std::exchange(answers_, {});
}

std::vector<std::uint8_t> TNetSessionState::TakeEarly() {
    const std::lock_guard lock(mutex_);
    return std::exchange(early_, {});
}

void TNetReceiveWorker::Run() {
    Begin();
    std::vector<std::uint8_t> early = state_.TakeEarly();
    for (;;) {
        std::size_t n = 0;
        // What came while the line was set goes first (it is below a block's size: the
        // server sends nothing the client has not asked for).
        if (!early.empty()) {
            n = std::min(early.size(), buffer_.size());
            std::copy_n(early.begin(), n, buffer_.begin());
            early.clear();
        }
        const Outcome outcome = ReadBlock(n);
        const auto readAt = std::chrono::steady_clock::now();
        if (outcome == Outcome::Closed) break;
        if (n > 0 && !WaitForRoom()) break;
        if (n > 0 && !link_.PostBlock(buffer_.data(), n, readAt)) break;
        if (outcome == Outcome::HungUp) {
            link_.RequestHangup();  // the connection was closed or broke
            break;
        }
    }
}

TPortError SetLineAtOpen(std::optional<telnet::TTelnetSession>& session,
                         const telnet::ComPortLine& line, const std::vector<std::uint8_t>& commands,
                         std::chrono::milliseconds answerTimeout, TNetOpenIo& io,
                         const TNetErrorCodes& codes, std::vector<std::uint8_t>& early) {
    const auto deadline = Clock::now() + answerTimeout;
    const auto await = [&](auto done) {
        return Await(session, io, deadline, answerTimeout, codes, early, done);
    };
    if (TPortError e = io.Send(session->Greeting(), deadline)) return e;
    if (TPortError e = await(
            [&] { return session->comPort() != telnet::TTelnetSession::ComPortState::Pending; }))
        return e;
    if (session->comPort() == telnet::TTelnetSession::ComPortState::Refused)
        return {codes.refused, "the server refuses the COM-PORT option (RFC 2217)", codes.source};
    session->ForgetConfirmations();
    if (TPortError e = io.Send(commands, deadline)) return e;
    if (TPortError e = await([&] { return session->confirmed().complete(); })) return e;
    const telnet::ComPortConfirmed& c = session->confirmed();
    const telnet::ComPortLine got{*c.baudRate, *c.dataSize, *c.parity, *c.stopSize};
    if (got != line)
        return {codes.mismatch, "the server set " + Describe(got) + " instead of " + Describe(line),
                codes.source};
    return {};
}

}  // namespace spcomm::detail
