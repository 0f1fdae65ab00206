// How kv480t commission tells what each collector of a site came to: one line per row as it
// finishes ("LABEL PORT ok", "LABEL PORT already as planned", "LABEL PORT differs: N
// parameters" with the table of differences, "LABEL PORT no answer: ...", "LABEL PORT port
// error: ..."), or one JSON object per line.
#pragma once

#include <string>

#include "site/Commission.h"

namespace kvcli {

// Ends with a newline.
std::string siteRowText(const kvsite::RowOutcome& row);
// A dry run's row (kvsite::previewRow): "LABEL PORT would change N values:" and a line per
// value, "  NAME  BEFORE → PLANNED"; "LABEL PORT already as planned (nothing to write)"; a
// failure as siteRowText. Ends with a newline.
std::string sitePreviewText(const kvsite::RowOutcome& row);
// One line, no newline: label, station, profile, then outcomeJson's fields, with "result"
// "already as planned" where it applies.
std::string siteRowJson(const kvsite::RowOutcome& row);

}  // namespace kvcli
