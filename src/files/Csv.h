// CSV fields as every CSV file this tool writes them (traffic logs, site reports): RFC 4180
// quoting, and text that a spreadsheet would run as a formula kept as text.
//
// A field with a comma, a semicolon, a quote or a line break is quoted, its quotes doubled.
// A field that is not a plain number ("-5", "+1.25", "-.5") and starts with '=', '+', '-' or
// '@' gets a leading apostrophe, inside quotes ("'=HYPERLINK(...)"), so that spreadsheets
// show the characters instead of computing them: what is written may come from a collector's
// reply or a plan someone else typed.
#pragma once

#include <string>
#include <string_view>

namespace kvfiles {

// An optional sign, then digits with at most one decimal point, at least one digit.
bool isPlainNumber(std::string_view text);

std::string csvField(std::string_view field);

}  // namespace kvfiles
