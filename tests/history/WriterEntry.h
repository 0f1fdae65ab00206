// The entries history_writer adds: the content is a function of the run's tag and the
// entry's number, so that the test can check every entry it was told was committed.
#pragma once

#include <string>

#include "ops/History.h"

namespace kvtest {

inline kvops::HistoryEntry writerEntry(const std::string& tag, long number) {
    kvops::HistoryEntry entry;
    entry.kind = kvops::EntryKind::Write;
    entry.what = "set";
    entry.port = "/dev/ttyUSB0";
    entry.station = "17";
    entry.result = "done";
    for (int i = 0; i < 300; ++i) entry.listing += static_cast<char>((number + i) % 256);
    entry.frames.push_back({"frame " + std::to_string(number), std::nullopt});
    entry.note = tag + " entry " + std::to_string(number);
    return entry;
}

}  // namespace kvtest
