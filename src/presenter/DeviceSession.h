// DeviceSession: everything the window does with the collector, free of any GUI toolkit: the
// presenter of the Set, query and action buttons over the exchange engine (kvops::Exchange).
// It builds the frames from the fields, shows them in the send buffer, hands them to the
// engine, shows the reply so far in the receive buffer, runs the parameter read-back and the
// reply time-out, and tells an observer how each request ended. The window's handlers
// (Button32Click, Timer6Timer, ...) delegate to it, and it listens to the line's events
// (lineEvent: the received blocks and the hang-up).
//
// Main thread only. The referenced interfaces must outlive the session.
//
// Failures: a field that must hold an integer but does not stops its request where the
// collector tool always stopped it, and the conversion error's text ("'x' is not a valid
// integer value") goes to UserMessages::showMessage. A frame that the port refuses is still
// shown in discomm, and UserMessages::showStatus gets the port's reason
// (SerialWrite::notSentReason); the next frame the port takes clears that status text again
// (showStatus("")). A read-back that stops on a conversion error shows its box once per
// "Read Parameters" press, however many blocks follow.
//
// Reply time-out (Timer3): "Read Parameters" arms TimeoutKind::ParameterQuery and
// "Communication Test" TimeoutKind::Connection, each starting Timer3 afresh with
// kQueryTimeoutMs after its write (not when the port refused the frame: the status line
// already says nothing was sent). A received block stops Timer3; after a block or a time-out
// the kind is back to Silent, so a message never outlives the request it belongs to. The set
// commands with a reply time-out arm Silent with Timer3's own interval (1000 ms, 3000 ms from
// the first MTM on), MTM SilentLong (3000 ms). A time-out message shown is told to the line
// observer as a TimedOut event.
//
// Replies: the engine joins the blocks of one reply (pieces up to 500 ms apart, bounded); the
// receive buffer shows the reply so far. Timer6 (200 ms, started by a block) processes it:
// while the pending request is ReadParameters (101) and a block has come since "Read
// Parameters" was pressed, the read-back runs once the listing is over (its read-back rows in
// and the line quiet for a while, ReplyCollector's rule), Timer6 being started again until
// then. The pending request alone decides: a Set pressed meanwhile, or a listing that comes
// after the time-out message, does not keep the listing from being read back.
//
// Set commands: each waits for its answer (of any form, an echo of the frame left out) for
// its answer time (kvops::answerTime, or what Write All asks for); the answer is reported,
// never judged. The engine's clock timer (setClockTimer) is armed for the moment such a wait
// ends, so its outcome comes on time without a block; wake() asks for a clock tick at the next
// turn of the event loop (a presenter that goes on once an outcome has been shown).
//
// History (setHistory): every listing read (also one for a comparison) is recorded. A Set
// button pressed by the technician and "Parameter Initialization" go out at once, as always:
// their "before" is the last listing read since the port was opened (or says none was), and
// their write entry holds the frame and what the collector answered to it (none when no
// answer began in time, or another request followed before it did). A Set pressed by a
// presenter that records the whole of its own write (Write All) is not recorded here.
//
// portClosed(): the port was closed (or failed to open): the request in progress ends, with
// no time-out message and no read-back of a later block.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ops/Clock.h"
#include "ops/Exchange.h"
#include "ops/LineEvents.h"
#include "ops/LineHistory.h"
#include "ops/Operations.h"
#include "presenter/WindowInterfaces.h"

namespace kvproto {
struct SetCommand;
class CollectorSettings;
}  // namespace kvproto

namespace kvpresenter {

// What the pending request is: which reply the session waits for. The numbers are the codes
// the window has always used for them.
enum class PendingRequest : int {
    Idle = 0,
    ReplyExpected = 100,  // communication test, LPN/LPF/ZOM/PUDL/MTM
    ReadParameters = 101,
    DataQuery = 999,
    ParameterReset = 1001,
};

// Which message the reply time-out shows.
enum class TimeoutKind {
    Silent,
    Connection,      // "Connection Timeout"
    ParameterQuery,  // "Parameter Query Timeout!"
    SilentLong,      // after MTM
};

struct QueryButton;

// Control names of the send buffer (single-line edit) and the receive buffer (memo).
inline constexpr std::string_view kSendBuffer = "discomm";
inline constexpr std::string_view kReceiveBuffer = "Memo8";

// The reply time-out of the query and action buttons, counted from the write.
inline constexpr int kQueryTimeoutMs = 3000;

class DeviceSession {
public:
    DeviceSession(Controls& controls, Timer& timer3, Timer& timer6, UserMessages& messages,
                  SerialWrite& serial, const kvops::Clock& clock = kvops::steadyClock());

    // One of the 22 "Set" buttons, by its control name ("AD1SET", "Button85", "PButton52" ...).
    // Returns false when the name is not a set button. `answerTime`: how long its answer may
    // take to begin (default: the command's own, kvops::answerTime).
    // `record`: the press is recorded as a write of its own (the technician's press).
    bool setButtonClick(std::string_view button,
                        std::optional<std::chrono::milliseconds> answerTime = std::nullopt,
                        bool record = true);
    // A set command whose values come from `values` (every value of the command) instead of
    // the fields, which keep what they hold; sent and shown as its button sends it. A value
    // that cannot be encoded sends nothing and is shown as a message.
    void sendSetCommand(const kvproto::SetCommand& command,
                        const kvproto::CollectorSettings& values,
                        std::chrono::milliseconds answerTime);

    // Button32. `intoFields` false: the listing is read and reported to the observer, but the
    // fields keep what they hold (a comparison, not a read-back).
    void readParametersClick(bool intoFields = true);
    void communicationTestClick();        // Button14
    void dataQueryClick();                // Button124
    void parameterInitializationClick();  // Button19

    // The line's events: a received block (read from the line at its `at`; none: now) and the
    // hang-up; the others are not the session's.
    void lineEvent(const kvops::LineEvent& event);
    // One received block, read from the line at `at` (the session's clock; nullopt: now).
    void receiveData(const std::uint8_t* buffer, std::size_t length,
                     std::optional<std::chrono::milliseconds> at = std::nullopt);
    void timer6Timer();
    void timer3Timer();
    void portClosed();
    // The line stopped working: the request in progress ends.
    void lineHungUp();

    // Where listings and the technician's writes are recorded (none: nothing is). It must
    // outlive the session.
    void setHistory(kvops::LineHistory* history) { history_ = history; }
    kvops::LineHistory* history() const { return history_; }
    // The frame written last (also one the port refused).
    const std::string& lastFrame() const { return lastFrame_; }

    // The engine's clock: a one-shot timer the session arms itself (see above); its tick runs
    // clockTick(). None: the outcome of a set command's wait comes with the next block.
    void setClockTimer(Timer* timer) { clockTimer_ = timer; }
    void clockTick();
    // A clock tick at the next turn of the event loop, which the clock observer hears.
    void wake();
    // A clock tick from the window's event loop: a request whose answer is over or overdue
    // ends.
    void tick();
    // When tick() can next end the request in progress; nothing when none is waiting.
    std::optional<std::chrono::milliseconds> deadline() const { return exchange_.deadline(); }
    std::chrono::milliseconds now() const { return clock_.now(); }

    // How each request a button sent ended: NotSent at once, TimedOut, HungUp, or Answered
    // once its reply is over (a parameter read once its read-back ran). Its kind comes along:
    // ReadParameters for a parameter read, ReplyExpected for any other request.
    using OutcomeObserver =
        std::function<void(PendingRequest request, const kvops::Outcome& outcome)>;
    void setOutcomeObserver(OutcomeObserver observer) { observer_ = std::move(observer); }
    // The clock tick that wake() asked for, after the engine's.
    void setClockObserver(std::function<void()> observer) { clockObserver_ = std::move(observer); }
    // The session's own line events: a time-out message shown (TimedOut).
    void setLineObserver(kvops::LineTap::Listener observer) { lineObserver_ = std::move(observer); }

    PendingRequest pendingRequest() const { return pending_; }
    const std::string& replyText() const { return exchange_.replyText(); }
    TimeoutKind timeoutKind() const { return timeoutKind_; }
    // Whether the port took the last frame a button wrote.
    bool lastFrameSent() const { return lastFrameSent_; }

private:
    void runSetCommand(const kvproto::SetCommand& command, std::chrono::milliseconds answerTime,
                       const std::function<std::string()>& build);
    void runQuery(const QueryButton& query);
    bool writeFrame(std::string_view frame, kvops::Completeness completeness, int timeoutMs);
    void clearReceiveBuffer();
    void ended(const kvops::Outcome& outcome);
    bool readBack();
    void armClock();
    // A write of the technician's: its before entry now, its write entry once its request
    // ends (finishRecording: none, when it ended without an outcome).
    void startRecording(std::string what);
    void finishRecording(const std::optional<kvops::Outcome>& outcome);

    Controls& controls_;
    Timer& timer3_;
    Timer& timer6_;
    UserMessages& messages_;
    SerialWrite& serial_;
    const kvops::Clock& clock_;
    kvops::Exchange exchange_;
    OutcomeObserver observer_;
    std::function<void()> clockObserver_;
    kvops::LineTap::Listener lineObserver_;
    Timer* clockTimer_ = nullptr;
    bool awake_ = false;      // wake() asked for a tick
    bool setAnswer_ = false;  // the engine's request is a set command's
    PendingRequest pending_ = PendingRequest::Idle;
    // The kind of the engine's request (see OutcomeObserver).
    PendingRequest requestPending_ = PendingRequest::Idle;
    bool listingBlock_ = false;  // a block came under ReadParameters since "Read Parameters"
    bool intoFields_ = true;     // the read-back fills the fields
    TimeoutKind timeoutKind_ = TimeoutKind::Silent;
    int setTimeoutInterval_ = 1000;  // Timer3's interval for the set commands
    bool notSentShown_ = false;
    bool lastFrameSent_ = false;
    bool conversionShown_ = false;  // this read's conversion error box is up already
    kvops::LineHistory* history_ = nullptr;
    std::string lastFrame_;
    struct Recording {
        std::string what;
        std::string frame;  // empty until its frame is written
        std::int64_t before = 0;
        std::uint64_t serial = 0;
    };
    std::optional<Recording> recording_;
    std::uint64_t recordings_ = 0;
    // Tells a journal's late answer whether the session is still there.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace kvpresenter
