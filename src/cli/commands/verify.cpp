// kv480t verify --port PORT [--port PORT ...] FILE [--include-station] [--include-counters]
// [--json] [--timeout-ms N] [--log FILE]: every collector read back at once and compared
// with a profile, value by value. The file is checked whole before any port is opened.
#include "cli/Profiles.h"
#include "cli/commands/Commands.h"
#include "client/Operations.h"

namespace kvcli {

void addVerifyCommand(CLI::App& app, int& exitCode) {
    addProfileCommand(
        app, "verify",
        "Read the collectors' parameters back and compare them with a profile file, value by "
        "value (configuration only unless the include flags ask for more).",
        "the profile file to compare with", "verify", exitCode,
        [](kvclient::Client& client, const kvproto::CollectorSettings& settings,
           kvclient::Millis timeout) {
            return kvclient::verifySettings(client, settings, timeout);
        });
}

}  // namespace kvcli
