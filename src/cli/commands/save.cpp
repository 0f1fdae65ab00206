// kv480t save --port PORT FILE [--include-station] [--include-counters] [--json]
// [--timeout-ms N] [--log FILE]: the collector read and written to a profile file. The
// counter bases come from the listing's own tags; any the listing lacks are left out, and
// said so.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Collector.h"
#include "cli/History.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "ops/Operations.h"
#include "profile/Profile.h"

namespace kvcli {

namespace {

struct SaveOptions {
    std::string port;
    kvproto::Include include;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
    std::string file;
};

int saveProfile(kvclient::Client& client, const SaveOptions& options) {
    const std::string& port = options.port;
    const kvclient::ReadResult read = client.readParameters(kvclient::Millis{options.timeoutMs});
    if (read.error()) return reportFailure(port, read.error());

    const kvops::SaveSettings save = kvops::settingsToSave(read.listing.settings, options.include);
    if (!save.absent.empty()) {
        std::string absent;
        for (const kvproto::Parameter* p : save.absent)
            absent += (absent.empty() ? "" : ", ") + std::string(p->name);
        std::cerr << "kv480t: " << port << ": the listing does not report " << absent
                  << ": left out of the profile\n";
    }
    kvprofile::Profile profile;
    profile.saved = kvprofile::utcNow();
    profile.port = port;
    profile.tool = kvprofile::kCommandLineTool;
    profile.settings = save.settings;
    std::string error;
    if (!kvprofile::writeProfileFile(options.file, profile, &error)) {
        std::cerr << "kv480t: " << error << '\n';
        return kExitUsage;
    }
    if (options.json) {
        nlohmann::ordered_json out;
        out["port"] = port;
        out["file"] = options.file;
        out["saved"] = profile.settings.size();
        std::cout << out.dump() << '\n';
    } else {
        std::cout << port << " saved " << profile.settings.size() << " parameters to "
                  << options.file << '\n';
    }
    return kExitDone;
}

}  // namespace

void addSaveCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SaveOptions>();
    CLI::App* command = app.add_subcommand(
        "save",
        "Read the collector's parameters and write them to a profile file (configuration only "
        "unless the include flags ask for more; counter bases as the collector's listing reports "
        "them).");
    addPort(command, options->port);
    addIncludeFlags(command, options->include);
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addJson(command, options->json, "print the result as JSON");
    addHistoryOptions(command);
    command->footer(kExitCodesHelp);
    command->add_option("FILE", options->file, "the profile file to write")->required();
    command->callback([options, &exitCode] {
        exitCode = withCollector(options->port, options->log, [&](kvclient::Client& client) {
            return saveProfile(client, *options);
        });
    });
}

}  // namespace kvcli
