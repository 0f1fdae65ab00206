#include "client/Operations.h"

#include <utility>

#include "SPComm/TComm.h"
#include "client/PortThreads.h"

namespace kvclient {

namespace {

using kvproto::CollectorSettings;

CollectorResult failed(Error error, std::string step) {
    CollectorResult result;
    result.error = std::move(error);
    result.step = std::move(step);
    return result;
}

}  // namespace

CollectorResult verifySettings(Client& client, const CollectorSettings& expected, Millis timeout) {
    const ReadResult read = client.readParameters(timeout);
    if (read.error()) return failed(read.error(), "read-back");
    CollectorResult result;
    result.differences = kvops::compare(expected, read.listing.settings);
    result.where = "in the profile";
    result.reported = read.listing.settings;
    return result;
}

CollectorResult applySettings(Client& client, const CollectorSettings& settings,
                              const CollectorSettings& expected, Millis timeout,
                              std::string_view where) {
    kvops::ApplyRun run(kvops::planApply(settings, {true, true}));
    while (const kvproto::SetCommand* command = run.next()) {
        if (run.record(client.set(*command, settings, run.answerTime()))) continue;
        CollectorResult result = failed(run.failure()->error, std::string(command->word));
        result.error.text += " (" + std::to_string(run.sent()) + " commands written before)";
        result.written = run.sent();
        result.answers = run.answers();
        return result;
    }
    CollectorResult result = verifySettings(client, expected, timeout);
    result.written = run.sent();
    result.answers = run.answers();
    result.where = std::string(where);
    return result;
}

CollectorResult setValues(Client& client, const CollectorSettings& asked, Millis timeout) {
    CollectorSettings settings = asked;
    std::vector<std::string> notes;
    if (!kvops::missingForSet(asked).empty()) {
        const ReadResult read = client.readParameters(timeout);
        // A listing with a value it could not read still reports the others.
        if (!read.outcome.answered())
            return failed(read.outcome.error, "reading the values to complete the commands");
        kvops::Completion completion = kvops::completeSet(asked, read.listing.settings);
        if (completion.error) return failed(completion.error, {});
        settings = std::move(completion.settings);
        notes.push_back(std::move(completion.note));
    }
    // With the values taken from the collector, a command may be one the collector refuses
    // as a whole (an inverted range): nothing is written then.
    if (std::string refused = kvproto::refusedCommand(settings); !refused.empty()) {
        CollectorResult result = failed({ErrorCode::BadRequest, 0, std::move(refused)}, {});
        result.notes = std::move(notes);
        return result;
    }
    CollectorResult result = applySettings(client, settings, asked, timeout, "asked");
    result.notes.insert(result.notes.begin(), notes.begin(), notes.end());
    return result;
}

std::optional<std::string> repeatedPort(const std::vector<std::string>& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (ports[i] == ports[j]) return ports[i];
    return std::nullopt;
}

std::vector<CollectorResult> runOnPorts(const std::vector<std::string>& ports, const PortJob& job,
                                        const std::function<void(const CollectorResult&)>& arrived,
                                        const PortSetUp& setUp) {
    return detail::runEach<CollectorResult>(
        ports.size(),
        [&](std::size_t i) {
            const std::string& port = ports[i];
            CollectorResult result;
            try {
                Client client;
                if (setUp) setUp(client, port);
                if (Error error = client.open(port))
                    result = failed(std::move(error), {});
                else
                    result = job(client);
            } catch (const spcomm::ECommsError& e) {
                // The serial component's own failure; any other exception is a bug, which
                // runEach carries to the calling thread.
                result = failed(kvops::openError(e), {});
            }
            result.port = port;
            return result;
        },
        arrived);
}

}  // namespace kvclient
