#include "client/Client.h"

#include <stdexcept>
#include <utility>
#include <vector>

#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"
#include "protocol/Conversions.h"
#include "protocol/Frames.h"
#include "protocol/ReadBack.h"

namespace kvclient {

namespace {

using Clock = std::chrono::steady_clock;
using kvproto::ReplyCollector;
using Completeness = ReplyCollector::Completeness;

Result failed(Status status, std::string reason, std::string reply = {}) {
    Result result;
    result.status = status;
    result.reason = std::move(reason);
    result.reply = std::move(reply);
    return result;
}

// The read-back rows whose tag is missing from the reply or stands too close to its end.
std::string missingTags(std::string_view reply) {
    std::string missing;
    for (const kvproto::ReadBackRow& row : kvproto::readBackRows()) {
        const std::size_t at = kvproto::findTag(reply, row.tag);
        bool fits = at != std::string_view::npos;
        for (const kvproto::ReadBackValue& v : row.valueSpan())
            fits = fits && at + v.offset + v.width <= reply.size();
        if (fits) continue;
        if (!missing.empty()) missing += ", ";
        missing += row.tag;
    }
    return missing;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) {
        if (!out.empty()) out += "; ";
        out += part;
    }
    return out;
}

}  // namespace

std::string_view statusText(Status status) {
    switch (status) {
        case Status::Done:
            return "done";
        case Status::TimedOut:
            return "timed out";
        case Status::NotSent:
            return "not sent";
        case Status::NotUnderstood:
            return "not understood";
        case Status::BadRequest:
            return "bad request";
    }
    return "unknown";
}

struct Client::Impl {
    // The channel is the component's default one, drained only by this Client's thread.
    spcomm::TComm comm;
    spcomm::TQueueChannel& channel = static_cast<spcomm::TQueueChannel&>(comm.channel());

    // Set by the handlers below, which run inside channel.waitAndDrain() on this thread.
    ReplyCollector* collecting = nullptr;  // the request in progress, or none
    Clock::time_point started;
    bool hungUp = false;
    std::string closedReason = "the port is not open";
    TrafficObserver observer;

    void tell(TrafficEvent event, std::string_view data = {}, std::string_view detail = {}) {
        if (observer) observer(event, data, detail);
    }

    Impl() {
        comm.SetBaudRate(9600);
        comm.SetByteSize(spcomm::TByteSize::_8);
        comm.SetParity(spcomm::TParity::None);
        comm.SetStopBits(spcomm::TStopBits::_1);
        comm.SetOutx_XonXoffFlow(false);
        comm.SetInx_XonXoffFlow(false);
        comm.SetReadIntervalTimeout(kReadIntervalMs);
        comm.OnReceiveData = [this](spcomm::TComm*, const std::uint8_t* buffer,
                                    std::uint16_t length) {
            const std::string_view block(reinterpret_cast<const char*>(buffer), length);
            tell(TrafficEvent::Received, block);
            if (!collecting) return;  // a late piece of an earlier request's reply
            const auto now = std::chrono::duration_cast<Millis>(Clock::now() - started);
            collecting->add(block, now);
        };
        comm.OnRequestHangup = [this](spcomm::TComm*) {
            if (!hungUp) tell(TrafficEvent::HungUp);
            hungUp = true;
        };
    }

    // After a hang-up the component stays open with its workers ended; close it so that the
    // port can be opened again, and remember why later requests are not sent.
    Result hangUp(std::string reply = {}) {
        comm.Close();
        tell(TrafficEvent::Closed);
        hungUp = false;
        closedReason = "the line hung up";
        return failed(Status::NotSent, closedReason, std::move(reply));
    }

    Result exchange(std::string_view frame, Completeness completeness, Millis timeout) {
        if (!comm.IsOpen()) {
            tell(TrafficEvent::NotSent, frame, closedReason);
            return failed(Status::NotSent, closedReason);
        }
        channel.drain();  // what came after an earlier request ended belongs to none
        if (hungUp) {
            tell(TrafficEvent::NotSent, frame, "the line hung up");
            return hangUp();
        }
        if (frame.empty() || frame.size() > 0xFFFF) {
            tell(TrafficEvent::NotSent, frame, "a frame holds 1 to 65535 bytes");
            return failed(Status::BadRequest, "a frame holds 1 to 65535 bytes");
        }
        if (!comm.Write(frame.data(), static_cast<std::uint16_t>(frame.size()))) {
            channel.drain();
            if (hungUp) {
                tell(TrafficEvent::NotSent, frame, "the line hung up");
                return hangUp();
            }
            tell(TrafficEvent::NotSent, frame, "the port refused the write");
            return failed(Status::NotSent, "the port refused the write");
        }
        tell(TrafficEvent::Sent, frame);

        ReplyCollector collector;
        collecting = &collector;
        started = Clock::now();
        const Clock::time_point firstByteDeadline = started + timeout;
        Result result;
        for (;;) {
            const Clock::time_point now = Clock::now();
            const auto elapsed = std::chrono::duration_cast<Millis>(now - started);
            if (hungUp) {
                result = hangUp(collector.text());
                break;
            }
            Clock::time_point until;
            if (collector.empty()) {
                if (now >= firstByteDeadline) {
                    result = failed(Status::TimedOut,
                                    "no answer within " + std::to_string(timeout.count()) + " ms");
                    tell(TrafficEvent::NoAnswer, {}, result.reason);
                    break;
                }
                until = firstByteDeadline;
            } else {
                if (collector.ready(elapsed, completeness)) {
                    result.status = Status::Done;
                    result.reply = collector.text();
                    break;
                }
                until = now + collector.untilReady(elapsed, completeness);
            }
            // Whole milliseconds, rounded up, so that a wait never ends just short of its
            // deadline and spins.
            channel.waitAndDrain(std::chrono::ceil<Millis>(until - now));
        }
        collecting = nullptr;
        return result;
    }
};

Client::Client() : impl_(std::make_unique<Impl>()) {}

Client::~Client() {
    close();
}

Result Client::open(const std::string& port) {
    close();
    port_ = port;
    impl_->comm.SetCommName(port);
    try {
        impl_->comm.Open();
    } catch (const spcomm::ECommsError& e) {
        // The component's fixed text, and the system's reason behind it when there is one.
        std::string text = e.what();
        if (!e.reason().empty()) text += " (" + e.reason() + ")";
        impl_->tell(TrafficEvent::OpenFailed, port, text);
        return failed(Status::NotSent, text);
    }
    impl_->tell(TrafficEvent::Opened, port, "9600 baud 8N1");
    impl_->channel.drain();  // nothing of an earlier open is kept
    impl_->hungUp = false;
    Result result;
    result.status = Status::Done;
    return result;
}

void Client::close() {
    const bool wasOpen = impl_->comm.IsOpen();
    impl_->comm.Close();
    impl_->channel.drain();
    if (wasOpen) impl_->tell(TrafficEvent::Closed);
    impl_->hungUp = false;
    impl_->closedReason = "the port is not open";
}

bool Client::isOpen() const {
    return impl_->comm.IsOpen();
}

void Client::setTrafficObserver(TrafficObserver observer) {
    impl_->observer = std::move(observer);
}

Result Client::request(std::string_view frame, Completeness completeness, Millis timeout) {
    return impl_->exchange(frame, completeness, timeout);
}

ReadResult Client::readParameters(Millis timeout) {
    ReadResult result;
    static_cast<Result&>(result) =
        request(kvproto::kReadParametersFrame, Completeness::WholeListing, timeout);
    if (!result.done()) return result;
    std::vector<std::string> problems;
    try {
        result.settings = kvproto::readBackSettings(result.reply, &problems);
    } catch (const kvproto::ConversionError& e) {
        result.status = Status::NotUnderstood;
        result.reason = e.message();
        return result;
    }
    const std::string missing = missingTags(result.reply);
    if (!missing.empty()) problems.insert(problems.begin(), "no values for " + missing);
    if (!problems.empty()) {
        result.status = Status::NotUnderstood;
        result.reason = joined(problems);
    }
    return result;
}

Result Client::set(const kvproto::SetCommand& command, const kvproto::CollectorSettings& settings,
                   Millis timeout) {
    std::string frame;
    try {
        frame = kvproto::buildSetFrame(command, settings);
    } catch (const kvproto::ConversionError& e) {
        return failed(Status::BadRequest, e.message());
    } catch (const std::invalid_argument& e) {
        return failed(Status::BadRequest, e.what());
    }
    return request(frame, Completeness::Line, timeout);
}

Result Client::set(std::string_view word, const kvproto::CollectorSettings& settings,
                   Millis timeout) {
    const kvproto::SetCommand* command = kvproto::findSetCommandByWord(word);
    if (!command)
        return failed(Status::BadRequest, "\"" + std::string(word) + "\" is not a set command");
    return set(*command, settings, timeout);
}

Result Client::communicationTest(Millis timeout) {
    return request(kvproto::kCommunicationTestFrame, Completeness::Line, timeout);
}

Result Client::dataQuery(Millis timeout) {
    return request(kvproto::kDataQueryFrame, Completeness::Quiet, timeout);
}

Result Client::reset(Millis timeout) {
    return request(kvproto::kParameterResetFrame, Completeness::Line, timeout);
}

}  // namespace kvclient
