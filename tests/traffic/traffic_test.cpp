// The traffic log: its bound and dropped-rows row, the rows' times, and the rows as text,
// hex, tab-separated lines and CSV records (files: the kv480t --log and Traffic page tests).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

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

TEST(TrafficFormat, CsvFieldsQuotedOnlyWhenNeeded) {
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

TEST(TrafficLog, KeepsTheNewestRowsAndSaysHowManyWereDropped) {
    const struct {
        std::size_t capacity, appended, shown;
        const char* first;  // the first row's data
    } cases[] = {
        {3, 0, 0, nullptr},
        {3, 3, 3, "0"},
        {3, 4, 4, "... 1 earlier rows dropped"},
        {3, 10, 4, "... 7 earlier rows dropped"},
        {1, 5, 2, "... 4 earlier rows dropped"},
        {10000, 10123, 10001, "... 123 earlier rows dropped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.appended);
        kvtraffic::TrafficLog log(c.capacity);
        for (std::size_t i = 0; i < c.appended; ++i)
            log.append(Row{static_cast<std::int64_t>(i), static_cast<std::int64_t>(i), Kind::Rx,
                           std::to_string(i)});
        ASSERT_EQ(log.size(), c.shown);
        if (!c.first) continue;
        EXPECT_EQ(log.at(0).data, c.first);
        // The newest rows, in order, after the dropped-rows row.
        const std::size_t kept = std::min(c.capacity, c.appended);
        EXPECT_EQ(log.keptRows(), kept);
        EXPECT_EQ(log.at(log.size() - 1).data, std::to_string(c.appended - 1));
        EXPECT_EQ(log.at(log.size() - kept).data, std::to_string(c.appended - kept));
        if (c.appended > c.capacity) {  // it carries the times of the last row dropped
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

TEST(TrafficRecorder, StampsRowsFromTheLastOpen) {
    std::vector<Row> rows;
    kvtraffic::Recorder recorder([&](Row&& r) { rows.push_back(std::move(r)); });
    recorder.notSent("PPPPPP#VAR#", "the port is not open");
    recorder.opened("/dev/ttyUSB0", "9600 baud 8N1");
    recorder.sent("PPPPPP#CHEACK1#");
    recorder.received("ST:001");
    recorder.messageShown("Connection Timeout");
    recorder.hungUp();
    recorder.closed();
    const std::vector<std::pair<Kind, std::string>> expected = {
        {Kind::Tx, "PPPPPP#VAR#"},
        {Kind::Event, "not sent: the port is not open"},
        {Kind::Event, "opened /dev/ttyUSB0, 9600 baud 8N1"},
        {Kind::Tx, "PPPPPP#CHEACK1#"},
        {Kind::Rx, "ST:001"},
        {Kind::Event, "message shown: Connection Timeout"},
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
        EXPECT_EQ(rows[i].sinceOpenMs >= 0, i >= 2) << i << ": " << rows[i].sinceOpenMs;
    }
}

}  // namespace
