#include "cli/Collector.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Text.h"
#include "cli/History.h"
#include "cli/TrafficLogFile.h"

namespace kvcli {

int withCollector(const std::string& port, const std::string& log,
                  const std::function<int(kvclient::Client& client)>& work) {
    bool logFailed = false;
    // The log outlives the client, which logs its close.
    const std::unique_ptr<TrafficLogFile> traffic = openTrafficLog(log, logFailed);
    if (logFailed) return kExitUsage;
    kvclient::Client client;
    if (traffic) traffic->attach(client, port);
    attachHistory(client);
    if (kvclient::Error error = client.open(port)) return reportFailure(port, error);
    return work(client);
}

int printAnswer(kvclient::Client& client, const kvops::Request& request, int timeoutMs, bool json) {
    return printOutcome(client, client.request(request, kvclient::Millis{timeoutMs}), json);
}

int printOutcome(kvclient::Client& client, const kvops::Outcome& result, bool json) {
    if (!result.answered()) return reportFailure(client.port(), result.error);
    if (json) {
        nlohmann::ordered_json out;
        out["port"] = client.port();
        out["reply"] = latin1ToUtf8(result.reply);
        std::cout << out.dump(2) << '\n';
    } else {
        std::string text = printableAnswer(result.reply);
        if (!text.ends_with('\n')) text += '\n';
        std::cout << text;
    }
    return kExitDone;
}

CLI::App* addCollectorCommand(CLI::App& app, const std::string& name,
                              const std::string& description, int& exitCode,
                              std::function<int(const CollectorOptions&)> run) {
    auto options = std::make_shared<CollectorOptions>();
    CLI::App* command = app.add_subcommand(name, description);
    addPort(command, options->port);
    addTimeout(command, options->timeoutMs);
    addJson(command, options->json, "print the result as JSON");
    addLog(command, options->log);
    addHistoryOptions(command);
    command->footer(kExitCodesHelp);
    command->callback([options, run = std::move(run), &exitCode] { exitCode = run(*options); });
    return command;
}

}  // namespace kvcli
