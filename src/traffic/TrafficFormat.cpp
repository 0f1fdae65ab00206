#include "traffic/TrafficFormat.h"

#include <cstdio>
#include <ctime>

#include "files/Clock.h"
#include "files/Csv.h"
#include "protocol/ByteText.h"

namespace kvtraffic {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendHexByte(std::string& out, unsigned char c) {
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 0xF];
}

// Control characters escaped; with `allBytes`, also the backslash and every byte beyond ASCII.
std::string escaped(std::string_view bytes, bool allBytes) {
    using kvproto::Escaping;
    return kvproto::escapedBytes(
        bytes, {Escaping::Controls::Named,
                allBytes ? Escaping::Beyond::Hex : Escaping::Beyond::Keep, allBytes});
}

}  // namespace

std::string escapedText(std::string_view bytes) {
    return escaped(bytes, true);
}

std::string hexText(std::string_view bytes) {
    std::string out;
    if (bytes.empty()) return out;
    out.reserve(bytes.size() * 3 - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ' ';
        appendHexByte(out, static_cast<unsigned char>(bytes[i]));
    }
    return out;
}

std::string wallClockText(std::int64_t wallMs) {
    std::int64_t seconds = wallMs / 1000;
    std::int64_t millis = wallMs % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const std::tm tm = kvfiles::localTime(static_cast<std::time_t>(seconds));
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(millis));
    return text;
}

std::string_view kindText(Kind kind) {
    switch (kind) {
        case Kind::Tx:
            return "TX";
        case Kind::Rx:
            return "RX";
        case Kind::Event:
            return "EVENT";
    }
    return "?";
}

std::string column(const RowView& row, std::size_t index, ByteView view) {
    const bool bytes = row.kind != Kind::Event;
    switch (index) {
        case 0:
            return wallClockText(row.wallMs);
        case 1:
            return row.sinceOpenMs < 0 ? std::string() : std::to_string(row.sinceOpenMs);
        case 2:
            return std::string(kindText(row.kind));
        case 3:
            return bytes ? std::to_string(row.data.size()) : std::string();
        case 4:
            return !bytes                  ? escaped(row.data, false)
                   : view == ByteView::Hex ? hexText(row.data)
                                           : escapedText(row.data);
        default:
            return {};
    }
}

std::array<std::string, 5> columns(const RowView& row, ByteView view) {
    return {column(row, 0, view), column(row, 1, view), column(row, 2, view), column(row, 3, view),
            column(row, 4, view)};
}

std::string csvField(std::string_view field) {
    return kvfiles::csvField(field);
}

std::string tabLine(const RowView& row, ByteView view) {
    const auto fields = columns(row, view);
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out += '\t';
        out += fields[i];
    }
    return out;
}

std::string csvLine(const RowView& row, ByteView view) {
    const auto fields = columns(row, view);
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) out += ',';
        out += csvField(fields[i]);
    }
    return out;
}

std::string line(const RowView& row, ByteView view, FileFormat format) {
    return format == FileFormat::Csv ? csvLine(row, view) : tabLine(row, view);
}

std::string headerLine(FileFormat format, bool portColumn) {
    std::string out;
    if (portColumn) out += format == FileFormat::Csv ? "port," : "port\t";
    for (std::size_t i = 0; i < kColumnNames.size(); ++i) {
        if (i) out += format == FileFormat::Csv ? ',' : '\t';
        out += format == FileFormat::Csv ? csvField(kColumnNames[i]) : std::string(kColumnNames[i]);
    }
    return out;
}

std::string_view lineEnd(FileFormat format) {
    return format == FileFormat::Csv ? "\r\n" : "\n";
}

FileFormat formatForPath(std::string_view path) {
    if (path.size() < 4) return FileFormat::Tab;
    std::string ending(path.substr(path.size() - 4));
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ending == ".csv" ? FileFormat::Csv : FileFormat::Tab;
}

FileWriter::FileWriter(const std::string& path, ByteView view, bool portColumn,
                       kvfiles::ReplacingFile::Existing existing)
    : file_(path, existing), format_(formatForPath(path)), view_(view), portColumn_(portColumn) {
    file_.write(headerLine(format_, portColumn_) + std::string(lineEnd(format_)));
}

FileWriter::~FileWriter() {
    finish();
}

void FileWriter::write(const RowView& row, std::string_view port) {
    if (!file_.good()) return;
    std::string text;
    if (portColumn_) {
        // A name never holds a tab or a line break where ports are named.
        text = format_ == FileFormat::Csv ? csvField(port) + ',' : escapedText(port) + '\t';
    }
    text += line(row, view_, format_);
    text += lineEnd(format_);
    file_.write(text);
}

bool FileWriter::finish() {
    return file_.commit();
}

}  // namespace kvtraffic
