// ProfileSession: the window's "Profile" group without its widgets: load a profile's settings
// into the fields, write every included setting to the collector ("Write All"), verify by
// read-back, and the row of the commissioning sheet (Report...). The window's ProfilePanel
// keeps the buttons, the file dialogs and the profile and report files; it shows what the
// session says through ProfileView.
//
// The fields and the settings meet in one place, the parameter table: a field is the
// Controls control its parameter names (a list by its item, kvproto::itemValue/itemNumber).
//
// Write All writes the apply plan (kvops::planApply, as kv480t apply does) of the included
// fields — with a profile loaded, of the fields the profile filled — by pressing the plan's
// Set buttons in turn through DeviceSession, each exactly as the technician would (same
// frames, same send and receive buffer updates), each paced by its answer as kvops::ApplyRun
// says (the answer goes to ProfileView::reportAnswer, "ST answered: OK:ST:041" or
// "ST: no answer", never judged). The next command goes out at the clock tick after the
// answer was shown (DeviceSession::wake); a wait for an answer ends by the engine's clock
// (DeviceSession's clock timer): the session has no timer of its own. It checks every field
// first and sends nothing when one is bad; it stops early only when the port does not take a
// frame or the line fails; while it runs its button reads "Cancel". Then it reads the
// collector's listing and compares it with what was written: done only when the collector
// holds every written value, else the differing fields are highlighted and listed. Station
// address and counter bases take part only when ProfileView::include() says so.
//
// Verify sends "Read Parameters" and compares what the collector's listing reports
// (kvops::readListing, counter bases included) with the loaded profile (or, with none loaded,
// with the fields) by kvops::compare, as kv480t verify does; differing fields are highlighted
// and listed on the status line. Neither Verify nor Write All's read-back changes a field.
//
// Report: the "before" values are those of the first parameter read since the port was
// opened, the "after" values and the result those of the last Verify. When no Verify has run
// since the last request that could change the collector (Write All, a Set), report() runs
// one first and has the sheet saved once it is done.
//
// Other parts of the window (the site walk) use the same machinery for settings of their own:
// readCollector() reads the listing and hands over how the read ended; writeAndVerify()
// writes given settings as Write All writes (the frames built from the settings, not the
// fields, which keep what they hold), reads back, compares with given values and hands over
// the outcome (WriteOutcome); neither says anything on the status line. While one runs the
// group is busy: Write All, Verify and Report... do nothing. Such a read is never Report...'s
// "before" (it may be another collector's).
//
// History (DeviceSession::history()): every write of the group — Write All, a caller's
// writeAndVerify(), restore() — is recorded as one write: before its first frame, the state
// it starts from (when the history has no current listing of the collector, the listing is
// read first, and the first frame goes out only once the "before" entry is kept; a failure
// to keep it writes nothing), and at its end the frames with their answers and the
// read-back. The Set buttons it presses are not recorded one by one.
//
// States: Idle, Writing (Write All's commands), Verifying (a read for Verify, for Write
// All's read-back or for a caller, Check says which). Main thread only; it takes
// DeviceSession's outcome and clock observers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ops/Operations.h"
#include "presenter/DeviceSession.h"
#include "presenter/WindowInterfaces.h"
#include "protocol/CollectorSettings.h"
#include "protocol/Compare.h"

namespace kvpresenter {

// The last Verify, as the commissioning sheet's row gives it.
struct VerifiedRow {
    std::string port;
    std::vector<kvproto::Difference> differences;
    std::string where;    // "in the profile", "in the window"
    std::string profile;  // the loaded file's name, or "(the window's fields)"
    std::string station;  // the address the listing reports
    kvproto::CollectorSettings planned, before, after;
    bool beforeRead = false;
    std::int64_t startedMs = 0, finishedMs = 0;  // wall clock, ms since 1970
};

// What the Profile group shows. Texts are UTF-8.
class ProfileView {
public:
    virtual ~ProfileView() = default;
    // The "Include station address" and "Include counter bases" tick boxes.
    virtual kvproto::Include include() const = 0;
    // The port box's port, as profiles and reports name it.
    virtual std::string portName() const = 0;
    // The group's line on the status line: a note, or a problem that stands; and what it shows.
    virtual void note(std::string_view text) = 0;
    virtual void problem(std::string_view text) = 0;
    virtual std::string shown() const = 0;
    // Why the last frame was not sent, as the status line says it.
    virtual std::string notSentReason() const = 0;
    virtual void setWriteAllCaption(std::string_view caption) = 0;
    // Marks a field that differs (or takes the mark away); false when there is no such field.
    virtual bool highlight(std::string_view control, bool on) = 0;
    // What the collector answered to one of Write All's commands (Latin-1 bytes).
    virtual void reportAnswer(std::string_view text) = 0;
    // Saves the sheet of `row` as `path`: "" when saved, else why not.
    virtual std::string saveReport(const std::string& path, const VerifiedRow& row) = 0;
};

// What writeAndVerify() came to, as kvclient::applySettings reports a write.
struct WriteOutcome {
    std::size_t written = 0;                    // set commands sent
    std::vector<kvops::CommandAnswer> answers;  // what the collector answered to each
    kvops::Error error;                         // the failure, if any
    std::string step;  // where it failed: a set command's word, "read-back"
    std::vector<kvproto::Difference> differences;  // of the read-back from the expected values
    kvproto::CollectorSettings reported;           // what the read-back's listing reported
};

class ProfileSession {
public:
    using ReadDone = std::function<void(const kvops::Outcome& outcome)>;
    using WriteDone = std::function<void(const WriteOutcome& outcome)>;

    ProfileSession(Controls& controls, DeviceSession& session, UserMessages& messages,
                   ProfileView& view);

    // The included fields as settings; nothing (and a message shown) when a field is bad or,
    // with `requireComplete`, when a set command has some of its values but not all.
    std::optional<kvproto::CollectorSettings> fieldSettings(bool requireComplete);
    // A profile read from `file` (`name`: the file's name without its folder) into the
    // fields: the included settings fill theirs, the others are left out.
    void load(const kvproto::CollectorSettings& settings, const std::string& file,
              const std::string& name);

    void writeAllOrCancel();
    void verify();
    // Report... once `path` is chosen.
    void report(const std::string& path);
    void portClosed();

    // The collector's listing, the fields left as they are; `done` hears how the read ended.
    // False (nothing sent) when the group is busy.
    bool readCollector(ReadDone done);
    // Writes every set command all of whose values `settings` (checked values) holds, then
    // reads back and compares with `expected`; `done` hears the outcome, also when the port
    // closes meanwhile. False (nothing sent) when busy.
    // `what` names the write in the history.
    bool writeAndVerify(const kvproto::CollectorSettings& settings,
                        const kvproto::CollectorSettings& expected, WriteDone done,
                        std::string what = "write");
    // Writes a recorded state back: reads what the collector holds, writes the set commands
    // of `state` (station address and counter bases as `include` says) one of whose values
    // differs (kvops::settingsToWrite), reads back and compares with those values of
    // `state`. Nothing is written when the collector holds them all (`done` hears written 0
    // and no error). False (nothing sent) when busy.
    bool restore(const kvproto::CollectorSettings& state, kvproto::Include include,
                 std::string what, WriteDone done);

    bool busy() const { return mode_ != Mode::Idle; }
    bool writing() const { return mode_ == Mode::Writing; }
    const std::vector<std::string>& highlightedFields() const { return highlighted_; }
    const std::optional<VerifiedRow>& verified() const { return verified_; }

private:
    enum class Mode { Idle, Writing, Verifying };
    // What a Verifying read is for.
    // Before: the listing a write's history needs first; Restore: what a restore compares.
    enum class Check { Verify, WriteAll, Read, Before, Restore };

    void sendNext();
    void requestEnded(PendingRequest request, const kvops::Outcome& outcome);
    void clockTick();
    void finishWriting(const std::string& outcome, bool failed = false);
    // The write starts: its before entry first (see History above), then its commands.
    // `listingRead`: the listing it needs was just read.
    void beginWrite(bool listingRead = false, std::string whyNone = {});
    void failBeforeWrite(const kvops::Error& error, const std::string& step);
    // The write's entry, once (nothing when it never started).
    void recordWrite(const kvops::Error& error, const std::string* listing = nullptr,
                     const kvops::Listing* reported = nullptr);
    void startReading(Check check);
    void finishVerify(const std::string& listing);
    void clearHighlights();
    void saveReport();
    // A caller's write ends: `done` hears `outcome` (once).
    void finishCallerWrite(kvops::Error error, std::string step,
                           const kvproto::CollectorSettings* reported = nullptr);

    Controls& controls_;
    DeviceSession& session_;
    UserMessages& messages_;
    ProfileView& view_;

    std::optional<kvproto::CollectorSettings> loaded_;
    std::string loadedName_;

    Mode mode_ = Mode::Idle;
    Check check_ = Check::Verify;
    std::optional<kvops::ApplyRun> run_;
    bool sendDue_ = false;                // the next command goes out at the next clock tick
    kvproto::CollectorSettings written_;  // what Write All writes
    kvproto::CollectorSettings expected_;
    std::string expectedWhere_;
    std::vector<std::string> highlighted_;
    // A caller's read or write (readCollector, writeAndVerify) and its settings.
    ReadDone readDone_;
    WriteDone writeDone_;
    std::optional<kvproto::CollectorSettings> source_;  // the values the frames are built from
    // What the history is told of the write in progress.
    std::string what_;
    bool started_ = false;  // its first frame may go (before entry kept): a write to record
    std::int64_t beforeId_ = 0;
    std::vector<kvops::SentFrame> frames_;
    std::uint64_t runs_ = 0;  // which write a late answer of the journal belongs to
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    kvproto::CollectorSettings restoring_;  // restore(): the values wanted
    std::string restoreWhat_;

    // Report...
    std::optional<kvproto::CollectorSettings> before_;  // the first read since the port opened
    std::int64_t beforeMs_ = 0;
    std::optional<VerifiedRow> verified_;  // the last Verify, while still current
    std::string reportFile_;               // to be saved once the Verify is done
};

}  // namespace kvpresenter
