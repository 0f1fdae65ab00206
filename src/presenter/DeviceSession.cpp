// The session's set commands and its shared frame output. The exchange controller's
// handlers live in ExchangeController.cpp.
#include "presenter/DeviceSession.h"

#include <string>

#include "presenter/WindowFrames.h"
#include "protocol/Conversions.h"
#include "protocol/SetCommands.h"

namespace kvproto {

namespace {

class SteadyClock : public Clock {
public:
    std::chrono::milliseconds now() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

}  // namespace

const Clock& steadyClock() {
    static const SteadyClock clock;
    return clock;
}

DeviceSession::DeviceSession(Controls& controls, Timer& timer3, Timer& timer6,
                             UserMessages& messages, SerialWrite& serial, const Clock& clock)
    : controls_(controls),
      timer3_(timer3),
      timer6_(timer6),
      messages_(messages),
      serial_(serial),
      clock_(clock),
      exchange_([this](std::string_view frame) -> kvops::Error {
          if (serial_.write(frame)) return {};
          return {kvops::ErrorCode::WriteRefused, 0, serial_.notSentReason()};
      }) {}

bool DeviceSession::writeFrame(std::string_view frame, kvops::Completeness completeness,
                               int timeoutMs) {
    requestPending_ = completeness == kvops::kRead.completeness ? kReadParameters : kReplyExpected;
    const std::optional<kvops::Outcome> refused =
        exchange_.send(frame, completeness, std::chrono::milliseconds{timeoutMs}, clock_.now());
    lastFrameSent_ = !refused;
    if (refused) {
        messages_.showStatus(serial_.notSentReason());
        notSentShown_ = true;
        ended(*refused);
        // The pending request code still names this request: a block that comes is handled
        // under it as if the frame had gone out.
        exchange_.expect(completeness, std::chrono::milliseconds{timeoutMs}, clock_.now());
        return false;
    }
    if (notSentShown_) {
        messages_.showStatus("");
        notSentShown_ = false;
    }
    return true;
}

void DeviceSession::ended(const kvops::Outcome& outcome) {
    if (observer_) observer_(requestPending_, outcome);
}

void DeviceSession::clearReceiveBuffer() {
    controls_.clear(kReceiveBuffer);
}

bool DeviceSession::setButtonClick(std::string_view button,
                                   std::optional<std::chrono::milliseconds> answerTime) {
    const SetCommand* command = findSetCommand(button);
    if (command == nullptr) return false;
    try {
        runSetCommand(*command, answerTime.value_or(kvops::answerTime(*command)));
    } catch (const ConversionError& error) {
        messages_.showMessage(error.message());
    }
    return true;
}

void DeviceSession::runSetCommand(const SetCommand& command, std::chrono::milliseconds answerTime) {
    const auto build = [&] { return buildSetFrame(command.word, command.fieldSpan(), controls_); };
    const auto writeFrame = [&](const std::string& frame) {
        return this->writeFrame(frame, kvops::kSetAnswer, static_cast<int>(answerTime.count()));
    };
    switch (command.sequence) {
        case SendSequence::A:
        case SendSequence::C: {
            const std::string frame = build();
            controls_.setText(kSendBuffer, frame);
            clearReceiveBuffer();
            writeFrame(frame);
            if (command.sequence == SendSequence::C) pending_ = kReplyExpected;
            break;
        }
        case SendSequence::B: {
            controls_.setText(kSendBuffer, "");
            clearReceiveBuffer();
            timeoutKind_ = kTimeoutSilent;
            // A query's longer time-out may have left its interval behind.
            if (timer3_.interval() != setTimeoutInterval_) timer3_.setInterval(setTimeoutInterval_);
            timer3_.setEnabled(true);
            const std::string frame = build();
            controls_.setText(kSendBuffer, frame);
            writeFrame(frame);
            pending_ = kReplyExpected;
            break;
        }
        case SendSequence::D: {
            timer3_.setEnabled(true);  // stays enabled if the build below fails
            const std::string frame = build();
            controls_.setText(kSendBuffer, frame);
            clearReceiveBuffer();
            writeFrame(frame);
            pending_ = kReplyExpected;
            timeoutKind_ = kTimeoutSilentLong;
            // A new interval restarts an enabled timer, so the time-out counts from the write.
            setTimeoutInterval_ = 3000;
            timer3_.setInterval(3000);
            timer3_.setEnabled(true);
            break;
        }
    }
}

}  // namespace kvproto
