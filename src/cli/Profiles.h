// How kv480t tells what each collector came to (apply, verify, set): one line per port, a
// table of differences, or one JSON object per line, and the exit code of several.
#pragma once

#include <string>
#include <vector>

#include "client/Operations.h"

namespace kvcli {

// The result's exit code: its error's, else kExitDiffers with differences, else kExitDone.
int exitCodeOf(const kvclient::CollectorResult& result);
// How bad an exit code is, for the worst of several collectors: a port error (nothing is
// known of the collector) before no answer, before an answer not understood, before a
// difference, before done.
int severity(int exitCode);
int worstExitCode(const std::vector<kvclient::CollectorResult>& results);

// "PORT ok", "PORT differs: N parameters" with a table of the differences on the lines
// below (each indented), "PORT no answer: <step>: <reason>", "PORT port error: <reason>",
// "PORT not understood: <reason>". Ends with a newline.
std::string outcomeText(const kvclient::CollectorResult& result);
// One JSON object on one line (no newline): port, result, exit, reason, written,
// differences [{name, expected, actual}], notes.
std::string outcomeJson(const kvclient::CollectorResult& result);

}  // namespace kvcli
