#include "ops/Exchange.h"

#include <algorithm>
#include <string>
#include <utility>

namespace kvops {

Millis Exchange::answerLimitAt(int baud) {
    using kvproto::ReplyCollector;
    const auto bits = static_cast<long long>(ReplyCollector::kMaxSize) * 10 * 1000;
    return Millis{(bits + baud - 1) / baud} + ReplyCollector::kQuiet;
}

Exchange::Exchange(Writer writer, int baud, Millis listingSettle)
    : writer_(std::move(writer)),
      reply_(baud, listingSettle),
      answerLimit_(answerLimitAt(baud > 0 ? baud : 9600)) {}

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
    arrivingSince_.reset();
}

void Exchange::received(std::string_view block, Millis at) {
    if (block.empty()) return;
    reply_.add(block, at);
    lastBlock_ = at;
    const bool wasBegun = begun_;
    begun_ = !answerText().empty();
    if (begun_ && !wasBegun) beganAt_ = arrivingSince_ ? std::min(*arrivingSince_, at) : at;
    arrivingSince_.reset();  // the bytes on their way were this block
}

void Exchange::arriving(Millis since) {
    // Bytes that began by the time the last block was read were that block (the owner may
    // hear of them once more before the serial layer forgets them): no answer on its way.
    if (!waiting_ || begun_ || since <= lastBlock_ || since > sentAt_ + timeout_) return;
    if (!arrivingSince_ || since < *arrivingSince_) arrivingSince_ = since;
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
        if (reply_.ready(std::max(now, lastBlock_), completeness_) ||
            now >= beganAt_ + answerLimit_)
            return finish(Status::Answered);
        return std::nullopt;
    }
    if (arrivingSince_) {
        if (now < *arrivingSince_ + answerLimit_) return std::nullopt;
        return finish(Status::TimedOut, {ErrorCode::NoAnswer, 0,
                                         "an answer began but no part of it came within " +
                                             std::to_string(answerLimit_.count()) + " ms"});
    }
    if (now - sentAt_ >= timeout_) return timeOut();
    return std::nullopt;
}

std::optional<Outcome> Exchange::timeOut() {
    if (!waiting_ || begun_ || arrivingSince_) return std::nullopt;
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
    arrivingSince_.reset();
    frame_.clear();
    reply_.clear();
}

std::optional<Millis> Exchange::deadline() const {
    if (!waiting_) return std::nullopt;
    if (!begun_) return arrivingSince_ ? *arrivingSince_ + answerLimit_ : sentAt_ + timeout_;
    return std::min(lastBlock_ + reply_.untilReady(lastBlock_, completeness_),
                    beganAt_ + answerLimit_);
}

}  // namespace kvops
