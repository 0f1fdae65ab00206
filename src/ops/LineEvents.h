// kvops::LineEvent: what passes on a collector's line, as typed events, and LineTap, the one
// place every listener hears them from (the window's Traffic page and presenter, kv480t's
// --log). The line owner (kvops::Line) tells the received blocks and the hang-up itself; the
// owner of the exchange tells what it did with the line (opened, closed, a frame sent or not
// taken) and when a request's answer time ran out.
//
// Listeners are told in the order they started listening, on the owner's thread; the views
// in an event are valid during the call only.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace kvops {

struct LineEvent {
    enum class Kind {
        Opened,      // data: the port; detail: its settings ("9600 baud 8N1")
        OpenFailed,  // data: the port; detail: why it did not open
        Closed,
        HungUp,    // the line stopped working (told once after each open)
        Sent,      // data: the frame
        NotSent,   // data: the frame; detail: why the port did not take it
        Received,  // data: the block as the port delivered it; at: when it was read
        TimedOut,  // data: the message the user was shown of it, if any; detail: what ran out
    };
    Kind kind = Kind::Closed;
    std::string_view data;
    std::string_view detail;
    std::chrono::steady_clock::time_point at{};
};

class LineTap {
public:
    using Listener = std::function<void(const LineEvent&)>;
    // From now on `listener` hears every event; the number stops it again (unlisten).
    int listen(Listener listener) {
        listeners_.emplace_back(++last_, std::move(listener));
        return last_;
    }
    void unlisten(int id) {
        std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
    }
    void tell(const LineEvent& event) const {
        // By index: a listener may start or stop listening while it is told.
        for (std::size_t i = 0; i < listeners_.size(); ++i) listeners_[i].second(event);
    }

private:
    std::vector<std::pair<int, Listener>> listeners_;
    int last_ = 0;
};

}  // namespace kvops
