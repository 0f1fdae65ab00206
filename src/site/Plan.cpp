#include "site/Plan.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "SPComm/net/NetPortName.h"
#include "files/Csv.h"
#include "files/ReplacingFile.h"
#include "protocol/Compare.h"
#include "protocol/SetCommands.h"
#include "site/Text.h"
#include "system/SystemError.h"

namespace kvsite {

namespace {

using kvproto::Parameter;

constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

// The separator the header row uses: the first ',' or ';' outside quotes; ',' when none.
char separatorOf(std::string_view text) {
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == ',' || c == ';') return c;
        if (c == '\n' || c == '\r') break;
    }
    return ',';
}

// A cell's text for messages: printable, and short.
std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) {
        const auto u = static_cast<unsigned char>(c);
        out += u < 0x20 || u == 0x7F ? '?' : c;
    }
    return text.size() > 40 ? out + "..." : out;
}

// "/x", "\\server\x", "C:\x", "C:/x": not relative to the plan's folder.
bool absolute(std::string_view path) {
    if (path.starts_with('/') || path.starts_with('\\')) return true;
    return path.size() > 2 && path[1] == ':' && (path[2] == '/' || path[2] == '\\');
}

enum class Column { Port, Station, Profile, Label, Parameter, Unknown };

struct HeaderColumn {
    std::string name;
    Column kind = Column::Unknown;
    const Parameter* parameter = nullptr;
};

class Checker {
public:
    Checker(const std::string& path, const PlanOptions& options, const ProfileReader& reader)
        : path_(path), options_(options), reader_(reader) {
        check_.plan.path = path;
        const auto slash = path.find_last_of("/\\");
        check_.plan.name = slash == std::string::npos ? path : path.substr(slash + 1);
        folder_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    }

    PlanCheck run(std::string_view text) {
        if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
        if (!validUtf8(text)) {
            problem(0, {}, "not UTF-8 text (save the plan as \"CSV UTF-8\")");
            return std::move(check_);
        }
        const std::vector<CsvRecord> records = parseCsv(text, separatorOf(text));
        if (records.empty()) {
            problem(0, {}, "empty: a plan starts with a header row (port, station, profile, ...)");
            return std::move(check_);
        }
        if (!header(records.front())) return std::move(check_);
        for (std::size_t i = 1; i < records.size(); ++i) row(records[i]);
        if (check_.plan.rows.empty() && check_.problems.empty())
            problem(0, {}, "no collector in the plan (every row below the header is empty)");
        if (!check_.problems.empty()) check_.plan.rows.clear();
        return std::move(check_);
    }

private:
    void problem(std::size_t row, std::string_view column, const std::string& text) {
        std::string out = path_ + ": ";
        if (row > 0) out += "row " + std::to_string(row) + ", ";
        if (!column.empty()) out += "column " + shown(column) + ": ";
        check_.problems.push_back(out + text);
    }

    bool header(const CsvRecord& record) {
        std::map<std::string, int> seen;
        for (const std::string& field : record.fields) {
            HeaderColumn column{trimmed(field)};
            const std::string& name = column.name;
            if (name == "port")
                column.kind = Column::Port;
            else if (name == "station")
                column.kind = Column::Station;
            else if (name == "profile")
                column.kind = Column::Profile;
            else if (name == "label")
                column.kind = Column::Label;
            else if ((column.parameter = kvproto::findParameter(name)))
                column.kind = Column::Parameter;
            if (column.kind == Column::Unknown) {
                problem(record.row, name.empty() ? "(empty)" : name,
                        "unknown column (port, station, profile, label or a parameter name)");
            } else if (column.parameter &&
                       column.parameter->kind == kvproto::ParameterKind::Identity) {
                problem(record.row, name, "the station address has its own column, station");
            } else if (seen[name]++ == 1) {
                problem(record.row, name, "given twice");
            }
            columns_.push_back(std::move(column));
        }
        bool complete = true;
        for (const char* needed : {"port", "station", "profile"}) {
            if (seen.count(needed)) continue;
            problem(record.row, needed, "missing: every plan needs it");
            complete = false;
        }
        return complete;
    }

    void row(const CsvRecord& record) {
        bool any = false;
        for (const std::string& field : record.fields) any = any || !trimmed(field).empty();
        if (!any) return;
        const std::size_t before = check_.problems.size();
        PlanRow row;
        row.row = record.row;
        for (std::size_t i = columns_.size(); i < record.fields.size(); ++i)
            if (!trimmed(record.fields[i]).empty())
                problem(
                    record.row, "#" + std::to_string(i + 1),
                    "a cell beyond the header's " + std::to_string(columns_.size()) + " columns");
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const std::string cell = i < record.fields.size() ? trimmed(record.fields[i]) : "";
            const HeaderColumn& column = columns_[i];
            switch (column.kind) {
                case Column::Port:
                    row.port = cell;
                    break;
                case Column::Station:
                    row.station = cell;
                    break;
                case Column::Profile:
                    row.profile = cell;
                    break;
                case Column::Label:
                    row.label = cell;
                    break;
                case Column::Parameter:
                    override(row, column, cell);
                    break;
                case Column::Unknown:
                    break;
            }
        }
        checkPort(row);
        checkStation(row);
        checkProfile(row);
        if (check_.problems.size() == before) check_.plan.rows.push_back(std::move(row));
    }

    void override(PlanRow& row, const HeaderColumn& column, const std::string& cell) {
        if (cell.empty()) return;
        if (auto refused = row.overrides.set(*column.parameter, cell))
            problem(row.row, column.name, *refused);
    }

    void checkPort(const PlanRow& row) {
        if (row.port.empty()) {
            problem(row.row, "port", "empty: every row needs the collector's port");
            return;
        }
        if (const std::string bad = spcomm::NetworkPortNameProblem(row.port); !bad.empty())
            problem(row.row, "port", shown(row.port) + ": " + bad);
    }

    void checkStation(PlanRow& row) {
        const Parameter& station = *kvproto::findParameter("rs485.address");
        if (row.station.empty()) {
            problem(row.row, "station", "empty: every row needs its station address");
            return;
        }
        if (auto refused = row.overrides.set(station, row.station)) {
            problem(row.row, "station", *refused);
            return;
        }
        for (const auto& [value, other] : stations_) {
            if (options_.allowDuplicateStations || !kvproto::sameValue(station, value, row.station))
                continue;
            problem(row.row, "station",
                    row.station + " is already the station address of row " +
                        std::to_string(other) +
                        " (collectors on one bus need their own; --allow-duplicate-stations "
                        "if they are on separate buses)");
            return;
        }
        stations_.emplace_back(row.station, row.row);
    }

    void checkProfile(PlanRow& row) {
        if (row.profile.empty()) {
            problem(row.row, "profile", "empty: every row needs a profile file");
            return;
        }
        const std::string file = absolute(row.profile) ? row.profile : folder_ + row.profile;
        auto cached = profiles_.find(file);
        if (cached == profiles_.end()) cached = profiles_.emplace(file, reader_(file)).first;
        const kvprofile::ReadResult& read = cached->second;
        if (!read.profile) {
            problem(row.row, "profile", read.error);
            return;
        }
        row.planned = kvproto::filtered(read.profile->settings, {});
        for (const auto& [parameter, value] : row.overrides.entries())
            row.planned.set(*parameter, value);
        if (const std::string missing = kvproto::incompleteCommand(row.planned); !missing.empty())
            problem(row.row, columnsOfIncomplete(row), missing);
        else if (const std::string refused = kvproto::refusedCommand(row.planned); !refused.empty())
            problem(row.row, columnOfRefused(row, refused), refused);
    }

    // The override column among the values the refused command's message names, else
    // "profile".
    std::string columnOfRefused(const PlanRow& row, const std::string& refused) {
        for (const auto& [parameter, value] : row.overrides.entries())
            if (refused.find(parameter->name) != std::string::npos)
                return std::string(parameter->name);
        return "profile";
    }

    // The override columns of the set command that is incomplete, for the message.
    std::string columnsOfIncomplete(const PlanRow& row) {
        std::string names;
        for (const auto& [parameter, value] : row.overrides.entries()) {
            if (parameter->kind == kvproto::ParameterKind::Identity) continue;
            const kvproto::SetCommand& command = kvproto::setCommandFor(*parameter);
            bool whole = true;
            for (const Parameter* p : command.parameterSpan())
                whole = whole && row.planned.has(p->name);
            if (!whole) names += (names.empty() ? "" : ", ") + std::string(parameter->name);
        }
        return names.empty() ? "profile" : names;
    }

    std::string path_;
    const PlanOptions& options_;
    const ProfileReader& reader_;
    std::string folder_;  // the plan's folder with its final separator, or ""
    PlanCheck check_;
    std::vector<HeaderColumn> columns_;
    std::vector<std::pair<std::string, std::size_t>> stations_;
    std::map<std::string, kvprofile::ReadResult> profiles_;
};

}  // namespace

std::vector<CsvRecord> parseCsv(std::string_view text, char separator) {
    std::vector<CsvRecord> records;
    CsvRecord record{1, {}};
    std::string field;
    bool quoted = false, fieldStarted = false;
    const auto endField = [&] {
        record.fields.push_back(std::move(field));
        field.clear();
        fieldStarted = false;
    };
    const auto endRecord = [&] {
        endField();
        records.push_back(std::move(record));
        record = CsvRecord{records.size() + 1, {}};
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"' && !fieldStarted) {
            quoted = fieldStarted = true;
        } else if (c == separator) {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endRecord();
        } else {
            field += c;
            // Blanks before an opening quote do not open a plain field.
            fieldStarted = fieldStarted || (c != ' ' && c != '\t');
        }
    }
    if (!field.empty() || fieldStarted || !record.fields.empty()) endRecord();
    return records;
}

std::string planSkeleton(const std::vector<SkeletonRow>& rows) {
    std::string out = std::string(kBom) + "port,station,profile,label\r\n";
    for (const SkeletonRow& row : rows)
        out += kvfiles::csvField(row.port) + "," + kvfiles::csvField(row.station) + ",,\r\n";
    return out;
}

std::string skeletonPathProblem(const std::string& path, bool replace) {
    std::error_code error;
    const auto type = std::filesystem::symlink_status(path, error).type();
    // Where it cannot be told (none), the write says why it fails.
    if (!replace && type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::none)
        return path + ": already there, left as it is";
    return {};
}

std::string writePlanSkeleton(const std::string& path, const std::vector<SkeletonRow>& rows,
                              bool replace) {
    if (std::string problem = skeletonPathProblem(path, replace); !problem.empty()) return problem;
    return kvfiles::writeWholeFile(path, planSkeleton(rows));
}

PlanCheck parsePlan(std::string_view text, const std::string& path, const PlanOptions& options,
                    const ProfileReader& readProfile) {
    return Checker(path, options, readProfile).run(text);
}

PlanCheck readPlanFile(const std::string& path, const PlanOptions& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        PlanCheck check;
        check.plan.path = path;
        check.problems.push_back(path + ": cannot be read (" + kvsys::errnoText(errno) + ")");
        return check;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parsePlan(text.str(), path, options);
}

}  // namespace kvsite
