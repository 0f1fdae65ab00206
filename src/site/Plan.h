// A site plan: which collector gets which configuration, one row each, kept as a CSV file
// that technicians edit in a spreadsheet.
//
//   port,station,profile,label,ad1.urv
//   /dev/ttyUSB0,1,pumps.json,Pump house 1,
//   /dev/ttyUSB1,2,pumps.json,"Tank, north",25
//
// A header row names the columns: `port` (any name kv480t --port takes), `station` (the
// station address, rs485.address), `profile` (a profile file, relative to the plan's folder),
// optional `label` (free text) and any number of columns named after parameters, whose
// non-empty cells override the profile for their row. UTF-8 with or without a byte order
// mark; fields separated by commas or by semicolons (what the header row uses); quoted fields
// as RFC 4180 (a quoted field may hold the separator, doubled quotes and line breaks). Rows
// whose cells are all empty are skipped.
//
// Several rows may name one port: they are walked one after another, one collector at a time
// on it (site/Walk.h).
//
// A row writes its profile's configuration (the profile's station address and counter bases
// are left out, as in every cloning), its own station address and its overrides; a counter
// base given as a column is written, since naming it is asking for it.
//
// The whole plan is checked before anything is used: every problem gives one message naming
// the row (as a spreadsheet numbers it: the header is row 1) and the column. Plans come from
// other people: the parser takes any bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/Profile.h"
#include "protocol/CollectorSettings.h"

namespace kvsite {

struct PlanRow {
    std::size_t row = 0;  // the spreadsheet's row number
    std::string port;
    std::string station;  // as the plan gives it
    std::string profile;  // as the plan names it
    std::string label;
    kvproto::CollectorSettings overrides;  // the row's own values, station address included
    kvproto::CollectorSettings planned;    // everything the row writes and verifies
};

struct Plan {
    std::string path;  // as given
    std::string name;  // the file's name without its folder
    std::vector<PlanRow> rows;
};

struct PlanOptions {
    bool allowDuplicateStations = false;
};

// Reads a profile named by a plan; `path` is the plan's folder joined with the cell's text.
using ProfileReader = std::function<kvprofile::ReadResult(const std::string& path)>;

struct PlanCheck {
    Plan plan;                          // complete only when `problems` is empty
    std::vector<std::string> problems;  // "<plan>: row N, column C: what is wrong"
    bool ok() const { return problems.empty(); }
};

// `path` names the plan in messages and gives the folder profiles are relative to.
PlanCheck parsePlan(std::string_view text, const std::string& path, const PlanOptions& options,
                    const ProfileReader& readProfile = kvprofile::readProfileFile);
PlanCheck readPlanFile(const std::string& path, const PlanOptions& options);

// A plan to fill in, from the collectors found: the header "port,station,profile,label" and
// one row per collector with its port and the station address it answered with (as it
// answered, "012"), profile and label left empty for the technician. With a byte order mark
// and CR LF line ends, as the report's CSV, so that a spreadsheet reads it as UTF-8.
struct SkeletonRow {
    std::string port;
    std::string station;
};
std::string planSkeleton(const std::vector<SkeletonRow>& rows);

// Why no skeleton may be written at `path`: a file already there (a plan someone may have
// edited) is left as it is unless `replace`. "" when it may be written.
std::string skeletonPathProblem(const std::string& path, bool replace);
// planSkeleton(rows) as the file at `path`, replaced whole or not at all, when
// skeletonPathProblem() has none. "" when written, else the message naming the file.
std::string writePlanSkeleton(const std::string& path, const std::vector<SkeletonRow>& rows,
                              bool replace);

// The fields of a CSV text: records of fields, each with its number as a spreadsheet shows it
// (a line break inside quotes stays in its record).
// `separator` is ',' or ';'. Used by parsePlan; a quote left open runs to the end.
struct CsvRecord {
    std::size_t row = 0;
    std::vector<std::string> fields;
};
std::vector<CsvRecord> parseCsv(std::string_view text, char separator);

}  // namespace kvsite
