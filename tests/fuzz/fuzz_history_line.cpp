// A history export comes from another machine: any bytes as one line must give an entry or
// one message, and an entry that was read must write out and read back as the same entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "history/Store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    kvops::HistoryEntry first;
    if (const std::string error = kvhistory::parseEntryLine(line, first); !error.empty()) return 0;
    const std::string written = kvhistory::entryJson(first);
    if (written.find('\n') != std::string::npos) std::abort();  // one line
    kvops::HistoryEntry again;
    if (!kvhistory::parseEntryLine(written, again).empty() || !(again == first)) std::abort();
    return 0;
}
