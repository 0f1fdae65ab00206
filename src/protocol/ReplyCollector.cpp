#include "protocol/ReplyCollector.h"

#include <algorithm>

#include "protocol/ReadBack.h"

namespace kvproto {

bool ReplyCollector::add(std::string_view block, Millis now) {
    // The silence before this block: the time since the last one, less its own line time.
    const auto lineTime = Millis{static_cast<long long>(block.size()) * 10'000 / baud_};
    const bool fresh = closed_ || text_.empty() ||
                       now - last_ - lineTime > kPieceGap + kArrivalSlack ||
                       text_.size() + block.size() > kMaxSize;
    closed_ = false;
    if (fresh) {
        // A block longer than a reply may be keeps its newest bytes.
        text_.assign(block.size() > kMaxSize ? block.substr(block.size() - kMaxSize) : block);
        first_ = now;
    } else {
        text_.append(block);
    }
    last_ = now;
    return fresh;
}

void ReplyCollector::clear() {
    text_.clear();
    closed_ = false;
}

bool ReplyCollector::complete(Completeness completeness) const {
    switch (completeness) {
        case Completeness::Listing:
            return readBackComplete(text_);
        case Completeness::Line:
        case Completeness::Answer:
            return text_.ends_with('\n');
        case Completeness::Quiet:
            return false;
    }
    return false;
}

bool ReplyCollector::ready(Millis now, Completeness completeness) const {
    if (text_.empty()) return false;
    return untilReady(now, completeness) == Millis{0};
}

Millis ReplyCollector::untilReady(Millis now, Completeness completeness) const {
    if (text_.size() >= kMaxSize) return Millis{0};
    Millis due = std::min(last_ + kQuiet, first_ + kLongest);
    if (completeness == Completeness::Listing && complete(completeness)) {
        // A line cut short (a counter base still coming) is given the time of an answer's end.
        const bool lineEnded = text_.ends_with('\n') || text_.ends_with('\r');
        due = last_ + (lineEnded ? listingSettle_ : std::max(listingSettle_, kAnswerQuiet));
    } else if (completeness == Completeness::Answer) {
        if (complete(completeness)) return Millis{0};
        due = std::min(last_ + kAnswerQuiet, first_ + kLongest);
    } else if (complete(completeness)) {
        return Millis{0};
    }
    return due > now ? due - now : Millis{0};
}

}  // namespace kvproto
