// kvops::LineHistory: what the history records of one line, and when. Each kvops::Line has
// one; the client and the window's presenters tell it what they read and write, and it makes
// the entries (History.h) and hands them to its journal. Without a journal it records
// nothing and every write may start at once.
//
//   listing()  a listing read: recorded; it is the line's last listing from then on
//   before()   a write is about to start: its "before" entry, the last listing's values,
//              is recorded, and the write starts only once `done` says it is committed.
//              needsListing() says when the owner must read a listing first: none was read
//              since the port was opened, or a write was made since the last one (its values
//              are no longer what the collector holds)
//   write()    a write ended: what it sent, the answers and the read-back's result
//
// The window's Set buttons and Parameter Initialization send at once: their before() takes the
// last listing as it is (stale or not, it says so) or says that none was read.
//
// Owner's thread only. A journal that commits later calls back on the owner's thread; a
// LineHistory destroyed meanwhile is not called.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ops/History.h"
#include "ops/Operations.h"

namespace kvops {

class LineHistory {
public:
    LineHistory();
    ~LineHistory();
    LineHistory(const LineHistory&) = delete;
    LineHistory& operator=(const LineHistory&) = delete;

    // Records into `journal` (none: nothing is recorded) as `recorder`. The journal must
    // outlive the LineHistory or be taken away first.
    void setJournal(Journal* journal, Recorder recorder);
    bool on() const { return journal_ != nullptr; }
    Journal* journal() const { return journal_; }
    const Recorder& recorder() const { return recorder_; }

    // A failure to keep a listing or a write entry (a before's is told to its `done`); the
    // owner says it once.
    void setProblemListener(std::function<void(const Error&)> listener) {
        problem_ = std::move(listener);
    }

    // Told whenever what the line knows changes (an open or close, a listing, a before, a
    // write: `recorded` false) and whenever one of its entries has been kept (`recorded`
    // true), so that a window follows without asking again and again.
    void setChangeListener(std::function<void(bool recorded)> listener) {
        changed_ = std::move(listener);
    }

    // The port was opened: nothing is known of its collector. `adapterSerial`: the USB serial
    // number of its adapter, "" unknown.
    void opened(std::string port, std::string adapterSerial);
    void closed();
    const std::string& port() const { return port_; }

    // A listing was read as `raw` came.
    void listing(std::string_view raw, const Listing& listing);
    // The last listing since the port was opened; none when none was read.
    const std::optional<kvproto::CollectorSettings>& lastListing() const { return last_; }
    // Whether a write must read a listing first for its before entry.
    bool needsListing() const { return on() && (!last_ || stale_); }

    // Records the before entry of the write `what`: the last listing's values (a note says
    // when none was read, or when a write was made since; `whyNone`, when given, why none
    // could be read). `done(id, error)` once committed; at once with id 0 and no error when
    // history is off.
    void before(std::string what, Journal::Done done, std::string whyNone = {});

    struct Write {
        std::string what;
        // Its before entry; 0: the last before() of this line, waited for when its commit is
        // still to come (the write entry then follows it).
        std::int64_t before = 0;
        kvproto::CollectorSettings written;  // the values it wrote
        std::vector<SentFrame> frames;
        std::optional<std::string> readBackListing;  // none: no read-back
        kvproto::CollectorSettings readBack;
        std::vector<kvproto::Difference> differences;  // of the read-back from what was asked
        Error error;                                   // why it stopped, if it did
    };
    // A write ended; recorded. From now on the last listing is stale.
    void write(Write write, Journal::Done done = {});

    // The state before the last write made through this line to its port: kept while the
    // same port is opened again, forgotten when another port is opened. `state` is empty when
    // no listing had been read before that write; `counters`: the write wrote counter bases.
    struct UndoPoint {
        std::int64_t before = 0;  // its before entry, 0 while not (yet) recorded
        std::string what;
        std::int64_t timeMs = 0;
        std::optional<kvproto::CollectorSettings> state;
        bool counters = false;
    };
    const std::optional<UndoPoint>& undoPoint() const { return undo_; }

    // The result word of a write: "failed" (error), "sent" (no read-back), "differences",
    // "done".
    static std::string resultOf(const Write& write);

private:
    HistoryEntry entry(EntryKind kind, std::string what) const;
    void record(HistoryEntry entry, Journal::Done done);

    Journal* journal_ = nullptr;
    Recorder recorder_;
    std::function<void(const Error&)> problem_;
    std::function<void(bool)> changed_;
    void changed(bool recorded) const {
        if (changed_) changed_(recorded);
    }
    std::string port_;
    std::string adapterSerial_;
    std::string undoPort_;
    std::optional<kvproto::CollectorSettings> last_;
    std::string lastRaw_;
    std::int64_t lastId_ = 0;
    bool stale_ = false;
    std::optional<UndoPoint> undo_;
    std::uint64_t befores_ = 0;  // which before the undo point is
    std::int64_t lastBefore_ = 0;  // the last before's id, once committed
    bool beforePending_ = false;   // the last before's commit is still to come
    // A write whose before is still to be committed, with its `done`.
    std::optional<std::pair<Write, Journal::Done>> held_;
    void recordWrite(Write write, Journal::Done done);
    // Shared with the journal's calls back: tells them whether this LineHistory is still
    // there, and which open they belong to.
    struct Alive {
        std::uint64_t open = 0;
    };
    std::shared_ptr<Alive> alive_;
};

// The collector's state an entry holds: a listing's or a before's values, a write's
// read-back; none for a write that read nothing back or a before with no listing.
const kvproto::CollectorSettings* recordedState(const HistoryEntry& entry);

// The adapter serial number of `port` as the history names it: a usb-serial name's own, or
// the listed adapter's whose path is `port`; "" for a network port or none known. Lists the
// ports (call it where that may take a moment: an opening thread).
std::string adapterSerialOf(const std::string& port);

}  // namespace kvops
