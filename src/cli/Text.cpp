#include "cli/Text.h"

#include <clocale>
#include <iostream>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#endif

#include "protocol/ByteText.h"

namespace kvcli {

const char* const kExitCodesHelp =
    "Exit codes:\n"
    "  0  done\n"
    "  1  the collector's answer differs from what was asked\n"
    "  2  usage error or bad input\n"
    "  3  port error (cannot open the port, write refused, the line hung up)\n"
    "  4  no answer in time\n"
    "  5  answer not understood\n"
    "  6  stopped before the end or rows skipped (commission: the same command continues)\n"
    "  7  history error (the state before a write could not be recorded: nothing was written)\n"
    "  70 internal error (a bug in kv480t; please report it)";

int exitCodeFor(const kvops::Error& error) {
    switch (error.code) {
        case kvops::ErrorCode::None:
            return kExitDone;
        case kvops::ErrorCode::NoAnswer:
            return kExitNoAnswer;
        case kvops::ErrorCode::NotUnderstood:
            return kExitNotUnderstood;
        case kvops::ErrorCode::BadRequest:
            return kExitUsage;
        case kvops::ErrorCode::HistoryFailed:
            return kExitHistory;
        default:
            return kExitPort;
    }
}

int reportFailure(const std::string& port, const kvops::Error& error, std::string_view step) {
    std::string cause = printable(kvops::describe(error, port));
    if (error.code == kvops::ErrorCode::NotUnderstood) cause = "answer not understood: " + cause;
    std::cerr << "kv480t: " << port << ": " << step << cause << '\n';
    return exitCodeFor(error);
}

namespace {

bool utf8 = false;

}  // namespace

void detectUtf8Terminal() {
#ifdef _WIN32
    utf8 = GetConsoleOutputCP() == CP_UTF8;
#else
    // Only asked: the program's own locale stays "C" (no other behaviour changes with it).
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string before = current ? current : "C";
    if (std::setlocale(LC_CTYPE, "")) utf8 = std::string_view(nl_langinfo(CODESET)) == "UTF-8";
    std::setlocale(LC_CTYPE, before.c_str());
#endif
}

std::string printable(std::string_view text) {
    using kvproto::Escaping;
    return kvproto::escapedBytes(text, {Escaping::Controls::Lines,
                                        utf8 ? Escaping::Beyond::Utf8Text : Escaping::Beyond::Hex});
}

std::string printableAnswer(std::string_view bytes) {
    using kvproto::Escaping;
    return kvproto::escapedBytes(bytes, {Escaping::Controls::Lines,
                                         utf8 ? Escaping::Beyond::Latin1 : Escaping::Beyond::Hex});
}

std::string latin1ToUtf8(std::string_view bytes) {
    return kvproto::latin1ToUtf8(bytes);
}

}  // namespace kvcli
