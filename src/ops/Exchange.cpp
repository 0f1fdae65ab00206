#include "ops/Exchange.h"

#include <string>
#include <utility>

namespace kvops {

Exchange::Exchange(Writer writer, int baud, Millis listingSettle)
    : writer_(std::move(writer)), reply_(baud, listingSettle) {}

std::optional<Outcome> Exchange::send(std::string_view frame, Completeness completeness,
                                      Millis timeout, Millis now) {
    waiting_ = false;
    reply_.close();  // what comes next answers the new request
    if (Error error = writer_(frame)) return Outcome{Status::NotSent, {}, std::move(error)};
    expect(completeness, timeout, now);
    frame_ = frame;
    return std::nullopt;
}

void Exchange::expect(Completeness completeness, Millis timeout, Millis now) {
    reply_.close();
    frame_.clear();
    waiting_ = true;
    begun_ = false;
    completeness_ = completeness;
    timeout_ = timeout;
    sentAt_ = now;
}

void Exchange::received(std::string_view block, Millis at) {
    if (block.empty()) return;
    reply_.add(block, at);
    lastBlock_ = at;
    begun_ = !answerText().empty();
}

std::string_view Exchange::answerText() const {
    const std::string_view text = reply_.text();
    if (frame_.empty()) return text;
    if (text.starts_with(frame_)) return text.substr(frame_.size());
    // Part of the echo so far.
    if (std::string_view(frame_).starts_with(text)) return {};
    return text;
}

Outcome Exchange::finish(Status status, Error error) {
    waiting_ = false;
    return Outcome{status, reply_.closed() ? std::string() : std::string(answerText()),
                   std::move(error)};
}

std::optional<Outcome> Exchange::tick(Millis now) {
    if (!waiting_) return std::nullopt;
    if (begun_) {
        // The reply's own times count, not when the tick came: a tick late by a busy owner
        // does not cut a reply short.
        if (reply_.ready(std::max(now, lastBlock_), completeness_)) return finish(Status::Answered);
        return std::nullopt;
    }
    if (now - sentAt_ >= timeout_) return timeOut();
    return std::nullopt;
}

std::optional<Outcome> Exchange::timeOut() {
    if (!waiting_ || begun_) return std::nullopt;
    return finish(
        Status::TimedOut,
        {ErrorCode::NoAnswer, 0, "no answer within " + std::to_string(timeout_.count()) + " ms"});
}

std::optional<Outcome> Exchange::hangUp(Error error) {
    if (!waiting_) return std::nullopt;
    return finish(Status::HungUp, std::move(error));
}

void Exchange::cancel() {
    waiting_ = false;
    frame_.clear();
    reply_.clear();
}

std::optional<Millis> Exchange::deadline() const {
    if (!waiting_) return std::nullopt;
    if (!begun_) return sentAt_ + timeout_;
    return lastBlock_ + reply_.untilReady(lastBlock_, completeness_);
}

}  // namespace kvops
