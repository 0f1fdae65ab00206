// The traffic log: its bound and dropped-rows row, the rows' times, and the rows as text,
// hex, tab-separated lines and CSV records (files: the kv480t --log and Traffic page tests).
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ops/LineEvents.h"
#include "traffic/TrafficFormat.h"
#include "traffic/TrafficLog.h"

namespace {

using kvtraffic::ByteView;
using kvtraffic::FileFormat;
using kvtraffic::Kind;
using kvtraffic::Row;
using namespace std::string_literals;

Row row(Kind kind, std::string data, std::int64_t sinceOpen = 5) {
    return Row{1'700'000'000'123, sinceOpen, kind, std::move(data)};
}

TEST(TrafficFormat, BytesAsEscapedTextAndHex) {
    const struct {
        std::string bytes, text, hex;
    } cases[] = {
        {"", "", ""},
        {"KOR", "KOR", "4B 4F 52"},
        {"OK\r\n", "OK\\r\\n", "4F 4B 0D 0A"},
        {"a\tb", "a\\tb", "61 09 62"},
        {"\0\x01"s, "\\x00\\x01", "00 01"},
        {"\x7F\x80\xFF", "\\x7F\\x80\\xFF", "7F 80 FF"},
        {"C:\\x", "C:\\\\x", "43 3A 5C 78"},  // a backslash cannot pass for an escape
        {"a,\"b\" ~", "a,\"b\" ~", "61 2C 22 62 22 20 7E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(kvtraffic::escapedText(c.bytes), c.text);
        EXPECT_EQ(kvtraffic::hexText(c.bytes), c.hex);
    }
}

TEST(TrafficFormat, CsvFieldsQuotedOnlyWhenNeededAndFormulasKeptAsText) {
    const struct {
        std::string field, csv;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"\"", "\"\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"lf\nonly", "\"lf\nonly\""},
        {"tab\tstays", "tab\tstays"},
        {"a;b", "\"a;b\""},
        // Formulas stay text; plain numbers stay numbers.
        {"=1+2", "\"'=1+2\""},
        {"+cmd|' /C calc'!A0", "\"'+cmd|' /C calc'!A0\""},
        {"-2+3", "\"'-2+3\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""},
        {"=\"x\"", "\"'=\"\"x\"\"\""},
        {"-5", "-5"},
        {"+1.25", "+1.25"},
        {"-.5", "-.5"},
        {"-", "\"'-\""},
        {"a=b", "a=b"},
    };
    for (const auto& c : cases) EXPECT_EQ(kvtraffic::csvField(c.field), c.csv) << c.field;
}

TEST(TrafficFormat, ColumnsByKind) {
    const struct {
        Row row;
        ByteView view;
        std::string ms, kind, length, data;
    } cases[] = {
        {row(Kind::Tx, "PPPPPP#VAR#"), ByteView::Text, "5", "TX", "11", "PPPPPP#VAR#"},
        {row(Kind::Rx, "OK\r\n", 0), ByteView::Hex, "0", "RX", "4", "4F 4B 0D 0A"},
        {row(Kind::Rx, "OK\r\n", 12345), ByteView::Text, "12345", "RX", "4", "OK\\r\\n"},
        // Events keep their text (hex is for bytes), have no length, escape line breaks.
        {row(Kind::Event, "opened COM3, 9600 baud 8N1"), ByteView::Hex, "5", "EVENT", "",
         "opened COM3, 9600 baud 8N1"},
        {row(Kind::Event, "port \xC3\xBC\n", -1), ByteView::Text, "", "EVENT", "",
         "port \xC3\xBC\\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        const auto columns = kvtraffic::columns(c.row, c.view);
        EXPECT_EQ(columns[1], c.ms);
        EXPECT_EQ(columns[2], c.kind);
        EXPECT_EQ(columns[3], c.length);
        EXPECT_EQ(columns[4], c.data);
    }
}

TEST(TrafficFormat, WallClockHasMillisecondsAndLines) {
    for (const std::int64_t ms :
         {0LL, 1'700'000'000'000LL, 1'700'000'000'007LL, 1'700'000'059'999LL}) {
        const std::string text = kvtraffic::wallClockText(ms);
        ASSERT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})")))
            << text;
        EXPECT_EQ(std::stoi(text.substr(20)), ms % 1000) << text;
        EXPECT_EQ(std::stoi(text.substr(17, 2)), (ms / 1000) % 60) << text;
    }
    // A tab-separated line keeps its five columns whatever the bytes; CSV quotes as needed.
    const Row r = row(Kind::Rx, "a\tb,\"c\"\r\n");
    const std::string tab = kvtraffic::tabLine(r, ByteView::Text);
    EXPECT_EQ(std::count(tab.begin(), tab.end(), '\t'), 4) << tab;
    EXPECT_TRUE(tab.ends_with("\tRX\t9\ta\\tb,\"c\"\\r\\n")) << tab;
    EXPECT_TRUE(kvtraffic::csvLine(r, ByteView::Text).ends_with(",RX,9,\"a\\tb,\"\"c\"\"\\r\\n\""));
    EXPECT_EQ(kvtraffic::headerLine(FileFormat::Tab), "time\tms since open\tkind\tlength\tdata");
    EXPECT_EQ(kvtraffic::headerLine(FileFormat::Csv), "time,ms since open,kind,length,data");
    EXPECT_EQ(kvtraffic::headerLine(FileFormat::Csv, true),
              "port,time,ms since open,kind,length,data");
}

TEST(TrafficFormat, FileFormatByExtension) {
    const struct {
        const char* path;
        FileFormat format;
    } cases[] = {{"log.csv", FileFormat::Csv}, {"/tmp/LOG.CSV", FileFormat::Csv},
                 {"log.txt", FileFormat::Tab}, {"log", FileFormat::Tab},
                 {"csv", FileFormat::Tab},     {"log.csv.txt", FileFormat::Tab}};
    for (const auto& c : cases) EXPECT_EQ(kvtraffic::formatForPath(c.path), c.format) << c.path;
}

// Row i's data: its number, padded with dots to `bytes`.
std::string numbered(std::size_t i, std::size_t bytes) {
    std::string data = std::to_string(i);
    if (data.size() < bytes) data.resize(bytes, '.');
    return data;
}

TEST(TrafficLog, KeepsTheNewestRowsAndSaysHowManyWereDropped) {
    constexpr std::size_t kBig = std::size_t{1} << 30;
    constexpr std::size_t kBudget = kvtraffic::TrafficLog::kDefaultByteBudget;
    const struct {
        std::size_t capacity, budget, rowBytes, appended, shown;
        std::string first;  // the first row's data
    } cases[] = {
        {3, kBig, 1, 0, 0, ""},
        {3, kBig, 1, 3, 3, "0"},
        {3, kBig, 1, 4, 4, "... 1 earlier rows dropped"},
        {3, kBig, 1, 10, 4, "... 7 earlier rows dropped"},
        {1, kBig, 1, 5, 2, "... 4 earlier rows dropped"},
        {10000, kBig, 1, 10123, 10001, "... 123 earlier rows dropped"},
        // The byte budget: whole rows only, the newest always.
        {100, 100, 30, 3, 3, numbered(0, 30)},
        {100, 100, 30, 10, 4, "... 7 earlier rows dropped"},
        {100, 100, 200, 3, 2, "... 2 earlier rows dropped"},
        {10, 100, 10, 25, 11, "... 15 earlier rows dropped"},  // both bounds at once
        {10000, kBudget, 2048, 10000, kBudget / 2048 + 1,
         "... " + std::to_string(10000 - kBudget / 2048) + " earlier rows dropped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.appended) + " rows of " + std::to_string(c.rowBytes));
        kvtraffic::TrafficLog log(c.capacity, c.budget);
        for (std::size_t i = 0; i < c.appended; ++i)
            log.append(Row{static_cast<std::int64_t>(i), static_cast<std::int64_t>(i), Kind::Rx,
                           numbered(i, c.rowBytes)});
        ASSERT_EQ(log.size(), c.shown);
        if (c.first.empty()) continue;
        EXPECT_EQ(log.at(0).data, c.first);
        // The newest rows, in order, after the dropped-rows row.
        const std::size_t kept = log.keptRows();
        EXPECT_EQ(kept, c.shown - (c.appended > kept ? 1 : 0));
        EXPECT_LE(log.keptBytes(), std::max(c.budget, c.rowBytes));
        EXPECT_EQ(log.at(log.size() - 1).data, numbered(c.appended - 1, c.rowBytes));
        EXPECT_EQ(log.at(log.size() - kept).data, numbered(c.appended - kept, c.rowBytes));
        if (c.appended > kept) {  // it carries the times of the last row dropped
            EXPECT_EQ(log.at(0).kind, Kind::Event);
            EXPECT_EQ(log.at(0).wallMs, static_cast<std::int64_t>(c.appended - kept - 1));
        }
    }
    kvtraffic::TrafficLog log(2);
    for (int i = 0; i < 5; ++i) log.append(row(Kind::Tx, "x"));
    log.clear();
    EXPECT_EQ(log.size(), 0u);
    log.append(row(Kind::Tx, "y"));
    EXPECT_EQ(log.at(0).data, "y") << "the dropped count survived Clear";
}

// A batch announced at once: its oldest rows that cannot be kept, the kept rows that leave.
TEST(TrafficLog, ABatchFitsWithinBothBounds) {
    const struct {
        std::size_t keptBefore, batchRows, neverKept, leaving;
    } cases[] = {
        // Rows of 10 bytes; the log holds 5 rows or 40 bytes.
        {0, 3, 0, 0}, {2, 2, 0, 0}, {3, 2, 0, 1}, {4, 4, 0, 4}, {4, 5, 1, 4}, {0, 12, 8, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.keptBefore) + " kept, " + std::to_string(c.batchRows));
        kvtraffic::TrafficLog log(5, 40);
        kvtraffic::RowStore batch;
        for (std::size_t i = 0; i < c.keptBefore; ++i) log.append(row(Kind::Rx, numbered(i, 10)));
        for (std::size_t i = 0; i < c.batchRows; ++i) batch.push(row(Kind::Rx, numbered(i, 10)));
        const auto fit = log.fit(batch);
        EXPECT_EQ(fit.neverKept, c.neverKept);
        EXPECT_EQ(fit.leaving, c.leaving);
    }
}

// The line's typed events, as the window's tap and kv480t --log hand them over.
TEST(TrafficRecorder, StampsRowsFromTheLastOpen) {
    std::vector<Row> rows;
    kvtraffic::Recorder recorder([&](Row&& r) { rows.push_back(std::move(r)); });
    using Event = kvops::LineEvent::Kind;
    const kvops::LineEvent events[] = {
        {Event::NotSent, "PPPPPP#VAR#", "the port is not open", {}},
        {Event::OpenFailed, "COM9", "Error opening serial port", {}},
        {Event::Opened, "/dev/ttyUSB0", "9600 baud 8N1", {}},
        {Event::Sent, "PPPPPP#CHEACK1#", {}, {}},
        {Event::Received, "ST:001", {}, {}},
        {Event::TimedOut, "Connection Timeout", "no answer within 3000 ms", {}},
        {Event::TimedOut, {}, "no answer within 200 ms", {}},
        {Event::HungUp, {}, {}, {}},
        {Event::Closed, {}, {}, {}},
    };
    for (const kvops::LineEvent& event : events) recorder.record(event);
    const std::vector<std::pair<Kind, std::string>> expected = {
        {Kind::Tx, "PPPPPP#VAR#"},
        {Kind::Event, "not sent: the port is not open"},
        {Kind::Event, "not opened COM9: Error opening serial port"},
        {Kind::Event, "opened /dev/ttyUSB0, 9600 baud 8N1"},
        {Kind::Tx, "PPPPPP#CHEACK1#"},
        {Kind::Rx, "ST:001"},
        {Kind::Event, "message shown: Connection Timeout"},
        {Kind::Event, "time-out: no answer within 200 ms"},
        {Kind::Event, "hang-up: the line stopped working"},
        {Kind::Event, "closed"},
    };
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].kind, expected[i].first) << i;
        EXPECT_EQ(rows[i].data, expected[i].second) << i;
        if (i > 0) {
            EXPECT_GE(rows[i].wallMs, rows[i - 1].wallMs) << i;
        }
        EXPECT_EQ(rows[i].sinceOpenMs >= 0, i >= 3) << i << ": " << rows[i].sinceOpenMs;
    }
}

// A received block's row carries the time the line gave it, not the time it was handled.
TEST(TrafficRecorder, AReceivedBlockIsStampedWithItsLineTime) {
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    auto ms = [](auto d) { return std::chrono::duration_cast<milliseconds>(d).count(); };
    auto wallNow = [&] { return ms(std::chrono::system_clock::now().time_since_epoch()); };
    std::vector<Row> rows;
    kvtraffic::Recorder recorder([&](Row&& r) { rows.push_back(std::move(r)); });
    const Clock::time_point beforeOpen = Clock::now();
    recorder.opened("/dev/ttyUSB0", "");
    const Clock::time_point afterOpen = Clock::now();
    std::this_thread::sleep_for(milliseconds(40));  // so that a read after the open is past
    const struct {
        Clock::time_point readAt;
        std::int64_t sinceOpenFrom;  // the lowest value it may have (the open's time is known
                                     // to lie between two readings of the clock)
    } cases[] = {
        {afterOpen + milliseconds(30), 30},
        {beforeOpen - milliseconds(5000), 0},  // read before the open was recorded
        {Clock::now(), 40},
    };
    for (const auto& c : cases) {
        const std::int64_t wallBefore = wallNow() - ms(Clock::now() - c.readAt);
        recorder.received("KV#", c.readAt);
        const std::int64_t wallAfter = wallNow() - ms(Clock::now() - c.readAt);
        const Row& r = rows.back();
        SCOPED_TRACE(r.sinceOpenMs);
        EXPECT_EQ(r.kind, Kind::Rx);
        EXPECT_GE(r.wallMs, wallBefore - 1);
        EXPECT_LE(r.wallMs, wallAfter + 1);
        EXPECT_GE(r.sinceOpenMs, c.sinceOpenFrom);
        if (c.sinceOpenFrom < 40) {
            EXPECT_LE(r.sinceOpenMs, c.sinceOpenFrom + ms(afterOpen - beforeOpen) + 1);
        }
    }
}

}  // namespace
