// kv480t: the KV480T-R-2 collector's requests from the command line.
//
// main() only builds the app: the global options, each command (one file each in commands/,
// with its own options and callback: commands/Commands.h), the parse that runs the command,
// and the exit code it came to. The options the commands share are in Options.h; what they
// print in Text.h, Profiles.h and Site.h; the --log file in TrafficLogFile.h.
//
// PORT is a serial device (/dev/ttyUSB0, COMn), a USB adapter by its serial number
// (usb-serial:FT123ABC, resolved at each open) or a serial device server on the network
// (rfc2217://HOST:PORT, tcp://HOST:PORT). Every command that talks to a collector takes
// --log FILE: the line's traffic, row by row.
//
// Results go to stdout; errors to stderr as one line "kv480t: PORT: cause"; the exit code
// says what happened (Text.h). A bad file, assignment or option is refused before any port
// is opened (exit 2). An exception that is none of the tool's own errors is a bug: Guard.h
// says it as an internal error, exit 70.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/Guard.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"

#ifndef KV480T_VERSION
#define KV480T_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    return kvcli::guarded(
        [&] {
            kvcli::detectUtf8Terminal();
            CLI::App app{
                "Configure a KV480T-R-2 data collector over a serial line (9600 baud, 8N1), "
                "also through a serial device server (RFC 2217 or raw TCP).",
                "kv480t"};
            app.set_version_flag("--version", "kv480t " KV480T_VERSION);
            app.require_subcommand(1);
            app.footer(kvcli::kExitCodesHelp);

            int exitCode = kvcli::kExitDone;
            kvcli::addPortsCommand(app, exitCode);
            kvcli::addFindCommand(app, exitCode);
            kvcli::addReadCommand(app, exitCode);
            kvcli::addTestCommand(app, exitCode);
            kvcli::addQueryCommand(app, exitCode);
            kvcli::addResetCommand(app, exitCode);
            kvcli::addSaveCommand(app, exitCode);
            kvcli::addApplyCommand(app, exitCode);
            kvcli::addVerifyCommand(app, exitCode);
            kvcli::addSetCommand(app, exitCode);
            kvcli::addCommissionCommand(app, exitCode);
            kvcli::addNamesCommand(app, exitCode);
            kvcli::addHistoryCommand(app, exitCode);
            kvcli::addDiffCommand(app, exitCode);
            kvcli::addRestoreCommand(app, exitCode);

            try {
                app.parse(argc, argv);  // runs the command's callback
            } catch (const CLI::ParseError& e) {
                if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
                std::cerr << "kv480t: " << e.what() << " (see kv480t --help)\n";
                return static_cast<int>(kvcli::kExitUsage);
            }
            return exitCode;
        },
        std::cerr);
}
