// history_writer DATABASE TAG [COUNT]: adds entries (WriterEntry.h) to the store one by one,
// printing "ID NUMBER" for each once add() has returned; COUNT entries, or until killed.
// Exit 1 when the store cannot be opened or an entry is not kept.
#include <cstdio>
#include <cstdlib>

#include "WriterEntry.h"
#include "history/Store.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const long count = argc > 3 ? std::atol(argv[3]) : 0;
    kvops::Error error;
    auto store = kvhistory::Store::open(argv[1], error);
    if (!store) {
        std::fprintf(stderr, "%s\n", error.text.c_str());
        return 1;
    }
    for (long n = 1; count == 0 || n <= count; ++n) {
        kvops::HistoryEntry entry = kvtest::writerEntry(argv[2], n);
        const std::int64_t id = store->add(entry, error);
        if (id == 0) {
            std::fprintf(stderr, "%s\n", error.text.c_str());
            return 1;
        }
        std::printf("%lld %ld\n", static_cast<long long>(id), n);
        std::fflush(stdout);
    }
    return 0;
}
