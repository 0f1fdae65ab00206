// The traffic log's rows as text: five columns, the wall-clock time with milliseconds, the
// milliseconds since the port was opened, the kind ("TX", "RX", "EVENT"), the length in bytes
// and the data. Bytes are shown either as text, with every byte that is not printable ASCII
// escaped ("\r", "\n", "\t", "\\", else "\xNN"), or as hex ("4B 4F 52"); an event's text
// keeps its characters, only control characters are escaped.
//
// A row is written as tab-separated text (no field holds a tab or a line break) or as a CSV
// record (RFC 4180: fields with a comma, a semicolon, a quote or a line break are quoted,
// quotes doubled, records end with CR LF; text a spreadsheet would take for a formula is kept
// as text, files/Csv.h). Files start with a header line of the column names and replace the
// file of that name whole, or not at all (files/ReplacingFile.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/ReplacingFile.h"
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
std::array<std::string, 5> columns(const RowView& row, ByteView view);
std::string column(const RowView& row, std::size_t index, ByteView view);

std::string csvField(std::string_view field);
// One line without its line end.
std::string tabLine(const RowView& row, ByteView view);
std::string csvLine(const RowView& row, ByteView view);
std::string line(const RowView& row, ByteView view, FileFormat format);
// `portColumn`: a first column "port" in front of the five (kv480t's log of several ports).
std::string headerLine(FileFormat format, bool portColumn = false);
// The line end of the format: "\n", or "\r\n" for CSV.
std::string_view lineEnd(FileFormat format);

// CSV when the path ends in ".csv" (any case), else tab-separated text.
FileFormat formatForPath(std::string_view path);

// A traffic file: the header, then rows appended as they come. Each row goes to the system
// at once, under a temporary name next to the file (so a program that dies leaves a readable
// "<path>.tmp-XXXXXX"); finish() puts the file in place of any old one. kv480t --log writes
// one while it runs, the Traffic page's Save... all its rows at once.
class FileWriter {
public:
    // Creates the temporary file and writes the header; good() says whether that worked.
    // With `portColumn` every row starts with the port it passed on. `existing`: what
    // becomes of a destination that is not a plain regular file (kv480t --log appends to a
    // stream such as /dev/stdout as it is, files/ReplacingFile.h).
    FileWriter(const std::string& path, ByteView view = ByteView::Text, bool portColumn = false,
               kvfiles::ReplacingFile::Existing existing =
                   kvfiles::ReplacingFile::Existing::ReplaceTarget);
    // Finishes the file unless finish() has been called.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // False when the file could not be created or a write failed; error() says why
    // ("<path>: cannot be written (<reason>)"). The old file is then kept unchanged.
    bool good() const { return file_.good(); }
    const std::string& error() const { return file_.error(); }
    void write(const RowView& row, std::string_view port = {});
    // Puts the file in place of the old one. False, with the reason in error(), when that or
    // any write before failed: the old file is unchanged. Once only.
    bool finish();

private:
    kvfiles::ReplacingFile file_;
    FileFormat format_;
    ByteView view_;
    bool portColumn_;
};

}  // namespace kvtraffic
