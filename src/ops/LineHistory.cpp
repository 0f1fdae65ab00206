#include "ops/LineHistory.h"

#include <filesystem>
#include <utility>

#include "SPComm/net/NetPortName.h"
#include "ports/PortName.h"
#include "ports/SerialPorts.h"
#include "protocol/SetCommands.h"

namespace kvops {

namespace {

// The station address a listing reports, "" when none.
std::string stationIn(const kvproto::CollectorSettings& settings) {
    return settings.get("rs485.address").value_or("");
}

// Whether a write wrote a counter base: one of its values, or a value of a command one of its
// frames names ("KORVEL#WORD:...").
bool writesCounters(const LineHistory::Write& write) {
    const auto counter = [](const kvproto::Parameter* p) {
        return p->kind == kvproto::ParameterKind::CounterBase;
    };
    for (const auto& entry : write.written.entries())
        if (counter(entry.first)) return true;
    for (const SentFrame& frame : write.frames) {
        const std::size_t hash = frame.frame.find('#');
        const std::size_t colon = frame.frame.find(':', hash);
        if (hash == std::string::npos || colon == std::string::npos) continue;
        const kvproto::SetCommand* command = kvproto::findSetCommandByWord(
            std::string_view(frame.frame).substr(hash + 1, colon - hash - 1));
        if (command == nullptr) continue;
        for (const kvproto::Parameter* p : command->parameterSpan())
            if (counter(p)) return true;
    }
    return false;
}

}  // namespace

LineHistory::LineHistory() : alive_(std::make_shared<Alive>()) {}

LineHistory::~LineHistory() = default;

void LineHistory::setJournal(Journal* journal, Recorder recorder) {
    journal_ = journal;
    recorder_ = std::move(recorder);
}

void LineHistory::opened(std::string port, std::string adapterSerial) {
    closed();
    if (port != undoPort_) undo_.reset();
    undoPort_ = port;
    port_ = std::move(port);
    adapterSerial_ = std::move(adapterSerial);
    changed(false);
}

void LineHistory::closed() {
    ++alive_->open;
    last_.reset();
    lastRaw_.clear();
    lastId_ = 0;
    stale_ = false;
    changed(false);
}

HistoryEntry LineHistory::entry(EntryKind kind, std::string what) const {
    HistoryEntry e;
    e.kind = kind;
    e.what = std::move(what);
    // No time: the store stamps the entry as it commits it.
    e.port = port_;
    e.adapterSerial = adapterSerial_;
    e.operatorName = recorder_.operatorName;
    e.tool = recorder_.tool;
    if (last_) e.station = stationIn(*last_);
    return e;
}

void LineHistory::record(HistoryEntry e, Journal::Done done) {
    journal_->record(std::move(e), std::move(done));
}

void LineHistory::listing(std::string_view raw, const Listing& listing) {
    last_ = listing.settings;
    lastRaw_ = std::string(raw);
    lastId_ = 0;
    stale_ = false;
    changed(false);
    if (!on()) return;
    HistoryEntry e = entry(EntryKind::Listing, "read");
    e.values = listing.settings;
    e.listing = lastRaw_;
    if (listing.error) e.note = describe(listing.error);
    std::weak_ptr<Alive> alive = alive_;
    const std::uint64_t open = alive_->open;
    record(std::move(e), [this, alive, open](std::int64_t id, const Error& error) {
        const auto self = alive.lock();
        if (!self) return;
        if (error) {
            if (problem_) problem_(error);
            return;
        }
        // Still this open's last listing: a before entry refers to it.
        if (self->open == open && lastId_ == 0 && !stale_) lastId_ = id;
        changed(true);
    });
}

void LineHistory::before(std::string what, Journal::Done done, std::string whyNone) {
    undo_ = UndoPoint{0, what, wallClockMs(), last_, false};
    changed(false);
    if (!on()) {
        done(0, {});
        return;
    }
    HistoryEntry e = entry(EntryKind::Before, std::move(what));
    if (!last_) {
        e.note = whyNone.empty() ? "no listing was read since the port was opened"
                                 : "the listing read first did not come: " + whyNone;
    } else {
        e.values = *last_;
        e.listing = lastRaw_;
        e.before = lastId_;
        if (stale_) e.note = "the last listing read, but a write was made since";
    }
    std::weak_ptr<Alive> alive = alive_;
    const std::uint64_t serial = ++befores_;
    lastBefore_ = 0;
    beforePending_ = true;
    held_.reset();
    record(std::move(e), [this, alive, serial, done = std::move(done)](std::int64_t id,
                                                                      const Error& error) {
        if (!alive.lock()) return;
        if (befores_ == serial) {
            if (undo_) undo_->before = id;
            lastBefore_ = id;
            beforePending_ = false;
        }
        if (!error) changed(true);
        done(id, error);
        if (befores_ == serial && held_) {
            auto [write, writeDone] = std::move(*held_);
            held_.reset();
            write.before = id;
            recordWrite(std::move(write), std::move(writeDone));
        }
    });
}

std::string LineHistory::resultOf(const Write& write) {
    if (write.error) return "failed";
    if (!write.readBackListing) return "sent";
    return write.differences.empty() ? "done" : "differences";
}

void LineHistory::write(Write write, Journal::Done done) {
    stale_ = true;
    if (undo_) undo_->counters = undo_->counters || writesCounters(write);
    changed(false);
    if (!on()) {
        if (done) done(0, {});
        return;
    }
    if (write.before == 0) {
        if (beforePending_) {
            held_.emplace(std::move(write), std::move(done));
            return;
        }
        write.before = lastBefore_;
    }
    recordWrite(std::move(write), std::move(done));
}

void LineHistory::recordWrite(Write write, Journal::Done done) {
    HistoryEntry e = entry(EntryKind::Write, write.what);
    e.result = resultOf(write);
    e.before = write.before;
    e.values = std::move(write.written);
    e.frames = std::move(write.frames);
    if (write.readBackListing) {
        e.listing = std::move(*write.readBackListing);
        e.readBack = std::move(write.readBack);
        if (!stationIn(e.readBack).empty()) e.station = stationIn(e.readBack);
    }
    if (write.error) {
        e.note = describe(write.error, port_);
    } else if (!write.differences.empty()) {
        e.note = kvproto::describeDifferences(write.differences, "written");
    }
    std::weak_ptr<Alive> alive = alive_;
    record(std::move(e), [this, alive, done = std::move(done)](std::int64_t id,
                                                               const Error& error) {
        if (!alive.lock()) return;
        if (error && problem_) problem_(error);
        if (!error) changed(true);
        if (done) done(id, error);
    });
}

const kvproto::CollectorSettings* recordedState(const HistoryEntry& entry) {
    const kvproto::CollectorSettings& state =
        entry.kind == EntryKind::Write ? entry.readBack : entry.values;
    return state.empty() ? nullptr : &state;
}

std::string adapterSerialOf(const std::string& port) {
    if (kvports::isUsbSerialName(port)) return port.substr(kvports::kUsbSerialPrefix.size());
    if (spcomm::IsNetworkPortName(port)) return {};
#ifdef __linux__
    // Only USB serial devices have a serial number: the ports are listed for those alone.
    std::error_code error;
    const std::string name =
        std::filesystem::weakly_canonical(port, error).filename().string();
    if (!name.starts_with("ttyUSB") && !name.starts_with("ttyACM")) return {};
#endif
    for (const kvports::SerialPortInfo& info : kvports::listSerialPorts().ports)
        if (info.path == port || (!info.byId.empty() && info.byId == port))
            return info.serialNumber;
    return {};
}

}  // namespace kvops
