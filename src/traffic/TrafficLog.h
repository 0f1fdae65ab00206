// The traffic log of one serial line: every frame sent, every block received and the port's
// events (opened, closed, hang-up, a frame not sent and why, a time-out message shown), each
// a row stamped with the wall-clock time and the milliseconds since the port was opened.
//
// Recorder stamps the rows and hands them to a sink (record() takes them as the line's typed
// events, kvops::LineEvent, so the window and kv480t --log write the same rows of one tap): the
// window's bounded TrafficLog, or a file (TrafficFormat.h). A received block is stamped with the
// time the serial component read it from the line (TComm::ReceivedAt()), not the time its owner got
// round to it.
//
// TrafficLog keeps the newest rows within two bounds, `capacity` rows and `byteBudget` bytes
// of data, stored compactly (RowStore: the bytes as they came, no text); once older rows have
// been dropped, one more row in front says how many.
//
// One thread: a Recorder and a TrafficLog belong to the thread that feeds them.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ops/LineEvents.h"

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

// A row whose data lives elsewhere (a Row, a RowStore): valid while that does not change.
struct RowView {
    std::int64_t wallMs = 0;
    std::int64_t sinceOpenMs = -1;
    Kind kind = Kind::Event;
    std::string_view data;

    RowView() = default;
    RowView(std::int64_t wall, std::int64_t sinceOpen, Kind k, std::string_view bytes)
        : wallMs(wall), sinceOpenMs(sinceOpen), kind(k), data(bytes) {}
    RowView(const Row& row)  // NOLINT: a Row is shown, written and stored as its view
        : wallMs(row.wallMs), sinceOpenMs(row.sinceOpenMs), kind(row.kind), data(row.data) {}
    Row row() const { return Row{wallMs, sinceOpenMs, kind, std::string(data)}; }
};

class Recorder {
public:
    using Sink = std::function<void(Row&&)>;
    using Clock = std::chrono::steady_clock;
    explicit Recorder(Sink sink);

    // The row(s) of one of the line's events: Opened, OpenFailed, Closed, HungUp, Sent,
    // NotSent and Received as the functions below; TimedOut as the message shown of it
    // (messageShown), or else as what ran out (noAnswer).
    void record(const kvops::LineEvent& event);

    // Opened restarts the milliseconds since open; every other row counts from the last open.
    void opened(std::string_view port, std::string_view settings);
    void openFailed(std::string_view port, std::string_view reason);
    void closed();
    void hungUp();
    void sent(std::string_view frame);
    // A Tx row with the frame, then the event saying why it did not go out.
    void notSent(std::string_view frame, std::string_view reason);
    // A block received now.
    void received(std::string_view block);
    // A block the line gave at `readAt` (the serial component's TComm::ReceivedAt()): the
    // row's wall-clock time and milliseconds since open are that moment's (a block read
    // before the open was recorded counts 0 ms).
    void received(std::string_view block, Clock::time_point readAt);
    void messageShown(std::string_view text);
    void noAnswer(std::string_view reason);
    void event(std::string text);

private:
    void add(Kind kind, std::string data, std::optional<Clock::time_point> at = std::nullopt);

    Sink sink_;
    std::optional<Clock::time_point> openedAt_;
};

// Rows, oldest first, with their bytes packed into large shared chunks: a row costs its bytes
// and a fixed 32 bytes, whatever its length, and dropping the oldest rows gives their chunks
// back. Views into it stay valid until their row is dropped or the store cleared.
class RowStore {
public:
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    // The data bytes of all rows.
    std::size_t bytes() const { return bytes_; }
    RowView operator[](std::size_t index) const;
    void push(const RowView& row);
    void dropFront(std::size_t count);
    void clear();

private:
    struct Entry {
        std::int64_t wallMs;
        std::int64_t sinceOpenMs;
        const char* data;
        std::uint32_t size;
        Kind kind;
    };
    struct Chunk {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
        std::size_t rows = 0;  // rows whose bytes are here
    };
    std::deque<Entry> rows_;
    std::deque<Chunk> chunks_;  // every row's bytes are in one chunk; rows and chunks in order
    std::size_t bytes_ = 0;
};

// The newest rows within `capacity` rows and `byteBudget` data bytes (the newest row is kept
// whatever its size). Row 0 is the dropped-rows row while rows have been dropped.
class TrafficLog {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;
    // 2048 blocks of 2048 bytes. With the rows waiting to be shown (at most a quarter more, see
    // TrafficModel) and what else a flood costs the window (measured: about 8 MiB, the serial
    // component's 1 MiB backlog among it), a window flooded at full speed grows by about
    // 13 MiB, within 16 MiB (bench_serial window).
    static constexpr std::size_t kDefaultByteBudget = std::size_t{4} << 20;
    explicit TrafficLog(std::size_t capacity = kDefaultCapacity,
                        std::size_t byteBudget = kDefaultByteBudget);

    std::size_t capacity() const { return capacity_; }
    std::size_t byteBudget() const { return byteBudget_; }
    // Rows as shown: the dropped-rows row (if any) and the kept rows.
    std::size_t size() const { return rows_.size() + (dropped_ ? 1 : 0); }
    Row at(std::size_t index) const;

    // Appends and drops the oldest rows beyond the bounds.
    void append(const RowView& row);
    void clear();

    // The pieces of append, for a view that announces its changes in steps.
    std::size_t keptRows() const { return rows_.size(); }
    std::size_t keptBytes() const { return rows_.bytes(); }
    RowView kept(std::size_t index) const { return rows_[index]; }
    std::uint64_t dropped() const { return dropped_; }
    // How `batch` (rows to be appended, oldest first) fits: its oldest rows that cannot be
    // kept at all, and the kept rows that must leave at the front for the rest.
    struct Fit {
        std::size_t neverKept = 0;
        std::size_t leaving = 0;
    };
    Fit fit(const RowStore& batch) const;
    void push(const RowView& row) { rows_.push(row); }
    void dropFront(std::size_t count);
    // Rows that were never kept (a batch beyond the bounds) count as dropped too.
    void countDropped(std::uint64_t count, std::int64_t wallMs, std::int64_t sinceOpenMs);
    Row droppedRow() const;

private:
    std::size_t capacity_;
    std::size_t byteBudget_;
    RowStore rows_;
    std::uint64_t dropped_ = 0;
    std::int64_t lastDroppedWallMs_ = 0;  // the dropped-rows row carries the last one's times
    std::int64_t lastDroppedSinceOpenMs_ = -1;
};

}  // namespace kvtraffic
