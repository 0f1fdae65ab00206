#include "site/Report.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "files/Clock.h"
#include "files/Csv.h"
#include "files/ReplacingFile.h"
#include "ops/Error.h"
#include "protocol/Compare.h"
#include "site/Text.h"

namespace kvsite {

namespace {

using Json = nlohmann::ordered_json;
using kvproto::CollectorSettings;
using kvproto::Parameter;

std::string formatted(std::int64_t wallMs, const char* format) {
    const std::tm tm = kvfiles::localTime(static_cast<std::time_t>(wallMs / 1000));
    char text[64];
    return std::strftime(text, sizeof text, format, &tm) ? text : "";
}

// The failure in words, naming the step: "reading what the collector holds: no answer ...".
std::string reasonOf(const RowOutcome& row) {
    if (!row.result.error) return {};
    std::string reason = readableText(kvops::describe(row.result.error, row.result.port));
    return row.result.step.empty() ? reason : row.result.step + ": " + reason;
}

// "" for a time that never was (a row not run yet).
std::string timeText(std::int64_t wallMs, const char* format = "%Y-%m-%d %H:%M:%S %z") {
    return wallMs == 0 ? "" : formatted(wallMs, format);
}

std::string verification(const RowOutcome& row) {
    const std::size_t compared = kvops::comparedCount(row.planned);
    if (row.state == RowState::ToDo) return "to do: not commissioned yet";
    if (row.state == RowState::Skipped) return "skipped: passed over, nothing was sent";
    if (row.result.error) return resultWords(row) + ": " + reasonOf(row);
    if (!row.result.differences.empty())
        return "differs: the read-back holds " + std::to_string(row.result.differences.size()) +
               " of the " + std::to_string(compared) + " planned values otherwise";
    if (row.alreadyAsPlanned)
        return "already as planned: the collector held all " + std::to_string(compared) +
               " planned values before; nothing was written";
    return "verified: the read-back holds all " + std::to_string(compared) + " planned values (" +
           std::to_string(row.result.written) + " set commands written)";
}

const kvproto::Difference* differenceFor(const RowOutcome& row, const Parameter& p) {
    for (const kvproto::Difference& d : row.result.differences)
        if (d.parameter == &p) return &d;
    return nullptr;
}

bool changed(const RowOutcome& row, const Parameter& p) {
    const auto& before = row.before.get(p);
    const auto& after = row.after.get(p);
    if (!row.beforeRead || !row.afterRead) return false;
    if (!before || !after) return before.has_value() != after.has_value();
    return !kvproto::sameValue(p, *before, *after);
}

Json settingsJson(const CollectorSettings& settings) {
    Json out = Json::object();
    for (const auto& [parameter, value] : settings.entries())
        out[std::string(parameter->name)] = readableText(value);
    return out;
}

constexpr const char* kStyle = R"(
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 10pt; margin: 2em; color: #111; }
h1 { font-size: 16pt; margin-bottom: 0.3em; }
h2 { font-size: 12pt; margin: 1.5em 0 0.4em; }
table { border-collapse: collapse; margin-bottom: 0.8em; }
th, td { border: 1px solid #999; padding: 2px 6px; text-align: left; vertical-align: top; }
th { background: #e8e8e8; }
table.facts th { background: none; border: none; padding-left: 0; }
table.facts td { border: none; }
td.value { font-family: "DejaVu Sans Mono", monospace; }
tr.changed td { background: #fff2b3; }
tr.differs td { background: #ffc8c8; }
.result-ok { color: #0a6b0a; font-weight: bold; }
.result-bad { color: #b00000; font-weight: bold; }
.collector { page-break-inside: avoid; break-inside: avoid; }
@media print { body { margin: 0; } a { color: inherit; text-decoration: none; } }
)";

}  // namespace

std::string localTimeText(std::int64_t wallMs) {
    return formatted(wallMs, "%Y-%m-%d %H:%M:%S %z");
}

std::string reportCsv(const Report& report) {
    std::string out = "\xEF\xBB\xBF";  // a spreadsheet then reads the file as UTF-8
    const auto line = [&](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i)
            out += (i ? "," : "") + kvfiles::csvField(fields[i]);
        out += "\r\n";
    };
    line({"label", "port", "station", "profile", "result", "differences", "time", "tool version"});
    for (const RowOutcome& row : report.rows)
        line({readableText(row.label), readableText(row.result.port), readableText(row.station),
              readableText(row.profile), resultWords(row),
              std::to_string(row.result.differences.size()), timeText(row.finishedMs),
              report.toolVersion});
    return out;
}

std::string reportJson(const Report& report) {
    Json doc = Json::object();
    doc["format"] = "kv480t-site-report";
    doc["version"] = 1;
    doc["site"] = readableText(report.site);
    doc["plan"] = readableText(report.plan);
    doc["operator"] = readableText(report.operatorName);
    doc["tool_version"] = readableText(report.toolVersion);
    doc["started"] = timeText(report.startedMs);
    doc["finished"] = timeText(report.finishedMs);
    doc["started_ms"] = report.startedMs;
    doc["finished_ms"] = report.finishedMs;
    Json rows = Json::array();
    for (const RowOutcome& row : report.rows) {
        Json item = Json::object();
        item["row"] = row.row;
        item["state"] = stateWords(stateOf(row));
        item["label"] = readableText(row.label);
        item["port"] = readableText(row.result.port);
        item["station"] = readableText(row.station);
        item["profile"] = readableText(row.profile);
        item["result"] = resultWords(row);
        item["verification"] = verification(row);
        if (row.result.error) {
            const kvops::Error& e = row.result.error;
            item["reason"] = reasonOf(row);
            item["step"] = readableText(row.result.step);
            item["error"] = {{"code", static_cast<int>(e.code)},
                             {"system_error", e.systemError},
                             {"system_source", static_cast<int>(e.systemSource)},
                             {"text", readableText(e.text)},
                             {"summary", readableText(e.summary)}};
        }
        item["written"] = row.result.written;
        item["started"] = timeText(row.startedMs);
        item["finished"] = timeText(row.finishedMs);
        item["started_ms"] = row.startedMs;
        item["finished_ms"] = row.finishedMs;
        item["duration_ms"] = row.finishedMs - row.startedMs;
        item["planned"] = settingsJson(row.planned);
        item["before"] = row.beforeRead ? settingsJson(row.before) : Json(nullptr);
        item["after"] = row.afterRead ? settingsJson(row.after) : Json(nullptr);
        Json differences = Json::array();
        for (const kvproto::Difference& d : row.result.differences)
            differences.push_back({{"name", d.parameter->name},
                                   {"planned", readableText(d.expected)},
                                   {"actual", d.actual ? Json(readableText(*d.actual)) : Json()}});
        item["differences"] = std::move(differences);
        Json notes = Json::array();
        for (const std::string& note : row.result.notes) notes.push_back(readableText(note));
        item["notes"] = std::move(notes);
        rows.push_back(std::move(item));
    }
    doc["collectors"] = std::move(rows);
    return doc.dump(2) + "\n";
}

std::string reportHtml(const Report& report) {
    const auto h = [](std::string_view text) { return htmlEscaped(readableText(text)); };
    const auto name = [&](const RowOutcome& row) {
        return row.label.empty() ? h(row.result.port) : h(row.label);
    };
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
        "Commissioning report: " +
        h(report.site) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
    out += "<h1>Commissioning report: " + h(report.site) + "</h1>\n<table class=\"facts\">\n";
    const std::pair<const char*, std::string> facts[] = {
        {"Site", h(report.site)},
        {"Date",
         h(timeText(report.startedMs)) + " to " + h(timeText(report.finishedMs, "%H:%M:%S"))},
        {"Operator", report.operatorName.empty() ? "(not given)" : h(report.operatorName)},
        {"Tool", "kv480t-config " + h(report.toolVersion)},
    };
    for (const auto& [label, value] : facts)
        out += std::string("<tr><th>") + label + "</th><td>" + value + "</td></tr>\n";
    out +=
        "</table>\n<h2>Summary</h2>\n<table class=\"summary\">\n<thead><tr><th>Collector</th>"
        "<th>Port</th><th>Station</th><th>Profile</th><th>Result</th><th>Differences</th>"
        "<th>Time</th></tr></thead>\n<tbody>\n";
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
        const RowOutcome& row = report.rows[i];
        const bool good = stateOf(row) == RowState::Done;
        out += "<tr><td><a href=\"#collector-" + std::to_string(i + 1) + "\">" + name(row) +
               "</a></td><td>" + h(row.result.port) + "</td><td>" + h(row.station) + "</td><td>" +
               h(row.profile) + "</td><td class=\"" + (good ? "result-ok" : "result-bad") + "\">" +
               h(resultWords(row)) + "</td><td>" + std::to_string(row.result.differences.size()) +
               "</td><td>" + h(timeText(row.finishedMs, "%H:%M:%S")) + "</td></tr>\n";
    }
    out += "</tbody>\n</table>\n";
    for (std::size_t i = 0; i < report.rows.size(); ++i) {
        const RowOutcome& row = report.rows[i];
        const bool good = stateOf(row) == RowState::Done;
        out += "<section class=\"collector\" id=\"collector-" + std::to_string(i + 1) +
               "\">\n<h2>" + std::to_string(i + 1) + ". " + name(row) + " (" + h(row.result.port) +
               ", station " + h(row.station) + ")</h2>\n<p>Profile " + h(row.profile) +
               ". Result: <span class=\"" + (good ? "result-ok" : "result-bad") + "\">" +
               h(verification(row)) + "</span></p>\n";
        out +=
            "<table class=\"values\">\n<thead><tr><th>Parameter</th><th>Before</th>"
            "<th>After</th><th>Planned</th><th>Note</th></tr></thead>\n<tbody>\n";
        for (const Parameter& p : kvproto::parameters()) {
            const auto& before = row.before.get(p);
            const auto& after = row.after.get(p);
            const auto& planned = row.planned.get(p);
            if (!before && !after && !planned) continue;
            const kvproto::Difference* difference = differenceFor(row, p);
            const bool change = changed(row, p);
            std::string note = change ? "changed" : "";
            if (difference) note += std::string(note.empty() ? "" : ", ") + "differs from the plan";
            const char* cls = difference ? " class=\"differs\""
                              : change   ? " class=\"changed\""
                                         : "";
            // A value missing from a read that ran was not reported; "-": nothing to show.
            const auto cell = [&](const std::optional<std::string>& value, bool read) {
                return "<td class=\"value\">" +
                       (value ? h(*value) : std::string(read ? "(not reported)" : "-")) + "</td>";
            };
            out += std::string("<tr") + cls + "><td>" + h(p.name) + "</td>" +
                   cell(before, row.beforeRead) + cell(after, row.afterRead) +
                   cell(planned, false) + "<td>" + note + "</td></tr>\n";
        }
        out += "</tbody>\n</table>\n</section>\n";
    }
    out += "</body>\n</html>\n";
    return out;
}

namespace {

// Thrown by the readers below: what report.json lacks.
struct Unreadable {
    std::string what;
};

const Json& field(const Json& object, const char* name) {
    if (!object.is_object() || !object.contains(name))
        throw Unreadable{std::string("no \"") + name + "\""};
    return object.at(name);
}

std::string textOf(const Json& object, const char* name) {
    const Json& value = field(object, name);
    if (!value.is_string()) throw Unreadable{std::string("\"") + name + "\" is not text"};
    return value.get<std::string>();
}

std::int64_t numberOf(const Json& object, const char* name) {
    const Json& value = field(object, name);
    if (!value.is_number_integer())
        throw Unreadable{std::string("\"") + name + "\" is not a whole number"};
    return value.get<std::int64_t>();
}

const Parameter& parameterNamed(const std::string& name) {
    const Parameter* p = kvproto::findParameter(name);
    if (!p) throw Unreadable{"unknown parameter \"" + readableText(name) + "\""};
    return *p;
}

// A settings object, or null: `read` tells which.
CollectorSettings settingsOf(const Json& object, const char* name, bool* read = nullptr) {
    const Json& value = field(object, name);
    CollectorSettings out;
    if (read) *read = !value.is_null();
    if (value.is_null() && read) return out;
    if (!value.is_object()) throw Unreadable{std::string("\"") + name + "\" is not an object"};
    for (const auto& [key, text] : value.items()) {
        if (!text.is_string()) throw Unreadable{"\"" + readableText(key) + "\" is not text"};
        if (auto refused = out.set(parameterNamed(key), text.get<std::string>()))
            throw Unreadable{*refused};
    }
    return out;
}

RowState stateNamed(const std::string& words) {
    for (const RowState s : {RowState::ToDo, RowState::Done, RowState::Failed, RowState::Skipped})
        if (stateWords(s) == words) return s;
    throw Unreadable{"unknown state \"" + readableText(words) + "\""};
}

RowOutcome rowOf(const Json& item) {
    RowOutcome row;
    row.row = static_cast<std::size_t>(numberOf(item, "row"));
    row.label = textOf(item, "label");
    row.result.port = textOf(item, "port");
    row.station = textOf(item, "station");
    row.profile = textOf(item, "profile");
    row.result.where = "in the plan";
    const RowState state = stateNamed(textOf(item, "state"));
    row.state = state;
    row.alreadyAsPlanned = textOf(item, "result") == "already as planned";
    if (item.contains("error")) {
        const Json& e = field(item, "error");
        const std::int64_t code = numberOf(e, "code");
        if (code <= 0 || code > static_cast<int>(kvops::kLastErrorCode))
            throw Unreadable{"unknown error code " + std::to_string(code)};
        const std::int64_t source = numberOf(e, "system_source");
        if (source < 0 || source > static_cast<int>(kvsys::ErrorSource::Resolver))
            throw Unreadable{"unknown error source " + std::to_string(source)};
        row.result.error = {static_cast<kvops::ErrorCode>(code),
                            static_cast<int>(numberOf(e, "system_error")), textOf(e, "text"),
                            static_cast<kvsys::ErrorSource>(source), textOf(e, "summary")};
        row.result.step = textOf(item, "step");
    }
    row.result.written = static_cast<std::size_t>(numberOf(item, "written"));
    row.startedMs = numberOf(item, "started_ms");
    row.finishedMs = numberOf(item, "finished_ms");
    row.planned = settingsOf(item, "planned");
    row.before = settingsOf(item, "before", &row.beforeRead);
    row.after = settingsOf(item, "after", &row.afterRead);
    const Json& differences = field(item, "differences");
    if (!differences.is_array()) throw Unreadable{"\"differences\" is not a list"};
    for (const Json& d : differences) {
        const Json& actual = field(d, "actual");
        if (!actual.is_null() && !actual.is_string()) throw Unreadable{"\"actual\" is not text"};
        row.result.differences.push_back(
            {&parameterNamed(textOf(d, "name")), textOf(d, "planned"),
             actual.is_null() ? std::nullopt : std::optional(actual.get<std::string>())});
    }
    const Json& notes = field(item, "notes");
    if (!notes.is_array()) throw Unreadable{"\"notes\" is not a list"};
    for (const Json& note : notes) {
        if (!note.is_string()) throw Unreadable{"a note is not text"};
        row.result.notes.push_back(note.get<std::string>());
    }
    if (stateOf(row) != state) throw Unreadable{"a row's state does not match its result"};
    return row;
}

}  // namespace

ReportRead parseReportJson(std::string_view text) {
    ReportRead read;
    const Json doc = Json::parse(text, nullptr, false);
    if (doc.is_discarded()) {
        read.error = "not JSON";
        return read;
    }
    try {
        if (!doc.is_object() || !doc.contains("format") || doc.at("format") != "kv480t-site-report")
            throw Unreadable{"not a site report"};
        if (numberOf(doc, "version") != 1) throw Unreadable{"a report version this tool lacks"};
        Report& report = read.report;
        report.site = textOf(doc, "site");
        report.plan = textOf(doc, "plan");
        report.operatorName = textOf(doc, "operator");
        report.toolVersion = textOf(doc, "tool_version");
        report.startedMs = numberOf(doc, "started_ms");
        report.finishedMs = numberOf(doc, "finished_ms");
        const Json& rows = field(doc, "collectors");
        if (!rows.is_array()) throw Unreadable{"\"collectors\" is not a list"};
        for (const Json& item : rows) report.rows.push_back(rowOf(item));
    } catch (const Unreadable& unreadable) {
        read.report = {};
        read.error = unreadable.what;
    }
    return read;
}

std::string defaultReportFolder(const std::string& planPath, std::int64_t wallMs) {
    const std::filesystem::path plan(planPath);
    std::string stem = plan.filename().string();
    if (stem.size() > 4) {
        std::string ending = stem.substr(stem.size() - 4);
        for (char& c : ending) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (ending == ".csv") stem.resize(stem.size() - 4);
    }
    const std::filesystem::path base =
        plan.parent_path() / (stem + "-report-" + formatted(wallMs, "%Y-%m-%d"));
    std::filesystem::path folder = base;
    std::error_code error;
    for (int n = 2; std::filesystem::exists(folder, error); ++n)
        folder = base.string() + "-" + std::to_string(n);
    return folder.string();
}

std::string writeReport(const Report& report, const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return kvfiles::cannotWriteMessage(folder, error.message());
    const std::pair<const char*, std::string> files[] = {
        {"report.csv", reportCsv(report)},
        {"report.json", reportJson(report)},
        {"report.html", reportHtml(report)},
    };
    for (const auto& [name, contents] : files) {
        const std::string path = (std::filesystem::path(folder) / name).string();
        if (std::string failure = kvfiles::writeWholeFile(path, contents); !failure.empty())
            return failure;
    }
    return {};
}

}  // namespace kvsite
