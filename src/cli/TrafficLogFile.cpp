#include "cli/TrafficLogFile.h"

#include <iostream>

namespace kvcli {

TrafficLogFile::TrafficLogFile(const std::string& path)
    : writer_(path, kvtraffic::ByteView::Text, true,
              kvfiles::ReplacingFile::Existing::AppendUnlessRegular),
      started_(writer_.good()) {}

TrafficLogFile::~TrafficLogFile() {
    const std::lock_guard lock(mutex_);
    if (!writer_.finish() && started_) std::cerr << "kv480t: " << writer_.error() << '\n';
}

std::unique_ptr<TrafficLogFile> openTrafficLog(const std::string& path, bool& failed) {
    failed = false;
    if (path.empty()) return nullptr;
    auto log = std::make_unique<TrafficLogFile>(path);
    if (!log->good()) {
        std::cerr << "kv480t: " << log->error() << '\n';
        failed = true;
        return nullptr;
    }
    return log;
}

void TrafficLogFile::attach(kvclient::Client& client, const std::string& port) {
    kvtraffic::Recorder* recorder = nullptr;
    {
        const std::lock_guard lock(mutex_);
        recorders_.push_back(
            std::make_unique<kvtraffic::Recorder>([this, port](kvtraffic::Row&& row) {
                // Called with mutex_ held (below).
                writer_.write(row, port);
            }));
        recorder = recorders_.back().get();
    }
    client.tap().listen([this, recorder](const kvops::LineEvent& event) {
        const std::lock_guard lock(mutex_);
        recorder->record(event);
    });
}

}  // namespace kvcli
