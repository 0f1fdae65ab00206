// DeviceSession: query buttons, received blocks, Timer6 and the reply time-out.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FakeWindow.h"
#include "presenter/QueryButtons.h"
#include "protocol/ReadBack.h"
#include "protocol/ReplyCollector.h"

namespace {

using kvtest::EventLog;
using kvtest::SessionRig;
using namespace kvproto;
using namespace kvpresenter;

// A rig whose start-up Timer6 tick has passed.
struct Started : SessionRig {
    Started() {
        timer6.fire();
        takeLog();
    }
};

TEST(QueryButtons, SendTheirFramesInTheirOrderAndSetTheCode) {
    struct Case {
        std::function<void(DeviceSession&)> click;
        EventLog log;
        PendingRequest code;
        TimeoutKind timeoutKind;
    };
    const Case cases[] = {
        {[](DeviceSession& session) { session.readParametersClick(); },
         {"discomm:=PPPPPP#CHEACK1#", "clear Memo8", "write PPPPPP#CHEACK1#", "Timer3.disabled",
          "Timer3.interval:=3000", "Timer3.enabled"},
         PendingRequest::ReadParameters,
         TimeoutKind::ParameterQuery},
        {&DeviceSession::communicationTestClick,
         {"clear Memo8", "discomm:=PPPPPP#VAR#", "write PPPPPP#VAR#", "Timer3.disabled",
          "Timer3.interval:=3000", "Timer3.enabled"},
         PendingRequest::ReplyExpected,
         TimeoutKind::Connection},
        {&DeviceSession::dataQueryClick,
         {"discomm:=PPPPPP#STATUS#", "clear Memo8", "write PPPPPP#STATUS#"},
         PendingRequest::DataQuery,
         TimeoutKind::Silent},
        {&DeviceSession::parameterInitializationClick,
         {"clear Memo8", "discomm:=KORVEL#RESET#", "write KORVEL#RESET#"},
         PendingRequest::ParameterReset,
         TimeoutKind::Silent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log.back());
        Started rig;
        // A pending MTM exchange: the buttons overwrite its code without waiting.
        ASSERT_TRUE(rig.session.setButtonClick("Button8"));
        rig.controls.setText("Memo8", "old");
        rig.takeLog();
        c.click(rig.session);
        EXPECT_EQ(rig.takeLog(), c.log);
        EXPECT_EQ(rig.session.pendingRequest(), c.code);
        EXPECT_EQ(rig.session.timeoutKind(), c.timeoutKind);
        EXPECT_FALSE(rig.timer6.enabled());
    }
    EXPECT_EQ(queryButtons().size(), 4u);
}

TEST(SessionReplies, PendingCodeDecidesWhatABlockAndTheTickDo) {
    struct Case {
        const char* name;
        std::function<void(SessionRig&)> request;
        PendingRequest codeAfterBlock;
        bool timer6Started;
        PendingRequest codeAfterTick;
        const char* replyAfterTick;
    };
    const Case cases[] = {
        {"idle", [](SessionRig&) {}, PendingRequest::Idle, true, PendingRequest::Idle, "ABC"},
        {"communication test", [](SessionRig& r) { r.session.communicationTestClick(); },
         PendingRequest::ReplyExpected, true, PendingRequest::ReplyExpected, "ABC"},
        {"LPN", [](SessionRig& r) { r.session.setButtonClick("PButton52"); },
         PendingRequest::ReplyExpected, true, PendingRequest::ReplyExpected, "ABC"},
        {"read parameters", [](SessionRig& r) { r.session.readParametersClick(); },
         PendingRequest::ReadParameters, true, PendingRequest::Idle, ""},
        {"data query", [](SessionRig& r) { r.session.dataQueryClick(); }, PendingRequest::DataQuery,
         true, PendingRequest::DataQuery, "ABC"},
        {"reset", [](SessionRig& r) { r.session.parameterInitializationClick(); },
         PendingRequest::Idle, false, PendingRequest::Idle, "ABC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Started rig;
        c.request(rig);
        rig.receive("ABC");
        EXPECT_EQ(rig.controls.text("Memo8"), "ABC");
        EXPECT_EQ(rig.session.replyText(), "ABC");
        EXPECT_EQ(rig.session.pendingRequest(), c.codeAfterBlock);
        EXPECT_EQ(rig.timer6.enabled(), c.timer6Started);
        rig.clock.advance(1000);  // no further piece can belong to this reply
        EXPECT_EQ(rig.timer6.fire(), c.timer6Started);
        EXPECT_FALSE(rig.timer6.enabled());
        EXPECT_EQ(rig.session.pendingRequest(), c.codeAfterTick);
        EXPECT_EQ(rig.session.replyText(), c.replyAfterTick);
        EXPECT_TRUE(rig.messages.boxes.empty());
    }
}

TEST(SessionReplies, Timer6AtStartUpTicksOnceAndStops) {
    SessionRig rig;
    EXPECT_TRUE(rig.timer6.enabled());
    EXPECT_EQ(rig.timer6.interval(), 200);
    EXPECT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.takeLog(), EventLog{"Timer6.disabled"});
    EXPECT_FALSE(rig.timer6.fire());
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::Idle);
}

// A listing with every read-back row, as the collector sends it.
const std::string kListing =
    "TC1:017\r\nZOM:0.050\r\nMDL:2\r\nMKT:020\r\nAIN1:000200,000010,00003\r\n"
    "AIN2:000300,000020,00004\r\nAIN3:000400,000030,00005\r\nAIN4:000500,000040,00006\r\n"
    "AXS1:1.01\r\nAXS2:1.02\r\nAXS3:1.03\r\nAXS4:1.04\r\nDI01:1,0\r\nARS485X:4,2\r\n"
    "BRS485X:1\r\nMTM:007\r\nPUDL:3\r\n";

// The listing as the collector sends it: the read-back rows, then the counter bases.
const std::string kCounters = "LP1:00001234\r\nLP2:00000000\r\nLPN:00000777\r\nLPF:005\r\n";
const std::string kWholeListing = kListing + kCounters;

// A listing is over once its read-back rows are in and the line has been quiet for the
// settle time (here 100 ms): lines that follow within it (the counter bases) are part of it,
// but they are never waited for; a listing without all its rows ends only by quiet (1 s).
TEST(ReplyCollector, AListingIsOverOnceItsRowsAreInAndTheLineSettles) {
    using C = kvproto::ReplyCollector::Completeness;
    const std::string cut = kListing.substr(0, kListing.size() - 8);  // no PUDL line
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> blocks;  // ms, text
        int overAt;
        std::string text;
    };
    const Case cases[] = {
        {"the rows alone", {{0, kListing}}, 100, kListing},
        {"counter bases that follow at once", {{0, kListing}, {60, kCounters}}, 160, kWholeListing},
        {"counter bases first", {{0, kCounters + kListing}}, 100, kCounters + kListing},
        {"a line cut short is given an answer's quiet",
         {{0, kListing + "LP1:0000"}},
         200,
         kListing + "LP1:0000"},
        {"a listing without its last row ends by quiet", {{0, cut}}, 1000, cut},
        {"its last row in a later piece",
         {{0, cut}, {300, kListing.substr(cut.size())}},
         400,
         kListing},
    };
    for (const Case& c : cases) {
        kvproto::ReplyCollector reply(9600, kvproto::Millis{100});
        for (const auto& [at, text] : c.blocks) reply.add(text, kvproto::Millis{at});
        int over = c.blocks.back().first;
        while (!reply.ready(kvproto::Millis{over}, C::Listing) && over < 5000) ++over;
        EXPECT_EQ(over, c.overAt) << c.name;
        EXPECT_EQ(reply.text(), c.text) << c.name;
    }
}

// The silence before a piece is the time since the previous one less the piece's own time on
// the line: a long piece after the longest allowed pause arrives well after kPieceGap +
// kArrivalSlack and still joins the reply; a millisecond more of silence starts a new one.
TEST(ReplyCollector, ALongPieceAfterAnAllowedPauseJoinsTheReply) {
    struct Case {
        int baud;
        std::size_t bytes;  // of the second piece
        int lineTimeMs;     // its time on the line, 10 bits a byte
    };
    const Case cases[] = {{9600, 480, 500}, {2400, 240, 1000}, {9600, 10, 10}};
    const Millis allowed = ReplyCollector::kPieceGap + ReplyCollector::kArrivalSlack;
    const std::string first = kWholeListing.substr(0, 20);
    for (const Case& c : cases) {
        for (const Millis pause : {allowed, allowed + Millis{1}}) {
            SCOPED_TRACE(testing::Message() << c.baud << " baud, " << c.bytes << " bytes after "
                                            << pause.count() << " ms");
            const bool joins = pause <= allowed;
            ReplyCollector reply(c.baud);
            const std::string piece(c.bytes, '.');
            ASSERT_TRUE(reply.add(first, Millis{1000}));
            EXPECT_EQ(reply.add(piece, Millis{1000} + pause + Millis{c.lineTimeMs}), !joins);
            EXPECT_EQ(reply.text(), joins ? first + piece : piece);
        }
    }
}

TEST(SessionReplies, ACompleteListingInOneBlockIsReadBack200msAfterIt) {
    Started rig;
    rig.session.readParametersClick();
    rig.receive(kWholeListing);
    rig.clock.advance(200);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::Idle);
    EXPECT_EQ(rig.controls.text("Station"), "017");
    EXPECT_EQ(rig.controls.text("AD4H"), "000500");
    EXPECT_EQ(rig.controls.itemIndex("PUDLING"), 3);
    // A block after the read-back starts a reply of its own and is only shown.
    rig.clock.advance(100);
    rig.receive("TC1:222");
    EXPECT_EQ(rig.controls.text("Memo8"), "TC1:222");
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.controls.text("Station"), "017");
}

TEST(SessionReplies, PiecesOfAReplyAreShownAndReadBackTogether) {
    // The listing in three pieces with gaps up to 450 ms: Timer6 keeps coming back until
    // the listing's rows are in and the line has settled, then reads all of it.
    Started rig;
    rig.session.readParametersClick();
    const std::size_t cut1 = 100, cut2 = 200;
    rig.receive(kWholeListing.substr(0, cut1));
    rig.clock.advance(200);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::ReadParameters);
    EXPECT_TRUE(rig.timer6.enabled());
    EXPECT_EQ(rig.controls.text("Station"), "000");  // nothing read from a part yet
    rig.clock.advance(250);
    rig.receive(kWholeListing.substr(cut1, cut2 - cut1));
    rig.clock.advance(200);
    ASSERT_TRUE(rig.timer6.fire());
    ASSERT_TRUE(rig.timer6.enabled());
    rig.clock.advance(250);
    rig.receive(kWholeListing.substr(cut2));
    EXPECT_EQ(rig.controls.text("Memo8"), kWholeListing);
    rig.clock.advance(50);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::ReadParameters)
        << "read back before the line settled";
    ASSERT_TRUE(rig.timer6.enabled());
    rig.clock.advance(200);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::Idle);
    EXPECT_EQ(rig.controls.text("Station"), "017");
    EXPECT_EQ(rig.controls.itemIndex("PUDLING"), 3);  // from the last piece
    EXPECT_EQ(rig.controls.itemIndex("MR485JN"), 2);
}

TEST(SessionReplies, AnIncompleteReplyIsReadBackOnceNoFurtherPieceCanCome) {
    struct Case {
        const char* name;
        int blockEveryMs;  // 0: one block only
        int readBackAfterMs;
    };
    // One partial block: read back 1 s after it. A collector that never stops talking:
    // read back 3 s after its first block, with what has come.
    const Case cases[] = {{"one partial block", 0, 1000}, {"endless talker", 100, 3000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Started rig;
        rig.session.readParametersClick();
        rig.receive("TC1:123,");
        int elapsed = 0;
        while (rig.session.pendingRequest() == PendingRequest::ReadParameters && elapsed < 10'000) {
            const int step = c.blockEveryMs ? c.blockEveryMs : 100;
            rig.clock.advance(step);
            elapsed += step;
            if (c.blockEveryMs) rig.receive("....");
            if (elapsed % 200 == 0) rig.timer6.fire();
        }
        EXPECT_EQ(elapsed, c.readBackAfterMs + (c.readBackAfterMs % 200));
        EXPECT_EQ(rig.controls.text("Station"), "123");
        EXPECT_LE(rig.controls.text("Memo8").size(), ReplyCollector::kMaxSize);
    }
}

TEST(SessionReplies, ATickOfAnEarlierRequestsReplyDoesNotEndTheRead) {
    // MTM's answer starts Timer6; "Read Parameters" goes out before it ticks. The tick must
    // neither read back MTM's answer nor end the read: the listing comes later.
    Started rig;
    ASSERT_TRUE(rig.session.setButtonClick("Button8"));
    rig.receive("OK:MTM:005\r\n");
    rig.session.readParametersClick();
    rig.clock.advance(1000);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::ReadParameters);
    rig.receive(kWholeListing);
    rig.clock.advance(200);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.controls.text("Station"), "017");
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::Idle);
}

// The pending code alone decides whether a listing is read back: neither a Set pressed while
// the read waits (it leaves the code at 101) nor the read's own time-out message keeps the
// listing that comes afterwards from filling the fields.
TEST(SessionReplies, AListingUnder101IsReadBackWhateverCameBetween) {
    const struct {
        const char* name;
        std::function<void(Started&)> between;
        std::vector<std::string> boxes;
    } cases[] = {
        {"a Set that leaves the code alone",
         [](Started& rig) {
             ASSERT_TRUE(rig.session.setButtonClick(findSetCommandByWord("AR485X")->button));
         },
         {}},
        {"the time-out message",
         [](Started& rig) {
             rig.clock.advance(kQueryTimeoutMs);
             ASSERT_TRUE(rig.timer3.fire());
         },
         {"Parameter Query Timeout!"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Started rig;
        rig.session.readParametersClick();
        c.between(rig);
        EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::ReadParameters);
        for (const char* station : {"017", "123"}) {  // a second listing is read back too
            rig.clock.advance(100);
            std::string listing = kListing;
            listing.replace(4, 3, station);
            rig.receive(listing);
            rig.clock.advance(200);
            ASSERT_TRUE(rig.timer6.fire());
            EXPECT_EQ(rig.controls.text("Station"), station);
            EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::Idle);
            rig.session.readParametersClick();
        }
        EXPECT_EQ(rig.messages.boxes, c.boxes);
    }
}

TEST(SessionReplies, ConversionErrorIsShownOncePerReadParametersPress) {
    Started rig;
    rig.session.readParametersClick();
    rig.receive("TC1:555 MDL:x");
    rig.clock.advance(1000);
    ASSERT_TRUE(rig.timer6.fire());
    for (int i = 0; i < 3; ++i) {  // further blocks run the read-back again, silently
        rig.clock.advance(1000);
        rig.receive("MDL:y");
        rig.clock.advance(1000);
        ASSERT_TRUE(rig.timer6.fire());
    }
    EXPECT_EQ(rig.messages.boxes, std::vector<std::string>{"'x' is not a valid integer value"});
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::ReadParameters);
    EXPECT_EQ(rig.controls.text("Station"), "555");
    rig.session.readParametersClick();  // a new press may show its own box
    rig.receive("MDL:z");
    rig.clock.advance(1000);
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.messages.boxes.size(), 2u);
}

TEST(SessionReplies, ClosingThePortEndsTheRequestInProgress) {
    for (bool answered : {false, true}) {
        SCOPED_TRACE(answered ? "reply waiting for its tick" : "no reply yet");
        Started rig;
        rig.session.readParametersClick();
        if (answered) rig.receive(kListing);
        rig.session.portClosed();
        EXPECT_FALSE(rig.timer3.fire());  // no time-out message after Close
        EXPECT_FALSE(rig.timer6.fire());
        EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::Idle);
        // The next open: a stray block is only shown, never read back.
        rig.clock.advance(1000);
        rig.receive(kListing);
        rig.clock.advance(200);
        ASSERT_TRUE(rig.timer6.fire());
        EXPECT_EQ(rig.controls.text("Station"), "000");
        EXPECT_TRUE(rig.messages.boxes.empty());
    }
}

TEST(SessionReplies, ResetReplyStopsARunningTimer6AndReturnsToIdle) {
    Started rig;
    rig.session.readParametersClick();
    rig.receive("TC1:111");
    rig.session.parameterInitializationClick();
    EXPECT_EQ(rig.controls.text("Memo8"), "");
    rig.receive("RESET OK");
    EXPECT_EQ(rig.controls.text("Memo8"), "RESET OK");
    EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::Idle);
    EXPECT_FALSE(rig.timer6.enabled());
    EXPECT_FALSE(rig.timer6.fire());
    EXPECT_EQ(rig.controls.text("Station"), "000");  // the read-back never ran
}

TEST(SessionReplies, DataQueryOverridesAPendingReadBack) {
    for (bool blockFirst : {false, true}) {
        SCOPED_TRACE(blockFirst ? "reply already in" : "reply after the query");
        Started rig;
        rig.session.readParametersClick();
        if (blockFirst) rig.receive("TC1:123");
        rig.session.dataQueryClick();
        if (!blockFirst) rig.receive("TC1:123");
        ASSERT_TRUE(rig.timer6.fire());
        EXPECT_EQ(rig.session.pendingRequest(), PendingRequest::DataQuery);
        EXPECT_EQ(rig.controls.text("Station"), "000");
        EXPECT_EQ(rig.session.replyText(), "TC1:123");
    }
}

TEST(SessionReplies, BlocksAreTakenWholeByteForByte) {
    Started rig;
    const std::string withZero("A\0B\xff", 4);
    rig.receive(withZero);
    EXPECT_EQ(rig.session.replyText(), withZero);
    EXPECT_EQ(rig.controls.text("Memo8"), withZero);

    rig.session.readParametersClick();
    std::string big(5000, '.');
    big.replace(4990, 7, "TC1:987");
    rig.clock.advance(1000);
    rig.receive(big);  // longer than a reply may be: its newest bytes are kept
    EXPECT_EQ(rig.session.replyText(), big.substr(5000 - ReplyCollector::kMaxSize));
    ASSERT_TRUE(rig.timer6.fire());
    EXPECT_EQ(rig.controls.text("Station"), "987");

    rig.session.receiveData(nullptr, 0);
    EXPECT_EQ(rig.session.replyText(), "");
}

TEST(ReplyTimeout, MessagesOfTheQueriesAndSilenceOfTheSetCommands) {
    struct Case {
        const char* name;
        std::function<void(SessionRig&)> request;
        bool armed;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"read parameters",
         [](SessionRig& r) { r.session.readParametersClick(); },
         true,
         {"Parameter Query Timeout!"}},
        {"communication test",
         [](SessionRig& r) { r.session.communicationTestClick(); },
         true,
         {"Connection Timeout"}},
        {"PUDL", [](SessionRig& r) { r.session.setButtonClick("Button15"); }, true, {}},
        {"LPF", [](SessionRig& r) { r.session.setButtonClick("Button3"); }, true, {}},
        {"ZOM", [](SessionRig& r) { r.session.setButtonClick("Button5"); }, true, {}},
        {"MTM", [](SessionRig& r) { r.session.setButtonClick("Button8"); }, true, {}},
        {"LPN", [](SessionRig& r) { r.session.setButtonClick("PButton52"); }, false, {}},
        {"data query", [](SessionRig& r) { r.session.dataQueryClick(); }, false, {}},
        {"reset", [](SessionRig& r) { r.session.parameterInitializationClick(); }, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Started rig;
        std::vector<std::string> timedOut;  // the line events told of the messages
        rig.session.setLineObserver([&](const kvops::LineEvent& event) {
            EXPECT_EQ(event.kind, kvops::LineEvent::Kind::TimedOut);
            EXPECT_EQ(event.detail, "no answer within 3000 ms");
            timedOut.emplace_back(event.data);
        });
        c.request(rig);
        EXPECT_EQ(rig.timer3.enabled(), c.armed);
        EXPECT_EQ(rig.timer3.fire(), c.armed);
        EXPECT_FALSE(rig.timer3.enabled());
        EXPECT_EQ(rig.messages.boxes, c.boxes);
        EXPECT_EQ(timedOut, c.boxes);

        // The same request answered in time: the block stops the time-out.
        Started answered;
        c.request(answered);
        answered.receive("reply");
        EXPECT_FALSE(answered.timer3.fire());
        EXPECT_TRUE(answered.messages.boxes.empty());
    }
}

TEST(ReplyTimeout, QueriesWaitThreeSecondsWhateverMtmDidAndSetCommandsKeepTheirInterval) {
    Started rig;
    rig.session.communicationTestClick();
    EXPECT_EQ(rig.timer3.interval(), kQueryTimeoutMs);
    ASSERT_TRUE(rig.session.setButtonClick("Button15"));  // PUDL: Timer3 with its own 1000 ms
    EXPECT_EQ(rig.timer3.interval(), 1000);
    ASSERT_TRUE(rig.session.setButtonClick("Button8"));  // MTM: 3000 ms from now on
    rig.session.readParametersClick();
    EXPECT_EQ(rig.timer3.interval(), kQueryTimeoutMs);
    ASSERT_TRUE(rig.session.setButtonClick("Button5"));  // ZOM
    EXPECT_EQ(rig.timer3.interval(), 3000);
}

TEST(ReplyTimeout, ARepeatedQueryCountsFromItsOwnWrite) {
    Started rig;
    rig.session.communicationTestClick();
    rig.session.readParametersClick();
    EXPECT_EQ(rig.timer3.periodStarts, 2);
    EXPECT_EQ(rig.timer3.interval(), kQueryTimeoutMs);
    ASSERT_TRUE(rig.timer3.fire());
    EXPECT_EQ(rig.messages.boxes, std::vector<std::string>{"Parameter Query Timeout!"});
}

TEST(ReplyTimeout, AMessageNeverOutlivesItsRequest) {
    // MTM with a bad entry leaves Timer3 enabled before it fails; whatever ended the earlier
    // query (a reply or its own time-out), that Timer3 must run out silently.
    for (bool answered : {true, false}) {
        SCOPED_TRACE(answered ? "query answered" : "query timed out");
        Started rig;
        rig.session.communicationTestClick();
        if (answered) {
            rig.receive("OK");
        } else {
            ASSERT_TRUE(rig.timer3.fire());
        }
        rig.messages.boxes.clear();
        rig.controls.setText("Edit3", "5x");
        ASSERT_TRUE(rig.session.setButtonClick("Button8"));
        EXPECT_EQ(rig.messages.boxes,
                  std::vector<std::string>{"'5x' is not a valid integer value"});
        ASSERT_TRUE(rig.timer3.fire());
        EXPECT_EQ(rig.messages.boxes.size(), 1u);
    }
}

TEST(ReplyTimeout, ALaterQueryOrResetSilencesTheEarlierTimeout) {
    // "Read Parameters" goes unanswered, then the technician moves on: the read's time-out
    // still runs out, but it must not claim that the newer request timed out.
    const std::function<void(DeviceSession&)> later[] = {
        &DeviceSession::dataQueryClick, &DeviceSession::parameterInitializationClick};
    for (const auto& click : later) {
        Started rig;
        rig.session.readParametersClick();
        click(rig.session);
        ASSERT_TRUE(rig.timer3.enabled());
        ASSERT_TRUE(rig.timer3.fire());
        EXPECT_TRUE(rig.messages.boxes.empty());
    }
}

TEST(QueryButtons, RefusedWriteIsReportedOnTheStatusLineOnly) {
    const std::function<void(DeviceSession&)> clicks[] = {
        [](DeviceSession& session) { session.readParametersClick(); },
        &DeviceSession::communicationTestClick, &DeviceSession::dataQueryClick,
        &DeviceSession::parameterInitializationClick};
    for (const auto& click : clicks) {
        Started rig;
        rig.serial.open = false;
        click(rig.session);
        EXPECT_FALSE(rig.controls.text("discomm").empty());
        EXPECT_EQ(rig.messages.status, kNotSentStatus);
        EXPECT_TRUE(rig.serial.written.empty());
        // Nothing went out, so no time-out box follows the status text.
        EXPECT_FALSE(rig.timer3.enabled());
        EXPECT_EQ(rig.session.timeoutKind(), TimeoutKind::Silent);
    }
}

}  // namespace
