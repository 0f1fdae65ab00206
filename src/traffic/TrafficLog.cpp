#include "traffic/TrafficLog.h"

#include <algorithm>
#include <utility>

namespace kvtraffic {

Recorder::Recorder(Sink sink) : sink_(std::move(sink)) {}

void Recorder::add(Kind kind, std::string data) {
    using namespace std::chrono;
    Row row;
    row.wallMs = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    if (openedAt_)
        row.sinceOpenMs = duration_cast<milliseconds>(steady_clock::now() - *openedAt_).count();
    row.kind = kind;
    row.data = std::move(data);
    if (sink_) sink_(std::move(row));
}

void Recorder::opened(std::string_view port, std::string_view settings) {
    openedAt_ = std::chrono::steady_clock::now();
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

void Recorder::messageShown(std::string_view text) {
    add(Kind::Event, "message shown: " + std::string(text));
}

void Recorder::noAnswer(std::string_view reason) {
    add(Kind::Event, "time-out: " + std::string(reason));
}

void Recorder::event(std::string text) {
    add(Kind::Event, std::move(text));
}

TrafficLog::TrafficLog(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

Row TrafficLog::at(std::size_t index) const {
    if (dropped_) {
        if (index == 0) return droppedRow();
        --index;
    }
    return rows_.at(index);
}

void TrafficLog::append(Row&& row) {
    rows_.push_back(std::move(row));
    if (rows_.size() > capacity_) dropFront(rows_.size() - capacity_);
}

void TrafficLog::clear() {
    rows_.clear();
    dropped_ = 0;
    lastDroppedWallMs_ = 0;
    lastDroppedSinceOpenMs_ = -1;
}

void TrafficLog::dropFront(std::size_t count) {
    count = std::min(count, rows_.size());
    if (count == 0) return;
    const Row& last = rows_[count - 1];
    lastDroppedWallMs_ = last.wallMs;
    lastDroppedSinceOpenMs_ = last.sinceOpenMs;
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(count));
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
