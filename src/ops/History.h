// The collector's history: what the operations record of every listing read and every write, so
// that any earlier state of a collector can be looked at again and written back.
//
//   listing  a listing read from a collector: every value it reports, the listing as it came
//   before   the state a write starts from: the values of the last listing read since the port
//            was opened (a write that has none reads one first), or a note that none was read
//   write    what a write sent, what the collector answered to each frame and the read-back
//            that ended it (its values and its result: "done", "differences", "failed", or
//            "sent" when the write reads nothing back)
//
// Every entry names the collector by what is known of it: the port as given, the USB serial
// number of the adapter (where the port is a USB adapter that has one) and the station address
// the listing reports; who (operator) and with what (tool and version).
//
// kvops says what is recorded and when (LineHistory); a Journal keeps it. The store
// (kvhistory::Store, a database file) is one; a journal that keeps nothing is none at all
// (LineHistory without a journal records nothing).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ops/Error.h"
#include "protocol/CollectorSettings.h"

namespace kvops {

enum class EntryKind { Listing, Before, Write };
// "listing", "before", "write"; the kind of a word, none for another word.
std::string_view kindWord(EntryKind kind);
std::optional<EntryKind> kindOfWord(std::string_view word);

// A frame a write sent and what the collector answered to it (none: no answer in time).
struct SentFrame {
    std::string frame;
    std::optional<std::string> answer;
    bool operator==(const SentFrame&) const = default;
};

struct HistoryEntry {
    std::int64_t id = 0;     // the store's number; 0 until recorded
    std::string uid;         // the same on every machine the entry is moved to; the store
                             // makes one when empty
    std::int64_t timeMs = 0; // when (ms since 1970, UTC); the store takes now when 0
    EntryKind kind = EntryKind::Listing;
    // The operation: "read", "set", "apply", "commission", "restore", "reset", "Write All",
    // "Undo", a Set button's command word ("Set ST"), "Parameter Initialization", ...
    std::string what;
    std::string port;           // as given ("/dev/ttyUSB0", "usb-serial:FT1", "COM4", ...)
    std::string adapterSerial;  // the adapter's USB serial number, where known
    std::string station;        // the station address the collector reports, "" unknown
    std::string operatorName;
    std::string tool;           // "kv480t 1.2.0", "kv480t-config 1.2.0"
    std::string result;         // write: "done", "differences", "failed", "sent"
    std::int64_t before = 0;    // write: its before entry; before: the listing it copies
    // listing, before: the values reported; write: the values written (asked).
    kvproto::CollectorSettings values;
    std::string listing;  // listing, before: the listing as it came; write: the read-back's
    std::vector<SentFrame> frames;        // write: in the order sent
    kvproto::CollectorSettings readBack;  // write: what the read-back's listing reported
    std::string note;  // what else there is to say ("no listing was read since the port was
                       // opened", the differences of a read-back, why a write failed)

    bool operator==(const HistoryEntry&) const = default;
};

// Where entries are kept. record() commits the entry (id and uid filled in) and then calls
// `done` with its id, or 0 and the reason it could not be kept; `done` runs on the caller's
// thread: at once for a journal that commits in the call, later (from the owner's event loop)
// for one that commits on a thread of its own.
class Journal {
public:
    using Done = std::function<void(std::int64_t id, const Error& error)>;
    virtual ~Journal() = default;
    virtual void record(HistoryEntry entry, Done done) = 0;
};

// Who records and with what, the same for every entry of a run.
struct Recorder {
    std::string operatorName;  // --operator, else the account's name
    std::string tool;          // "kv480t 1.2.0"
};
// The account's name (USER, LOGNAME, the password database; USERNAME on Windows), "" unknown.
std::string accountName();

}  // namespace kvops
