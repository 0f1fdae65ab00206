// kv480t apply --port PORT [--port PORT ...] FILE [--include-station] [--include-counters]
// [--json] [--timeout-ms N] [--log FILE]: a profile written to every collector at once, then
// read back and compared. The file is checked whole before any port is opened.
#include "cli/Profiles.h"
#include "cli/commands/Commands.h"
#include "client/Operations.h"

namespace kvcli {

void addApplyCommand(CLI::App& app, int& exitCode) {
    addProfileCommand(
        app, "apply",
        "Write a profile file to the collectors (configuration only unless the include flags "
        "ask for more), then read back and verify. A bad file is refused whole: nothing is sent.",
        "the profile file to write", "write", exitCode,
        [](kvclient::Client& client, const kvproto::CollectorSettings& settings,
           kvclient::Millis timeout) {
            return kvclient::applySettings(client, settings, settings, timeout, "in the profile");
        });
}

}  // namespace kvcli
