// kvops::LineHistory: which entries a line's listings and writes leave, what a before holds,
// when a write must read first, and the undo point. A journal of the test's own keeps the
// entries (committing in the call, or later as the window's does).
#include "ops/LineHistory.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TestJournal.h"
#include "sim/DeviceState.h"

namespace {

using kvops::EntryKind;
using kvops::HistoryEntry;
using kvops::LineHistory;

using kvtest::TestJournal;

LineHistory::Write writeOf(std::string what, std::vector<kvops::SentFrame> frames = {},
                          std::optional<std::string> readBack = std::nullopt,
                          std::vector<kvproto::Difference> differences = {},
                          kvops::Error error = {}) {
    LineHistory::Write write;
    write.what = std::move(what);
    write.frames = std::move(frames);
    write.readBackListing = std::move(readBack);
    write.differences = std::move(differences);
    write.error = std::move(error);
    return write;
}

const std::string& factoryListing() {
    static const std::string text = kvsim::parameterText(kvsim::factoryDefaults());
    return text;
}

struct Fixture {
    TestJournal journal;
    LineHistory history;
    Fixture() {
        history.setJournal(&journal, {"anna", "kv480t 9.9"});
        history.opened("/dev/ttyUSB0", "FT1");
    }
    void read() { history.listing(factoryListing(), kvops::readListing(factoryListing())); }
    std::int64_t before(const std::string& what) {
        std::int64_t got = -1;
        history.before(what, [&](std::int64_t id, const kvops::Error&) { got = id; });
        return got;
    }
};

TEST(LineHistory, EntriesNameTheCollectorAndWhoRecords) {
    Fixture f;
    f.read();
    ASSERT_EQ(f.journal.entries.size(), 1u);
    const HistoryEntry& e = f.journal.entries[0];
    EXPECT_EQ(e.kind, EntryKind::Listing);
    EXPECT_EQ(e.what, "read");
    EXPECT_EQ(e.port, "/dev/ttyUSB0");
    EXPECT_EQ(e.adapterSerial, "FT1");
    EXPECT_EQ(e.station, kvops::readListing(factoryListing()).settings.get("rs485.address"));
    EXPECT_EQ(e.operatorName, "anna");
    EXPECT_EQ(e.tool, "kv480t 9.9");
    EXPECT_EQ(e.listing, factoryListing());
    EXPECT_EQ(e.values, kvops::readListing(factoryListing()).settings);
}

// What a before holds and when a write must read a listing first.
TEST(LineHistory, BeforeTakesTheLastListingAndSaysWhenItIsNotCurrent) {
    struct Case {
        const char* name;
        std::function<void(Fixture&)> steps;
        bool needsListing;
        bool hasValues;
        std::string note;
        std::int64_t refersTo;  // the listing entry it copies
    };
    const std::vector<Case> cases = {
        {"nothing read", [](Fixture&) {}, true, false,
         "no listing was read since the port was opened", 0},
        {"read", [](Fixture& f) { f.read(); }, false, true, "", 1},
        {"read, then a write",
         [](Fixture& f) {
             f.read();
             f.history.write(writeOf("Set ST"));
         },
         true, true, "the last listing read, but a write was made since", 1},
        {"read, write, read again",
         [](Fixture& f) {
             f.read();
             f.history.write(writeOf("Set ST"));
             f.read();
         },
         false, true, "", 3},
        {"read, then the port reopened",
         [](Fixture& f) {
             f.read();
             f.history.closed();
             f.history.opened("/dev/ttyUSB0", "FT1");
         },
         true, false, "no listing was read since the port was opened", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        c.steps(f);
        EXPECT_EQ(f.history.needsListing(), c.needsListing);
        const std::int64_t id = f.before("apply");
        ASSERT_EQ(id, static_cast<std::int64_t>(f.journal.entries.size()));
        const HistoryEntry& e = f.journal.entries.back();
        EXPECT_EQ(e.kind, EntryKind::Before);
        EXPECT_EQ(e.what, "apply");
        EXPECT_EQ(!e.values.empty(), c.hasValues);
        EXPECT_EQ(e.note, c.note);
        EXPECT_EQ(e.before, c.refersTo);
    }
}

TEST(LineHistory, WriteResultsAndTheirNotes) {
    kvproto::CollectorSettings written;
    ASSERT_FALSE(written.set("rs485.address", "12"));
    const kvproto::Difference differs{kvproto::findParameter("rs485.address"), "12", "013"};
    struct Case {
        LineHistory::Write write;
        std::string result;
        std::string noteHas;
    };
    const std::vector<Case> cases = {
        {writeOf("Set ST"), "sent", ""},
        {writeOf("apply", {}, "x"), "done", ""},
        {writeOf("apply", {}, "x", {differs}), "differences", "rs485.address"},
        {writeOf("apply", {}, std::nullopt, {}, {kvops::ErrorCode::HungUp, 0, {}}), "failed",
         "hung up"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        Fixture f;
        f.history.write(c.write);
        ASSERT_EQ(f.journal.entries.size(), 1u);
        EXPECT_EQ(f.journal.entries[0].kind, EntryKind::Write);
        EXPECT_EQ(f.journal.entries[0].result, c.result);
        EXPECT_NE(f.journal.entries[0].note.find(c.noteHas), std::string::npos)
            << f.journal.entries[0].note;
    }
}

// The window's journal commits later: a before's id arrives then, and one that arrives after
// the LineHistory is gone is dropped.
TEST(LineHistory, ALateCommitReachesTheUndoPointAndNotADestroyedLine) {
    TestJournal journal;
    journal.deferred = true;
    std::int64_t told = -1;
    {
        LineHistory history;
        history.setJournal(&journal, {});
        history.opened("COM4", "");
        history.listing(factoryListing(), kvops::readListing(factoryListing()));
        history.before("Write All", [&](std::int64_t id, const kvops::Error&) { told = id; });
        EXPECT_EQ(told, -1);
        ASSERT_TRUE(history.undoPoint());
        EXPECT_EQ(history.undoPoint()->before, 0);
        journal.later();
        EXPECT_EQ(told, 2);
        EXPECT_EQ(history.undoPoint()->before, 2);
        history.before("Write All", [&](std::int64_t id, const kvops::Error&) { told = id; });
    }
    journal.later();  // the line is gone: nothing is told
    EXPECT_EQ(told, 2);
}

TEST(LineHistory, TheUndoPointFollowsThePortAndTheCountersWritten) {
    const auto frameOf = [](const char* word) {
        return kvops::SentFrame{std::string("KORVEL#") + word + ":1#", std::nullopt};
    };
    const kvproto::SetCommand& counterCommand =
        kvproto::setCommandFor(*kvproto::findParameter("pin1.base"));
    const kvproto::SetCommand& plainCommand =
        kvproto::setCommandFor(*kvproto::findParameter("rs485.baud"));
    struct Case {
        const char* name;
        std::vector<kvops::SentFrame> frames;
        std::string reopenOn;  // "" none
        bool kept;
        bool counters;
    };
    const std::vector<Case> cases = {
        {"a plain write", {frameOf(plainCommand.word.data())}, "", true, false},
        {"a counter base written", {frameOf(counterCommand.word.data())}, "", true, true},
        {"the same port reopened", {}, "/dev/ttyUSB0", true, false},
        {"another port opened", {}, "/dev/ttyUSB1", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        EXPECT_FALSE(f.history.undoPoint());
        f.read();
        f.before("Set");
        f.history.write(writeOf("Set", c.frames));
        if (!c.reopenOn.empty()) {
            f.history.closed();
            f.history.opened(c.reopenOn, "");
        }
        ASSERT_EQ(f.history.undoPoint().has_value(), c.kept);
        if (!c.kept) continue;
        EXPECT_EQ(f.history.undoPoint()->counters, c.counters);
        EXPECT_EQ(f.history.undoPoint()->state, kvops::readListing(factoryListing()).settings);
        EXPECT_EQ(f.history.undoPoint()->before, 2);
    }
}

TEST(LineHistory, WithoutAJournalNothingIsRecordedAndWritesStartAtOnce) {
    LineHistory history;
    history.opened("COM4", "");
    EXPECT_FALSE(history.needsListing());
    std::int64_t told = -1;
    kvops::Error error{kvops::ErrorCode::BadRequest, 0, "not told"};
    history.before("apply", [&](std::int64_t id, const kvops::Error& e) {
        told = id;
        error = e;
    });
    EXPECT_EQ(told, 0);
    EXPECT_FALSE(error);
}

TEST(LineHistory, RecordedStateOfEachKind) {
    HistoryEntry listing;
    listing.kind = EntryKind::Listing;
    EXPECT_EQ(kvops::recordedState(listing), nullptr);
    ASSERT_FALSE(listing.values.set("rs485.address", "12"));
    EXPECT_EQ(kvops::recordedState(listing), &listing.values);
    HistoryEntry write;
    write.kind = EntryKind::Write;
    write.values = listing.values;  // what was written is no state of the collector
    EXPECT_EQ(kvops::recordedState(write), nullptr);
    write.readBack = listing.values;
    EXPECT_EQ(kvops::recordedState(write), &write.readBack);
}

}  // namespace
