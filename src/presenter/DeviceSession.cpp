#include "presenter/DeviceSession.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "presenter/QueryButtons.h"
#include "presenter/WindowFrames.h"
#include "protocol/Conversions.h"
#include "protocol/SetCommands.h"

namespace kvpresenter {

using kvproto::ConversionError;
using kvproto::SendSequence;
using kvproto::SetCommand;

DeviceSession::DeviceSession(Controls& controls, Timer& timer3, Timer& timer6,
                             UserMessages& messages, SerialWrite& serial, const kvops::Clock& clock)
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
    lastFrame_ = std::string(frame);
    if (recording_) {
        if (recording_->frame.empty())
            recording_->frame = lastFrame_;
        else
            finishRecording(std::nullopt);  // this request ends the recorded one unanswered
    }
    requestPending_ = completeness == kvops::kRead.completeness ? PendingRequest::ReadParameters
                                                                : PendingRequest::ReplyExpected;
    setAnswer_ = completeness == kvops::kSetAnswer;
    const std::optional<kvops::Outcome> refused =
        exchange_.send(frame, completeness, std::chrono::milliseconds{timeoutMs}, clock_.now());
    lastFrameSent_ = !refused;
    if (refused) {
        messages_.showStatus(serial_.notSentReason());
        notSentShown_ = true;
        ended(*refused);
        // The pending request still names this request: a block that comes is handled
        // under it as if the frame had gone out.
        exchange_.expect(completeness, std::chrono::milliseconds{timeoutMs}, clock_.now());
        armClock();
        return false;
    }
    if (notSentShown_) {
        messages_.showStatus("");
        notSentShown_ = false;
    }
    armClock();
    return true;
}

void DeviceSession::ended(const kvops::Outcome& outcome) {
    if (recording_ && !recording_->frame.empty()) finishRecording(outcome);
    if (observer_) observer_(requestPending_, outcome);
}

void DeviceSession::startRecording(std::string what) {
    if (history_ == nullptr) return;
    finishRecording(std::nullopt);
    recording_ = Recording{what, {}, 0, ++recordings_};
    const std::weak_ptr<int> alive = alive_;
    history_->before(std::move(what), [this, alive, serial = recordings_](std::int64_t id,
                                                                          const kvops::Error&) {
        // A failure to keep it is the history's problem to tell; the frame went out anyway.
        if (alive.lock() && recording_ && recording_->serial == serial) recording_->before = id;
    });
}

void DeviceSession::finishRecording(const std::optional<kvops::Outcome>& outcome) {
    if (!recording_ || history_ == nullptr) return;
    Recording recording = std::move(*recording_);
    recording_.reset();
    if (recording.frame.empty()) return;  // nothing was written
    kvops::LineHistory::Write write;
    write.what = std::move(recording.what);
    write.before = recording.before;
    std::optional<std::string> answer;
    if (outcome && outcome->answered()) answer = outcome->reply;
    if (outcome && outcome->status == kvops::Status::NotSent) {
        write.error = outcome->error;
    } else {
        write.frames.push_back({std::move(recording.frame), std::move(answer)});
        if (outcome && outcome->status == kvops::Status::HungUp) write.error = outcome->error;
    }
    history_->write(std::move(write));
}

void DeviceSession::clearReceiveBuffer() {
    controls_.clear(kReceiveBuffer);
}

bool DeviceSession::setButtonClick(std::string_view button,
                                   std::optional<std::chrono::milliseconds> answerTime,
                                   bool record) {
    const SetCommand* command = kvproto::findSetCommand(button);
    if (command == nullptr) return false;
    if (record) {
        // A frame that cannot be built goes nowhere, and is not recorded either.
        try {
            (void)buildSetFrame(command->word, command->fieldSpan(), controls_);
            startRecording("Set " + std::string(command->word));
        } catch (const ConversionError&) {
        }
    }
    try {
        runSetCommand(*command, answerTime.value_or(kvops::answerTime(*command)), [command, this] {
            return buildSetFrame(command->word, command->fieldSpan(), controls_);
        });
    } catch (const ConversionError& error) {
        messages_.showMessage(error.message());
    }
    return true;
}

void DeviceSession::sendSetCommand(const SetCommand& command,
                                   const kvproto::CollectorSettings& values,
                                   std::chrono::milliseconds answerTime) {
    try {
        runSetCommand(command, answerTime, [&] { return kvproto::buildSetFrame(command, values); });
    } catch (const ConversionError& error) {
        messages_.showMessage(error.message());
    } catch (const std::invalid_argument& error) {
        messages_.showMessage(error.what());
    }
}

void DeviceSession::runSetCommand(const SetCommand& command, std::chrono::milliseconds answerTime,
                                  const std::function<std::string()>& build) {
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
            if (command.sequence == SendSequence::C) pending_ = PendingRequest::ReplyExpected;
            break;
        }
        case SendSequence::B: {
            controls_.setText(kSendBuffer, "");
            clearReceiveBuffer();
            timeoutKind_ = TimeoutKind::Silent;
            // A query's longer time-out may have left its interval behind.
            if (timer3_.interval() != setTimeoutInterval_) timer3_.setInterval(setTimeoutInterval_);
            timer3_.setEnabled(true);
            const std::string frame = build();
            controls_.setText(kSendBuffer, frame);
            writeFrame(frame);
            pending_ = PendingRequest::ReplyExpected;
            break;
        }
        case SendSequence::D: {
            timer3_.setEnabled(true);  // stays enabled if the build below fails
            const std::string frame = build();
            controls_.setText(kSendBuffer, frame);
            clearReceiveBuffer();
            writeFrame(frame);
            pending_ = PendingRequest::ReplyExpected;
            timeoutKind_ = TimeoutKind::SilentLong;
            // A new interval restarts an enabled timer, so the time-out counts from the write.
            setTimeoutInterval_ = 3000;
            timer3_.setInterval(3000);
            timer3_.setEnabled(true);
            break;
        }
    }
}

void DeviceSession::runQuery(const QueryButton& query) {
    bool sent = false;
    for (QueryStep step : query.stepSpan()) {
        switch (step) {
            case QueryStep::SetPending:
                pending_ = query.pending;
                // The new request replaces the one in progress: an earlier request's
                // time-out, if it is still running, no longer speaks for anything.
                timeoutKind_ = TimeoutKind::Silent;
                break;
            case QueryStep::ShowFrame:
                controls_.setText(kSendBuffer, query.frame);
                break;
            case QueryStep::ClearReceive:
                clearReceiveBuffer();
                break;
            case QueryStep::Write: {
                const kvops::Request& request =
                    query.pending == PendingRequest::ReadParameters   ? kvops::kRead
                    : query.pending == PendingRequest::DataQuery      ? kvops::kDataQuery
                    : query.pending == PendingRequest::ParameterReset ? kvops::kReset
                                                                      : kvops::kCommunicationTest;
                sent = writeFrame(request.frame, request.completeness, kQueryTimeoutMs);
                break;
            }
            case QueryStep::ArmTimeout:
                if (!sent) break;
                timeoutKind_ = query.timeoutKind;
                // Count the time-out from this request, even if an earlier one is running, and
                // give a slow collector the same time whatever MTM did to the interval.
                timer3_.setEnabled(false);
                timer3_.setInterval(kQueryTimeoutMs);
                timer3_.setEnabled(true);
                break;
        }
    }
}

void DeviceSession::readParametersClick(bool intoFields) {
    conversionShown_ = false;
    listingBlock_ = false;  // a Timer6 started by an earlier block finds nothing to read
    intoFields_ = intoFields;
    runQuery(queryButtons()[0]);
}
void DeviceSession::communicationTestClick() {
    runQuery(queryButtons()[1]);
}
void DeviceSession::dataQueryClick() {
    runQuery(queryButtons()[2]);
}
void DeviceSession::parameterInitializationClick() {
    startRecording("Parameter Initialization");
    runQuery(queryButtons()[3]);
}

void DeviceSession::lineEvent(const kvops::LineEvent& event) {
    using Kind = kvops::LineEvent::Kind;
    if (event.kind == Kind::HungUp) {
        lineHungUp();
    } else if (event.kind == Kind::Received) {
        std::optional<std::chrono::milliseconds> at;
        if (event.at != std::chrono::steady_clock::time_point{})
            at = std::chrono::duration_cast<std::chrono::milliseconds>(event.at.time_since_epoch());
        receiveData(reinterpret_cast<const std::uint8_t*>(event.data.data()), event.data.size(),
                    at);
    }
}

void DeviceSession::receiveData(const std::uint8_t* buffer, std::size_t length,
                                std::optional<std::chrono::milliseconds> at) {
    // Each byte becomes one character; a zero byte included.
    std::string_view block;
    if (length > 0) block = {reinterpret_cast<const char*>(buffer), length};
    // The collector answered: no time-out message for this request.
    timer3_.setEnabled(false);
    timeoutKind_ = TimeoutKind::Silent;
    const std::chrono::milliseconds now = at.value_or(clock_.now());
    exchange_.received(block, now);
    if (pending_ == PendingRequest::ReadParameters && !block.empty()) listingBlock_ = true;
    // The receive buffer shows the reply so far: a reply in pieces is shown whole.
    controls_.setText(kReceiveBuffer, exchange_.replyText());
    if (pending_ == PendingRequest::ParameterReset) {
        pending_ = PendingRequest::Idle;
        timer6_.setEnabled(false);
    } else {
        // A running Timer6 is not restarted: the reply is processed 200 ms after its first
        // block at the earliest.
        timer6_.setEnabled(true);
    }
    tick();  // a complete reply is over with its last block
}

void DeviceSession::tick() {
    std::optional<kvops::Outcome> outcome = exchange_.tick(clock_.now());
    if (outcome && !(outcome->answered() && requestPending_ == PendingRequest::ReadParameters)) {
        // A listing's outcome is told once Timer6 has read it back.
        ended(*outcome);
    }
    armClock();
}

void DeviceSession::armClock() {
    if (clockTimer_ == nullptr) return;
    // Only a set command's wait has no window timer of its own.
    std::optional<std::chrono::milliseconds> due;
    if (setAnswer_) due = exchange_.deadline();
    if (awake_) due = clock_.now();
    clockTimer_->setEnabled(false);
    if (!due) return;
    const auto wait = std::max<std::int64_t>(0, (*due - clock_.now()).count());
    clockTimer_->setInterval(awake_ ? 0 : static_cast<int>(wait) + 1);
    clockTimer_->setEnabled(true);
}

void DeviceSession::wake() {
    awake_ = true;
    armClock();
}

void DeviceSession::clockTick() {
    const bool woken = std::exchange(awake_, false);
    tick();
    // An outcome of this tick that asks for a wake-up gets the next one.
    if (woken && clockObserver_) clockObserver_();
}

bool DeviceSession::readBack() {
    if (!intoFields_) return true;
    try {
        applyReadBack(exchange_.replyText(), controls_);
    } catch (const ConversionError& error) {
        // Rows before the bad character stay applied; the request stays ReadParameters and
        // the reply text is kept, so the next block runs the read-back again, without a
        // second box.
        if (!std::exchange(conversionShown_, true)) messages_.showMessage(error.message());
        return false;
    }
    return true;
}

void DeviceSession::timer6Timer() {
    timer6_.setEnabled(false);
    // The pending request decides, not the one the engine waits for: a Set pressed during
    // the read, or the read's time-out, leaves a listing under ReadParameters to be read back.
    if (pending_ != PendingRequest::ReadParameters || !listingBlock_) return;
    tick();
    if (!exchange_.replyOver(kvops::kRead.completeness, clock_.now())) {
        timer6_.setEnabled(true);  // a further piece may still come
        return;
    }
    const kvops::Outcome outcome{kvops::Status::Answered, exchange_.replyText(), {}};
    if (!readBack()) return;
    if (history_) history_->listing(outcome.reply, kvops::readListing(outcome.reply));
    pending_ = PendingRequest::Idle;
    listingBlock_ = false;
    intoFields_ = true;
    // The reply text is emptied: a later block starts a reply of its own. The read ends here;
    // another request the engine waits for (a Set pressed meanwhile) goes on by its rules.
    if (!exchange_.waiting() || requestPending_ == PendingRequest::ReadParameters)
        exchange_.cancel();
    ended(outcome);
}

void DeviceSession::portClosed() {
    finishRecording(std::nullopt);
    pending_ = PendingRequest::Idle;
    timeoutKind_ = TimeoutKind::Silent;
    timer3_.setEnabled(false);
    timer6_.setEnabled(false);
    listingBlock_ = false;
    intoFields_ = true;
    exchange_.cancel();
    awake_ = false;
    armClock();
}

void DeviceSession::lineHungUp() {
    if (std::optional<kvops::Outcome> outcome = exchange_.hangUp()) ended(*outcome);
    armClock();
}

void DeviceSession::timer3Timer() {
    timer3_.setEnabled(false);
    // One message per request: a Timer3 that MTM re-enables before a bad entry stops it
    // must not repeat an earlier request's message.
    const TimeoutKind kind = std::exchange(timeoutKind_, TimeoutKind::Silent);
    if (kind != TimeoutKind::Connection && kind != TimeoutKind::ParameterQuery) return;
    // The query's own time-out: it ends the request.
    std::optional<kvops::Outcome> outcome = exchange_.timeOut();
    if (outcome) ended(*outcome);
    const std::string_view message =
        kind == TimeoutKind::Connection ? "Connection Timeout" : "Parameter Query Timeout!";
    if (lineObserver_)
        lineObserver_({kvops::LineEvent::Kind::TimedOut,
                       message,
                       outcome ? std::string_view(outcome->error.text) : std::string_view(),
                       {}});
    messages_.showMessage(message);
}

}  // namespace kvpresenter
