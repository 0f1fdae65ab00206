#include "client/Operations.h"

#include <optional>
#include <utility>
#include <vector>

#include "SPComm/TComm.h"
#include "client/PortThreads.h"
#include "protocol/SetCommands.h"

namespace kvclient {

namespace {

using kvproto::CollectorSettings;

CollectorResult failed(Error error, std::string step) {
    CollectorResult result;
    result.error = std::move(error);
    result.step = std::move(step);
    return result;
}

// The before entry of the write `what` (a listing read first when the history needs one):
// its id, or why the write must not start.
struct Before {
    std::int64_t id = 0;
    Error error;
    std::string step;
};
Before recordBefore(Client& client, std::string_view what, Millis timeout) {
    kvops::LineHistory& history = client.history();
    if (!history.on()) return {};
    // A collector that does not answer the listing is written all the same (the read-back
    // judges): its before says why it holds no values.
    std::string whyNone;
    if (history.needsListing()) {
        const ReadResult read = client.readParameters(timeout);
        if (!read.outcome.answered()) whyNone = kvops::describe(read.outcome.error);
    }
    Before before;
    bool recorded = false;
    history.before(
        std::string(what),
        [&](std::int64_t id, const Error& error) {
            before.id = id;
            before.error = error;
            recorded = true;
        },
        whyNone);
    if (!recorded) before.error = {ErrorCode::HistoryFailed, 0, "the journal did not commit"};
    if (before.error) before.step = "history";
    return before;
}

// The read-back of a write: the result, and the listing as it came.
CollectorResult readBack(Client& client, const CollectorSettings& expected, Millis timeout,
                         std::optional<std::string>& listing) {
    const ReadResult read = client.readParameters(timeout);
    if (read.outcome.answered()) listing = read.outcome.reply;
    if (read.error()) return failed(read.error(), "read-back");
    CollectorResult result;
    result.differences = kvops::compare(expected, read.listing.settings);
    result.where = "in the profile";
    result.reported = read.listing.settings;
    return result;
}

// The frames of the commands sent, with their answers.
std::vector<kvops::SentFrame> sentFrames(const kvops::ApplyRun& run,
                                         const CollectorSettings& settings) {
    std::vector<kvops::SentFrame> frames;
    const std::vector<kvops::CommandAnswer>& answers = run.answers();
    for (std::size_t i = 0; i < answers.size(); ++i) {
        // A frame the port did not take was not sent.
        if (i + 1 == answers.size() && run.failure() &&
            run.failure()->status == kvops::Status::NotSent)
            break;
        frames.push_back({kvproto::buildSetFrame(*answers[i].command, settings), answers[i].answer});
    }
    return frames;
}

}  // namespace

CollectorResult verifySettings(Client& client, const CollectorSettings& expected, Millis timeout) {
    std::optional<std::string> listing;
    return readBack(client, expected, timeout, listing);
}

CollectorResult applySettings(Client& client, const CollectorSettings& settings,
                              const CollectorSettings& expected, Millis timeout,
                              std::string_view where, std::string_view what) {
    const Before before = recordBefore(client, what, timeout);
    if (before.error) return failed(before.error, before.step);
    kvops::LineHistory::Write write;
    write.what = std::string(what);
    write.before = before.id;
    write.written = settings;

    kvops::ApplyRun run(kvops::planApply(settings, {true, true}));
    while (const kvproto::SetCommand* command = run.next()) {
        if (run.record(client.set(*command, settings, run.answerTime()))) continue;
        CollectorResult result = failed(run.failure()->error, std::string(command->word));
        result.error.text += " (" + std::to_string(run.sent()) + " commands written before)";
        result.written = run.sent();
        result.answers = run.answers();
        write.frames = sentFrames(run, settings);
        write.error = result.error;
        client.history().write(std::move(write));
        return result;
    }
    CollectorResult result = readBack(client, expected, timeout, write.readBackListing);
    result.written = run.sent();
    result.answers = run.answers();
    result.where = std::string(where);
    write.frames = sentFrames(run, settings);
    write.readBack = result.reported;
    write.differences = result.differences;
    write.error = result.error;
    client.history().write(std::move(write));
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
    CollectorResult result = applySettings(client, settings, asked, timeout, "asked", "set");
    result.notes.insert(result.notes.begin(), notes.begin(), notes.end());
    return result;
}

CollectorResult restoreSettings(Client& client, const CollectorSettings& state,
                                kvproto::Include include, Millis timeout, std::string_view what) {
    const CollectorSettings wanted = kvproto::filtered(state, include);
    const ReadResult read = client.readParameters(timeout);
    if (read.error()) return failed(read.error(), "reading what the collector holds");
    const CollectorSettings toWrite = kvops::settingsToWrite(wanted, read.listing.settings);
    if (toWrite.empty()) {
        CollectorResult result;
        result.where = "recorded";
        result.reported = read.listing.settings;
        result.notes.push_back("the collector already holds the recorded values: nothing written");
        return result;
    }
    return applySettings(client, toWrite, wanted, timeout, "recorded", what);
}

ResetResult resetCollector(Client& client, Millis timeout) {
    ResetResult result;
    const Before before = recordBefore(client, "reset", timeout);
    if (before.error) {
        result.error = before.error;
        result.step = before.step;
        return result;
    }
    result.outcome = client.request(kvops::kReset, timeout);
    kvops::LineHistory::Write write;
    write.what = "reset";
    write.before = before.id;
    // An answer of any form, or none, leaves the reset sent; only a frame not sent or a
    // line that failed is a failed reset.
    if (result.outcome.status == kvops::Status::NotSent ||
        result.outcome.status == kvops::Status::HungUp)
        write.error = result.outcome.error;
    else
        write.frames.push_back({std::string(kvops::kReset.frame),
                                result.outcome.answered()
                                    ? std::optional<std::string>(result.outcome.reply)
                                    : std::nullopt});
    client.history().write(std::move(write));
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
