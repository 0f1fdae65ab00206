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
    // commission: the walk stopped before its end (Ctrl+C, SIGTERM, q or the end of stdin at
    // a prompt) or rows were skipped; the report holds what was done, the same command continues
    kExitStopped = 6,
    // the history could not keep the state before a write, so nothing was written (or, for
    // the history commands, the history file cannot be read)
    kExitHistory = 7,
    kExitInternal = 70,  // a bug in kv480t (EX_SOFTWARE): an exception none of its errors
};

// The exit codes in words, as the footer of every --help.
extern const char* const kExitCodesHelp;

int exitCodeFor(const kvops::Error& error);

// One line on stderr, "kv480t: PORT: STEPcause" (`step` with its own separator; "answer not
// understood: ..." before a cause of that kind); the exit code for the error.
int reportFailure(const std::string& port, const kvops::Error& error,
                  std::string_view step = {});

// Whether the terminal takes UTF-8: POSIX, the locale's character set (LC_ALL, LC_CTYPE,
// LANG) is UTF-8; Windows, the console's output code page is 65001 (the console's own
// setting, left as the user has it). Asked once, by main() before anything is printed;
// until then, and where it says no, text is printed as ASCII with \xNN escapes.
void detectUtf8Terminal();

// Text for a terminal (a message, a plan's label, a file's text: UTF-8): CR LF and lone LF
// end lines, TAB stays, every other control byte becomes \xNN (kvproto::escapedBytes,
// Controls::Lines). On a UTF-8 terminal well-formed UTF-8 stays as it is but the C1
// controls; elsewhere every byte above 126 becomes \xNN.
std::string printable(std::string_view text);
// The collector's bytes (an answer) for a terminal: as printable(), but a byte above
// 126 is the collector's Latin-1 character, printed in UTF-8 on a UTF-8 terminal (0xFC as
// u with diaeresis; 0x80..0x9F, the C1 controls, as \xNN).
std::string printableAnswer(std::string_view bytes);

// Reply bytes as UTF-8 for JSON, each byte read as its Latin-1 character (as the window shows
// them), so that no byte is lost or refused.
std::string latin1ToUtf8(std::string_view bytes);

}  // namespace kvcli
