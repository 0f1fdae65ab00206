// What kv480t prints: exit codes, reply bytes as terminal text or JSON strings.
#pragma once

#include <string>
#include <string_view>

#include "ops/Error.h"

namespace kvcli {

enum ExitCode : int {
    kExitDone = 0,
    kExitDiffers = 1,  // the collector's answer differs from what was asked
    kExitUsage = 2,    // usage error or bad input
    kExitPort = 3,     // the port cannot be opened, the write is refused, the line hung up
    kExitNoAnswer = 4,
    kExitNotUnderstood = 5,
    kExitInternal = 70,  // a bug in kv480t (EX_SOFTWARE): an exception none of its errors
};

// The exit codes in words, as the footer of every --help.
extern const char* const kExitCodesHelp;

int exitCodeFor(const kvops::Error& error);

// One line on stderr, "kv480t: PORT: cause" ("answer not understood: ..." before a cause
// of that kind); the exit code for the error.
int reportFailure(const std::string& port, const kvops::Error& error);

// Reply bytes for a terminal: CR LF and lone LF end lines, TAB stays, every other control
// byte and every byte above 126 becomes \xNN (kvproto::escapedBytes, Controls::Lines).
std::string printable(std::string_view bytes);

// Reply bytes as UTF-8 for JSON, each byte read as its Latin-1 character (as the window shows
// them), so that no byte is lost or refused.
std::string latin1ToUtf8(std::string_view bytes);

}  // namespace kvcli
