// The traffic log of one serial line: every frame sent, every block received and the port's
// events (opened, closed, hang-up, a frame not sent and why, a time-out message shown), each
// a row stamped with the wall-clock time and the milliseconds since the port was opened.
//
// Recorder stamps the rows and hands them to a sink: the window's bounded TrafficLog, or a
// file (TrafficFormat.h). TrafficLog keeps the newest `capacity` rows; once older rows have
// been dropped, one more row in front says how many.
//
// One thread: a Recorder and a TrafficLog belong to the thread that feeds them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kvtraffic {

enum class Kind : std::uint8_t {
    Tx,     // a frame handed to the port (also when the port did not take it)
    Rx,     // a block received
    Event,  // the port's events; data holds the text
};

struct Row {
    std::int64_t wallMs = 0;        // wall-clock time, ms since 1970-01-01 UTC
    std::int64_t sinceOpenMs = -1;  // ms since the port was last opened; -1: never opened
    Kind kind = Kind::Event;
    std::string data;  // the bytes (Tx, Rx) or the event's text

    bool operator==(const Row&) const = default;
};

class Recorder {
public:
    using Sink = std::function<void(Row&&)>;
    explicit Recorder(Sink sink);

    // Opened restarts the milliseconds since open; every other row counts from the last open.
    void opened(std::string_view port, std::string_view settings);
    void openFailed(std::string_view port, std::string_view reason);
    void closed();
    void hungUp();
    void sent(std::string_view frame);
    // A Tx row with the frame, then the event saying why it did not go out.
    void notSent(std::string_view frame, std::string_view reason);
    void received(std::string_view block);
    void messageShown(std::string_view text);
    void noAnswer(std::string_view reason);
    void event(std::string text);

private:
    void add(Kind kind, std::string data);

    Sink sink_;
    std::optional<std::chrono::steady_clock::time_point> openedAt_;
};

// The newest `capacity` rows. Row 0 is the dropped-rows row while rows have been dropped.
class TrafficLog {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;
    explicit TrafficLog(std::size_t capacity = kDefaultCapacity);

    std::size_t capacity() const { return capacity_; }
    // Rows as shown: the dropped-rows row (if any) and the kept rows.
    std::size_t size() const { return rows_.size() + (dropped_ ? 1 : 0); }
    Row at(std::size_t index) const;

    // Appends and drops the oldest rows beyond the capacity.
    void append(Row&& row);
    void clear();

    // The pieces of append, for a view that announces its changes in steps.
    std::size_t keptRows() const { return rows_.size(); }
    const Row& kept(std::size_t index) const { return rows_[index]; }
    std::uint64_t dropped() const { return dropped_; }
    void push(Row&& row) { rows_.push_back(std::move(row)); }
    void dropFront(std::size_t count);
    // Rows that were never kept (a batch larger than the capacity) count as dropped too.
    void countDropped(std::uint64_t count, std::int64_t wallMs, std::int64_t sinceOpenMs);
    Row droppedRow() const;

private:
    std::size_t capacity_;
    std::deque<Row> rows_;
    std::uint64_t dropped_ = 0;
    std::int64_t lastDroppedWallMs_ = 0;  // the dropped-rows row carries the last one's times
    std::int64_t lastDroppedSinceOpenMs_ = -1;
};

}  // namespace kvtraffic
