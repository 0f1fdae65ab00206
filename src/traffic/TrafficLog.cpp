#include "traffic/TrafficLog.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace kvtraffic {

namespace {

// Large enough that a chunk's unused tail is a small share (under 3 % for blocks of 2048
// bytes), small enough that the oldest rows give memory back soon after they go.
constexpr std::size_t kChunkBytes = std::size_t{64} << 10;

}  // namespace

Recorder::Recorder(Sink sink) : sink_(std::move(sink)) {}

void Recorder::add(Kind kind, std::string data, std::optional<Clock::time_point> at) {
    using namespace std::chrono;
    const Clock::time_point now = Clock::now();
    const Clock::time_point when = at ? std::min(*at, now) : now;
    Row row;
    row.wallMs =
        duration_cast<milliseconds>((system_clock::now() - (now - when)).time_since_epoch())
            .count();
    if (openedAt_)
        row.sinceOpenMs =
            std::max<std::int64_t>(0, duration_cast<milliseconds>(when - *openedAt_).count());
    row.kind = kind;
    row.data = std::move(data);
    if (sink_) sink_(std::move(row));
}

void Recorder::record(const kvops::LineEvent& event) {
    using Kind = kvops::LineEvent::Kind;
    switch (event.kind) {
        case Kind::Opened:
            opened(event.data, event.detail);
            break;
        case Kind::OpenFailed:
            openFailed(event.data, event.detail);
            break;
        case Kind::Closed:
            closed();
            break;
        case Kind::HungUp:
            hungUp();
            break;
        case Kind::Sent:
            sent(event.data);
            break;
        case Kind::NotSent:
            notSent(event.data, event.detail);
            break;
        case Kind::Received:
            if (event.at == Clock::time_point{})
                received(event.data);
            else
                received(event.data, event.at);
            break;
        case Kind::TimedOut:
            if (!event.data.empty())
                messageShown(event.data);
            else
                noAnswer(event.detail);
            break;
    }
}

void Recorder::opened(std::string_view port, std::string_view settings) {
    openedAt_ = Clock::now();
    std::string text = "opened ";
    text += port;
    if (!settings.empty()) {
        text += ", ";
        text += settings;
    }
    add(Kind::Event, std::move(text));
}

void Recorder::openFailed(std::string_view port, std::string_view reason) {
    add(Kind::Event, "not opened " + std::string(port) + ": " + std::string(reason));
}

void Recorder::closed() {
    add(Kind::Event, "closed");
}

void Recorder::hungUp() {
    add(Kind::Event, "hang-up: the line stopped working");
}

void Recorder::sent(std::string_view frame) {
    add(Kind::Tx, std::string(frame));
}

void Recorder::notSent(std::string_view frame, std::string_view reason) {
    add(Kind::Tx, std::string(frame));
    add(Kind::Event, "not sent: " + std::string(reason));
}

void Recorder::received(std::string_view block) {
    add(Kind::Rx, std::string(block));
}

void Recorder::received(std::string_view block, Clock::time_point readAt) {
    add(Kind::Rx, std::string(block), readAt);
}

void Recorder::messageShown(std::string_view text) {
    add(Kind::Event, "message shown: " + std::string(text));
}

void Recorder::noAnswer(std::string_view reason) {
    add(Kind::Event, "time-out: " + std::string(reason));
}

void Recorder::event(std::string text) {
    add(Kind::Event, std::move(text));
}

RowView RowStore::operator[](std::size_t index) const {
    const Entry& e = rows_[index];
    return RowView(e.wallMs, e.sinceOpenMs, e.kind, std::string_view(e.data, e.size));
}

void RowStore::push(const RowView& row) {
    // Blocks are at most 65535 bytes; anything beyond 4 GiB is cut rather than wrapped.
    const std::size_t size = std::min<std::size_t>(row.data.size(), UINT32_MAX);
    if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < size) {
        Chunk chunk;
        chunk.capacity = std::max(kChunkBytes, size);
        chunk.bytes = std::make_unique_for_overwrite<char[]>(chunk.capacity);
        chunks_.push_back(std::move(chunk));
    }
    Chunk& chunk = chunks_.back();
    char* at = chunk.bytes.get() + chunk.used;
    if (size > 0) std::memcpy(at, row.data.data(), size);
    chunk.used += size;
    ++chunk.rows;
    rows_.push_back(
        Entry{row.wallMs, row.sinceOpenMs, at, static_cast<std::uint32_t>(size), row.kind});
    bytes_ += size;
}

void RowStore::dropFront(std::size_t count) {
    count = std::min(count, rows_.size());
    for (std::size_t i = 0; i < count; ++i) {
        bytes_ -= rows_.front().size;
        rows_.pop_front();
        Chunk& front = chunks_.front();
        if (--front.rows > 0) continue;
        if (chunks_.size() > 1)
            chunks_.pop_front();
        else
            front.used = 0;  // the last chunk is used again from its start
    }
}

void RowStore::clear() {
    rows_.clear();
    chunks_.clear();
    bytes_ = 0;
}

TrafficLog::TrafficLog(std::size_t capacity, std::size_t byteBudget)
    : capacity_(std::max<std::size_t>(capacity, 1)), byteBudget_(byteBudget) {}

Row TrafficLog::at(std::size_t index) const {
    if (dropped_) {
        if (index == 0) return droppedRow();
        --index;
    }
    if (index >= rows_.size()) throw std::out_of_range("kvtraffic::TrafficLog::at");
    return rows_[index].row();
}

void TrafficLog::append(const RowView& row) {
    rows_.push(row);
    std::size_t leaving = 0;
    std::size_t bytes = rows_.bytes();
    while (rows_.size() - leaving > 1 &&
           (rows_.size() - leaving > capacity_ || bytes > byteBudget_)) {
        bytes -= rows_[leaving].data.size();
        ++leaving;
    }
    dropFront(leaving);
}

void TrafficLog::clear() {
    rows_.clear();
    dropped_ = 0;
    lastDroppedWallMs_ = 0;
    lastDroppedSinceOpenMs_ = -1;
}

TrafficLog::Fit TrafficLog::fit(const RowStore& batch) const {
    Fit fit;
    // The batch's newest rows that fit on their own; the newest one always does.
    std::size_t incoming = 0;
    std::size_t bytes = 0;
    while (incoming < batch.size()) {
        const std::size_t size = batch[batch.size() - 1 - incoming].data.size();
        if (incoming > 0 && (incoming + 1 > capacity_ || bytes + size > byteBudget_)) break;
        ++incoming;
        bytes += size;
    }
    fit.neverKept = batch.size() - incoming;
    if (fit.neverKept > 0) {  // rows older than the ones left out go too
        fit.leaving = rows_.size();
        return fit;
    }
    std::size_t kept = rows_.bytes();
    while (fit.leaving < rows_.size() &&
           (rows_.size() - fit.leaving + incoming > capacity_ || kept + bytes > byteBudget_)) {
        kept -= rows_[fit.leaving].data.size();
        ++fit.leaving;
    }
    return fit;
}

void TrafficLog::dropFront(std::size_t count) {
    count = std::min(count, rows_.size());
    if (count == 0) return;
    const RowView last = rows_[count - 1];
    lastDroppedWallMs_ = last.wallMs;
    lastDroppedSinceOpenMs_ = last.sinceOpenMs;
    rows_.dropFront(count);
    dropped_ += count;
}

void TrafficLog::countDropped(std::uint64_t count, std::int64_t wallMs, std::int64_t sinceOpenMs) {
    if (count == 0) return;
    dropped_ += count;
    lastDroppedWallMs_ = wallMs;
    lastDroppedSinceOpenMs_ = sinceOpenMs;
}

Row TrafficLog::droppedRow() const {
    Row row;
    row.wallMs = lastDroppedWallMs_;
    row.sinceOpenMs = lastDroppedSinceOpenMs_;
    row.kind = Kind::Event;
    row.data = "... " + std::to_string(dropped_) + " earlier rows dropped";
    return row;
}

}  // namespace kvtraffic
