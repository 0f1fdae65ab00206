// The exchange controller: query buttons, the receive event and the two timers.
#include "presenter/ExchangeController.h"

#include <string>
#include <utility>

#include "ops/Operations.h"
#include "presenter/DeviceSession.h"
#include "presenter/WindowFrames.h"
#include "protocol/Conversions.h"
#include "protocol/Frames.h"

namespace kvproto {

namespace {

using Q = QueryStep;

constexpr std::array<QueryButton, 4> kQueryButtons{{
    {"Button32",
     kReadParametersFrame,
     kReadParameters,
     kTimeoutParameterQuery,
     {Q::SetPending, Q::ShowFrame, Q::ClearReceive, Q::Write, Q::ArmTimeout},
     5},
    {"Button14",
     kCommunicationTestFrame,
     kReplyExpected,
     kTimeoutConnection,
     {Q::SetPending, Q::ClearReceive, Q::ShowFrame, Q::Write, Q::ArmTimeout},
     5},
    {"Button124",
     kDataQueryFrame,
     kDataQuery,
     kTimeoutSilent,
     {Q::SetPending, Q::ShowFrame, Q::ClearReceive, Q::Write, {}},
     4},
    {"Button19",
     kParameterResetFrame,
     kParameterReset,
     kTimeoutSilent,
     {Q::ClearReceive, Q::SetPending, Q::ShowFrame, Q::Write, {}},
     4},
}};

}  // namespace

std::span<const QueryButton> queryButtons() {
    return kQueryButtons;
}

void DeviceSession::runQuery(const QueryButton& query) {
    bool sent = false;
    for (QueryStep step : query.stepSpan()) {
        switch (step) {
            case QueryStep::SetPending:
                pending_ = query.pending;
                // The new request replaces the one in progress: an earlier request's
                // time-out, if it is still running, no longer speaks for anything.
                timeoutKind_ = kTimeoutSilent;
                break;
            case QueryStep::ShowFrame:
                controls_.setText(kSendBuffer, query.frame);
                break;
            case QueryStep::ClearReceive:
                clearReceiveBuffer();
                break;
            case QueryStep::Write: {
                const kvops::Request& request = query.pending == kReadParameters ? kvops::kRead
                                                : query.pending == kDataQuery    ? kvops::kDataQuery
                                                : query.pending == kParameterReset
                                                    ? kvops::kReset
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
    runQuery(kQueryButtons[0]);
}
void DeviceSession::communicationTestClick() {
    runQuery(kQueryButtons[1]);
}
void DeviceSession::dataQueryClick() {
    runQuery(kQueryButtons[2]);
}
void DeviceSession::parameterInitializationClick() {
    runQuery(kQueryButtons[3]);
}

void DeviceSession::receiveData(const std::uint8_t* buffer, std::size_t length,
                                std::optional<std::chrono::milliseconds> at) {
    // Each byte becomes one character; a zero byte included.
    std::string_view block;
    if (length > 0) block = {reinterpret_cast<const char*>(buffer), length};
    // The collector answered: no time-out message for this request.
    timer3_.setEnabled(false);
    timeoutKind_ = kTimeoutSilent;
    const std::chrono::milliseconds now = at.value_or(clock_.now());
    exchange_.received(block, now);
    if (pending_ == kReadParameters && !block.empty()) listingBlock_ = true;
    // The receive buffer shows the reply so far: a reply in pieces is shown whole.
    controls_.setText(kReceiveBuffer, exchange_.replyText());
    if (pending_ == kParameterReset) {
        pending_ = kIdle;
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
    if (!outcome) return;
    // A listing's outcome is told once Timer6 has read it back.
    if (outcome->answered() && requestPending_ == kReadParameters) return;
    ended(*outcome);
}

bool DeviceSession::readBack() {
    if (!intoFields_) return true;
    try {
        applyReadBack(exchange_.replyText(), controls_);
    } catch (const ConversionError& error) {
        // Rows before the bad character stay applied; the code stays 101 and the reply
        // text is kept, so the next block runs the read-back again, without a second box.
        if (!std::exchange(conversionShown_, true)) messages_.showMessage(error.message());
        return false;
    }
    return true;
}

void DeviceSession::timer6Timer() {
    timer6_.setEnabled(false);
    // The pending code decides, not the request the engine waits for: a Set pressed during
    // the read, or the read's time-out, leaves a listing under 101 to be read back.
    if (pending_ != kReadParameters || !listingBlock_) return;
    tick();
    if (!exchange_.replyOver(kvops::kRead.completeness, clock_.now())) {
        timer6_.setEnabled(true);  // a further piece may still come
        return;
    }
    const kvops::Outcome outcome{kvops::Status::Answered, exchange_.replyText(), {}};
    if (!readBack()) return;
    pending_ = kIdle;
    listingBlock_ = false;
    intoFields_ = true;
    // The reply text is emptied: a later block starts a reply of its own. The read ends here;
    // another request the engine waits for (a Set pressed meanwhile) goes on by its rules.
    if (!exchange_.waiting() || requestPending_ == kReadParameters) exchange_.cancel();
    ended(outcome);
}

void DeviceSession::portClosed() {
    pending_ = kIdle;
    timeoutKind_ = kTimeoutSilent;
    timer3_.setEnabled(false);
    timer6_.setEnabled(false);
    listingBlock_ = false;
    intoFields_ = true;
    exchange_.cancel();
}

void DeviceSession::lineHungUp() {
    if (std::optional<kvops::Outcome> outcome = exchange_.hangUp()) ended(*outcome);
}

void DeviceSession::timer3Timer() {
    timer3_.setEnabled(false);
    // One message per request: a Timer3 that MTM re-enables before a bad entry stops it
    // must not repeat an earlier request's message.
    const int kind = std::exchange(timeoutKind_, kTimeoutSilent);
    if (kind == kTimeoutConnection || kind == kTimeoutParameterQuery) {
        // The query's own time-out: it ends the request.
        if (std::optional<kvops::Outcome> outcome = exchange_.timeOut()) ended(*outcome);
    }
    if (kind == kTimeoutConnection) {
        messages_.showMessage("Connection Timeout");
    } else if (kind == kTimeoutParameterQuery) {
        messages_.showMessage("Parameter Query Timeout!");
    }
}

}  // namespace kvproto
