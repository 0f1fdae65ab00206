// kv480t-sim: a simulated KV480T-R-2 collector on a pseudo-terminal. Prints the port to
// open on the first line of its output, then answers on it until SIGINT or SIGTERM.
#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>

#include "protocol/SetCommands.h"
#include "sim/Collector.h"

namespace {

const char* const kUsage =
    "usage: kv480t-sim [options]\n"
    "  --baud N            line speed for pacing the answers (default 9600)\n"
    "  --delay-ms N        wait N ms before answering\n"
    "  --chunk N           send answers in pieces of N bytes ...\n"
    "  --gap-ms N          ... with N ms between the pieces\n"
    "  --silent            never answer\n"
    "  --garbage           put noise bytes before every answer\n"
    "  --drop-after-ms N   hang the line up N ms after start\n"
    "  --reopen-after-ms N open a new line N ms after a hang-up\n"
    "  --link PATH         keep a symbolic link at PATH to the current port\n"
    "  --set-answer FORM   how set frames are answered: ok (OK:WORD:values, the default),\n"
    "                      echo-frame (the frame, then OK:WORD:values), other (SET SUCCESS)\n"
    "                      or none (nothing); the reset and the queries keep their answers\n"
    "  --listing FORM      parameter listing: full (the default) or plain (the 17 read-back\n"
    "                      rows, without the counter bases)\n"
    "  --keep-value WORD   acknowledge set frames of WORD but keep the old values\n"
    "                      (repeatable)\n"
    "  --echo              echo every byte received straight back, as an echoing RS-485\n"
    "                      converter does\n";

const char* const kSetAnswers[] = {"ok", "echo-frame", "other", "none"};
constexpr kvsim::SetAnswer kSetAnswerForms[] = {kvsim::SetAnswer::Ok, kvsim::SetAnswer::EchoFrame,
                                                kvsim::SetAnswer::Other, kvsim::SetAnswer::None};
const char* const kListings[] = {"full", "plain"};

bool number(const char* text, long& out) {
    const char* end = text + std::strlen(text);
    const auto result = std::from_chars(text, end, out);
    return result.ec == std::errc{} && result.ptr == end && out >= 0;
}

// The position of `text` among `names`; on failure says which ones would do. -1 if none.
template <std::size_t N>
int choice(const char* option, const char* text, const char* const (&names)[N]) {
    for (std::size_t i = 0; i < N; ++i)
        if (std::strcmp(text, names[i]) == 0) return static_cast<int>(i);
    std::string all;
    for (const char* name : names) all += (all.empty() ? "" : ", ") + std::string(name);
    std::fprintf(stderr, "kv480t-sim: %s: '%s' is not one of %s\n", option, text, all.c_str());
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    kvsim::CollectorOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--silent") {
            options.silent = true;
            continue;
        }
        if (arg == "--garbage") {
            options.garbage = true;
            continue;
        }
        if (arg == "--echo") {
            options.echo = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "kv480t-sim: %s needs a value\n%s", argv[i], kUsage);
            return 2;
        }
        const char* value = argv[++i];
        if (arg == "--link") {
            options.linkPath = value;
            continue;
        }
        if (arg == "--set-answer") {
            const int form = choice(argv[i - 1], value, kSetAnswers);
            if (form < 0) return 2;
            options.setAnswer = kSetAnswerForms[form];
            continue;
        }
        if (arg == "--listing") {
            const int form = choice(argv[i - 1], value, kListings);
            if (form < 0) return 2;
            options.plainListing = form == 1;
            continue;
        }
        if (arg == "--keep-value") {
            if (!kvproto::findSetCommandByWord(value)) {
                std::fprintf(stderr, "kv480t-sim: %s: '%s' is not a set command word\n",
                             argv[i - 1], value);
                return 2;
            }
            options.keptWords.insert(value);
            continue;
        }
        long n = 0;
        if (!number(value, n)) {
            std::fprintf(stderr, "kv480t-sim: %s: '%s' is not a number\n", argv[i - 1], value);
            return 2;
        }
        if (arg == "--baud" && n > 0)
            options.baud = static_cast<int>(n);
        else if (arg == "--delay-ms")
            options.answerDelay = kvsim::Millis(n);
        else if (arg == "--chunk")
            options.chunkSize = static_cast<std::size_t>(n);
        else if (arg == "--gap-ms")
            options.chunkGap = kvsim::Millis(n);
        else if (arg == "--drop-after-ms")
            options.dropAfter = kvsim::Millis(n);
        else if (arg == "--reopen-after-ms")
            options.reopenAfter = kvsim::Millis(n);
        else {
            std::fprintf(stderr, "kv480t-sim: unknown option %s\n%s", argv[i - 1], kUsage);
            return 2;
        }
    }

    // The collector's thread inherits the blocked signals; this thread takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    kvsim::Collector collector(options);
    try {
        collector.start();
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "kv480t-sim: %s\n", e.what());
        return 1;
    }
    std::printf("%s\n", collector.slavePath().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    collector.stop();
    return 0;
}
