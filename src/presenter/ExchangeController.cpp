// The exchange controller: query buttons, the receive event and the two timers.
#include "protocol/ExchangeController.h"

#include <string>
#include <utility>

#include "protocol/Conversions.h"
#include "protocol/DeviceSession.h"
#include "protocol/Frames.h"
#include "protocol/ReadBack.h"

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

const QueryButton* findQueryButton(std::string_view button) {
    for (const QueryButton& query : kQueryButtons) {
        if (query.button == button) return &query;
    }
    return nullptr;
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
            case QueryStep::Write:
                sent = writeFrame(query.frame);
                break;
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

void DeviceSession::readParametersClick() {
    conversionShown_ = false;
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

void DeviceSession::receiveData(const std::uint8_t* buffer, std::size_t length) {
    // Each byte becomes one character; a zero byte included.
    std::string_view block;
    if (length > 0) block = {reinterpret_cast<const char*>(buffer), length};
    // The collector answered: no time-out message for this request.
    timer3_.setEnabled(false);
    timeoutKind_ = kTimeoutSilent;
    if (block.empty()) {
        reply_.clear();
    } else {
        reply_.add(block, clock_.now());
    }
    // The receive buffer shows the reply so far: a reply in pieces is shown whole.
    controls_.setText(kReceiveBuffer, reply_.text());
    if (pending_ == kParameterReset) {
        pending_ = kIdle;
        timer6_.setEnabled(false);
    } else {
        // A running Timer6 is not restarted: the reply is processed 200 ms after its first
        // block at the earliest.
        timer6_.setEnabled(true);
    }
}

void DeviceSession::timer6Timer() {
    timer6_.setEnabled(false);
    if (pending_ != kReadParameters) return;
    // A tick started by a block of an earlier request: this request's reply has yet to come
    // (its first block starts Timer6 again).
    if (reply_.empty() || reply_.closed()) return;
    if (!reply_.ready(clock_.now(), ReplyCollector::Completeness::Listing)) {
        timer6_.setEnabled(true);  // a further piece may still come
        return;
    }
    const std::string reply = reply_.text();
    try {
        applyReadBack(reply, controls_);
    } catch (const ConversionError& error) {
        // Rows before the bad character stay applied; the code stays 101 and the reply
        // text is kept, so the next block runs the read-back again, without a second box.
        if (!std::exchange(conversionShown_, true)) messages_.showMessage(error.message());
        return;
    }
    pending_ = kIdle;
    reply_.clear();
}

void DeviceSession::portClosed() {
    pending_ = kIdle;
    timeoutKind_ = kTimeoutSilent;
    timer3_.setEnabled(false);
    timer6_.setEnabled(false);
    reply_.clear();
}

void DeviceSession::timer3Timer() {
    timer3_.setEnabled(false);
    // One message per request: a Timer3 that MTM re-enables before a bad entry stops it
    // must not repeat an earlier request's message.
    const int kind = std::exchange(timeoutKind_, kTimeoutSilent);
    if (kind == kTimeoutConnection) {
        messages_.showMessage("Connection Timeout");
    } else if (kind == kTimeoutParameterQuery) {
        messages_.showMessage("Parameter Query Timeout!");
    }
}

}  // namespace kvproto
