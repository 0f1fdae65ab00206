// The traffic log's rows as text: five columns, the wall-clock time with milliseconds, the
// milliseconds since the port was opened, the kind ("TX", "RX", "EVENT"), the length in bytes
// and the data. Bytes are shown either as text, with every byte that is not printable ASCII
// escaped ("\r", "\n", "\t", "\\", else "\xNN"), or as hex ("4B 4F 52"); an event's text
// keeps its characters, only control characters are escaped.
//
// A row is written as tab-separated text (no field holds a tab or a line break) or as a CSV
// record (RFC 4180: fields with a comma, a quote or a line break are quoted, quotes doubled,
// records end with CR LF). Files start with a header line of the column names.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "traffic/TrafficLog.h"

namespace kvtraffic {

enum class ByteView { Text, Hex };
enum class FileFormat { Tab, Csv };

inline constexpr std::array<std::string_view, 5> kColumnNames = {"time", "ms since open", "kind",
                                                                 "length", "data"};

std::string escapedText(std::string_view bytes);
std::string hexText(std::string_view bytes);
// Local time "YYYY-MM-DD HH:MM:SS.mmm".
std::string wallClockText(std::int64_t wallMs);
std::string_view kindText(Kind kind);

// The five columns of a row as shown, or one of them (0 to 4).
std::array<std::string, 5> columns(const Row& row, ByteView view);
std::string column(const Row& row, std::size_t index, ByteView view);

std::string csvField(std::string_view field);
// One line without its line end.
std::string tabLine(const Row& row, ByteView view);
std::string csvLine(const Row& row, ByteView view);
std::string line(const Row& row, ByteView view, FileFormat format);
std::string headerLine(FileFormat format);
// The line end of the format: "\n", or "\r\n" for CSV.
std::string_view lineEnd(FileFormat format);

// CSV when the path ends in ".csv" (any case), else tab-separated text.
FileFormat formatForPath(std::string_view path);

// Rows appended to a file as they come (the header first), each flushed at once so that the
// file is complete up to the last row whatever ends the program.
class FileWriter {
public:
    FileWriter(const std::string& path, ByteView view = ByteView::Text);
    // False when the file could not be created or a write failed.
    bool good() const { return static_cast<bool>(out_); }
    void write(const Row& row);

private:
    std::ofstream out_;
    FileFormat format_;
    ByteView view_;
};

}  // namespace kvtraffic
