#include "client/Client.h"

#include <stdexcept>
#include <utility>

#include "SPComm/TQueueChannel.h"
#include "SPComm/net/NetPortName.h"
#include "ops/Line.h"
#include "protocol/Conversions.h"

namespace kvclient {

namespace {

using Clock = std::chrono::steady_clock;

Millis sinceEpoch(Clock::time_point t) {
    return std::chrono::duration_cast<Millis>(t.time_since_epoch());
}

Outcome badRequest(std::string text) {
    return Outcome{kvops::Status::NotSent, {}, Error{ErrorCode::BadRequest, 0, std::move(text)}};
}

}  // namespace

struct Client::Impl {
    kvops::Line line{nullptr, kReadIntervalMs};
    // The line's own queue channel, drained only by this Client's thread.
    spcomm::TQueueChannel& channel = static_cast<spcomm::TQueueChannel&>(line.comm().channel());
    kvops::Exchange exchange{[this](std::string_view frame) { return line.write(frame); }, 9600,
                             kListingSettle};
    bool hangUpPending = false;  // the line hung up; the next request closes the port
    Error closedReason{ErrorCode::NotOpen, 0, {}};  // why a request finds the port closed
    using Event = kvops::LineEvent::Kind;

    void tell(Event event, std::string_view data = {}, std::string_view detail = {}) {
        line.tell({event, data, detail, {}});
    }

    Impl() {
        // The engine hears the line first; a traffic log listens after it.
        line.tap().listen([this](const kvops::LineEvent& event) {
            if (event.kind == Event::Received)
                exchange.received(event.data, sinceEpoch(event.at));
            else if (event.kind == Event::HungUp)
                hangUpPending = true;
        });
    }

    // After a hang-up the component stays open with its workers ended; close it so that the
    // port can be opened again. Later requests are not sent: the port is closed.
    void closeAfterHangUp() {
        line.close();
        tell(Event::Closed);
        hangUpPending = false;
        closedReason = {ErrorCode::HungUp, 0, {}};
    }

    Outcome run(std::string_view frame, kvops::Completeness completeness, Millis timeout) {
        channel.drain();  // what came after an earlier request ended belongs to none
        if (hangUpPending) closeAfterHangUp();
        if (!line.isOpen()) {
            tell(Event::NotSent, frame, kvops::describe(closedReason, line.port()));
            return Outcome{kvops::Status::NotSent, {}, closedReason};
        }
        // The time-out counts from the next whole millisecond, so that it never ends short:
        // the engine's clock (the ticks) counts whole milliseconds gone by.
        const Millis sentAt = std::chrono::ceil<Millis>(Clock::now().time_since_epoch());
        if (auto refused = exchange.send(frame, completeness, timeout, sentAt)) {
            channel.drain();
            if (hangUpPending) closeAfterHangUp();
            tell(Event::NotSent, frame, kvops::describe(refused->error, line.port()));
            return *refused;
        }
        tell(Event::Sent, frame);
        for (;;) {
            if (hangUpPending) {
                std::optional<Outcome> outcome = exchange.hangUp();
                closeAfterHangUp();
                return *outcome;
            }
            const Millis now = sinceEpoch(Clock::now());
            if (exchange.waiting() && !exchange.answerBegun()) {
                // The time-out bounds the silence before the answer begins: bytes the serial
                // layer has taken but not handed over yet (it does once the line is quiet)
                // have begun it. Once it says none, their block is in the channel: drain it.
                const Clock::time_point since = line.comm().ReceivingSince();
                if (since != Clock::time_point{})
                    exchange.arriving(sinceEpoch(since));
                else
                    channel.drain();
                if (hangUpPending) continue;
            }
            if (std::optional<Outcome> outcome = exchange.tick(now)) {
                if (outcome->status == kvops::Status::TimedOut)
                    tell(Event::TimedOut, {}, kvops::describe(outcome->error));
                return *outcome;
            }
            const Millis until = exchange.deadline().value_or(now);
            // Whole milliseconds, rounded up, so that a wait never ends just short of its
            // deadline and spins.
            channel.waitAndDrain(std::max(until - now, Millis{1}));
        }
    }
};

Client::Client() : impl_(std::make_unique<Impl>()) {}

Client::~Client() {
    close();
}

Error Client::open(const std::string& port) {
    close();
    if (Error error = impl_->line.open(port)) {
        impl_->tell(Impl::Event::OpenFailed, port, kvops::describe(error));
        impl_->closedReason = {ErrorCode::NotOpen, 0, {}};
        return error;
    }
    impl_->exchange.setListingSettle(spcomm::IsNetworkPortName(port) ? kNetworkListingSettle
                                                                     : kListingSettle);
    impl_->tell(Impl::Event::Opened, port, kvops::kLineSettingsText);
    impl_->channel.drain();  // nothing of an earlier open is kept
    impl_->hangUpPending = false;
    return {};
}

void Client::close() {
    const bool wasOpen = impl_->line.isOpen();
    impl_->line.close();
    impl_->channel.drain();
    impl_->exchange.cancel();
    if (wasOpen) impl_->tell(Impl::Event::Closed);
    impl_->hangUpPending = false;
    impl_->closedReason = {ErrorCode::NotOpen, 0, {}};
}

bool Client::isOpen() const {
    return impl_->line.isOpen();
}

const std::string& Client::port() const {
    return impl_->line.port();
}

kvops::LineTap& Client::tap() {
    return impl_->line.tap();
}

Outcome Client::request(std::string_view frame, kvops::Completeness completeness, Millis timeout) {
    return impl_->run(frame, completeness, timeout);
}

Outcome Client::request(const kvops::Request& request, Millis timeout) {
    return impl_->run(request.frame, request.completeness, timeout);
}

kvops::LineHistory& Client::history() {
    return impl_->line.history();
}

ReadResult Client::readParameters(Millis timeout) {
    ReadResult result;
    result.outcome = request(kvops::kRead, timeout);
    if (result.outcome.answered()) {
        result.listing = kvops::readListing(result.outcome.reply);
        impl_->line.history().listing(result.outcome.reply, result.listing);
    }
    return result;
}

Outcome Client::set(const kvproto::SetCommand& command, const kvproto::CollectorSettings& settings,
                    Millis timeout) {
    std::string frame;
    try {
        frame = kvproto::buildSetFrame(command, settings);
    } catch (const kvproto::ConversionError& e) {
        return badRequest(e.message());
    } catch (const std::invalid_argument& e) {
        return badRequest(e.what());
    }
    return request(frame, kvops::kSetAnswer, timeout);
}

}  // namespace kvclient
