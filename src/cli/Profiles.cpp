#include "cli/Profiles.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <utility>

#include "cli/Text.h"
#include "protocol/ReadBack.h"
#include "protocol/SetCommands.h"

namespace kvcli {

namespace {

using kvclient::Client;
using kvclient::Millis;
using kvclient::Result;
using kvproto::CollectorSettings;
using kvproto::Parameter;
using kvproto::SetCommand;

PortOutcome failure(const Result& result, std::string_view step) {
    PortOutcome outcome;
    outcome.exitCode = exitCodeFor(result.status);
    outcome.reason = printable(result.reason);
    if (!step.empty()) outcome.reason = std::string(step) + ": " + outcome.reason;
    return outcome;
}

std::string_view resultWord(int exitCode) {
    switch (exitCode) {
        case kExitDone:
            return "ok";
        case kExitDiffers:
            return "differs";
        case kExitPort:
            return "port error";
        case kExitNoAnswer:
            return "no answer";
        case kExitNotUnderstood:
            return "not understood";
        default:
            return "bad request";
    }
}

bool complete(const SetCommand& command, const CollectorSettings& settings) {
    for (const Parameter* p : command.parameterSpan())
        if (!settings.get(*p)) return false;
    return true;
}

// Writes the complete commands of `settings`, reads back and compares `expected`.
PortOutcome writeAndVerify(Client& client, const CollectorSettings& settings,
                           const CollectorSettings& expected, Millis timeout,
                           std::string_view where) {
    std::size_t written = 0;
    for (const SetCommand& command : kvproto::setCommands()) {
        if (!complete(command, settings)) continue;
        const Result result = client.set(command, settings, timeout);
        if (!result.done()) {
            PortOutcome outcome = failure(result, command.word);
            outcome.reason += " (" + std::to_string(written) + " commands written before)";
            outcome.written = written;
            return outcome;
        }
        ++written;
    }
    PortOutcome outcome = verifySettings(client, expected, timeout);
    outcome.written = written;
    outcome.where = std::string(where);
    return outcome;
}

}  // namespace

int severity(int exitCode) {
    switch (exitCode) {
        case kExitDone:
            return 0;
        case kExitDiffers:
            return 1;
        case kExitNotUnderstood:
            return 2;
        case kExitNoAnswer:
            return 3;
        case kExitPort:
            return 4;
        default:
            return 5;  // a bad request: nothing sensible was sent
    }
}

int worstExitCode(const std::vector<PortOutcome>& outcomes) {
    int worst = kExitDone;
    for (const PortOutcome& o : outcomes)
        if (severity(o.exitCode) > severity(worst)) worst = o.exitCode;
    return worst;
}

std::string outcomeText(const PortOutcome& outcome) {
    std::string out = outcome.port + " " + std::string(resultWord(outcome.exitCode));
    if (outcome.exitCode == kExitDone) return out + "\n";
    if (outcome.exitCode != kExitDiffers) return out + ": " + outcome.reason + "\n";
    out += ": " + std::to_string(outcome.differences.size()) + " parameters\n";
    // The table: name, the collector's value, the expected value, in aligned columns.
    std::vector<std::array<std::string, 3>> rows;
    rows.push_back({"parameter", "on the collector", std::string(outcome.where)});
    for (const kvproto::Difference& d : outcome.differences)
        rows.push_back({std::string(d.parameter->name),
                        d.actual ? printable(*d.actual) : "(not reported)", printable(d.expected)});
    std::array<std::size_t, 2> widths{};
    for (const auto& row : rows)
        for (std::size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : rows) {
        std::string line = "  ";
        for (std::size_t c = 0; c < widths.size(); ++c)
            line += row[c] + std::string(widths[c] - row[c].size() + 2, ' ');
        out += line + row[2] + "\n";
    }
    return out;
}

std::string outcomeJson(const PortOutcome& outcome) {
    nlohmann::ordered_json out;
    out["port"] = outcome.port;
    out["result"] = resultWord(outcome.exitCode);
    out["exit"] = outcome.exitCode;
    if (!outcome.reason.empty()) out["reason"] = outcome.reason;
    out["written"] = outcome.written;
    nlohmann::ordered_json differences = nlohmann::ordered_json::array();
    for (const kvproto::Difference& d : outcome.differences) {
        nlohmann::ordered_json item;
        item["name"] = d.parameter->name;
        item["expected"] = latin1ToUtf8(d.expected);
        item["actual"] = d.actual ? nlohmann::ordered_json(latin1ToUtf8(*d.actual)) : nullptr;
        differences.push_back(std::move(item));
    }
    out["differences"] = std::move(differences);
    out["notes"] = outcome.notes;
    return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::vector<PortOutcome> runOnPorts(const std::vector<std::string>& ports, const PortJob& job,
                                    const std::function<void(const PortOutcome&)>& arrived) {
    // The threads' outcomes travel to this thread as messages through the mailbox.
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::pair<std::size_t, PortOutcome>> mailbox;

    // jthreads: should starting one fail, those already started are joined on the way out.
    std::vector<std::jthread> threads;
    threads.reserve(ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        threads.emplace_back([&, i] {
            const std::string& port = ports[i];
            PortOutcome outcome;
            try {
                Client client;
                const Result opened = client.open(port);
                outcome = opened.done() ? job(client, port) : failure(opened, "");
            } catch (const std::exception& e) {
                outcome.exitCode = kExitPort;
                outcome.reason = e.what();
            }
            outcome.port = port;
            {
                const std::lock_guard lock(mutex);
                mailbox.emplace_back(i, std::move(outcome));
            }
            posted.notify_one();
        });
    }

    std::vector<PortOutcome> outcomes(ports.size());
    for (std::size_t received = 0; received < ports.size(); ++received) {
        std::pair<std::size_t, PortOutcome> message;
        {
            std::unique_lock lock(mutex);
            posted.wait(lock, [&] { return !mailbox.empty(); });
            message = std::move(mailbox.front());
            mailbox.pop_front();
        }
        arrived(message.second);
        outcomes[message.first] = std::move(message.second);
    }
    for (std::jthread& t : threads) t.join();
    return outcomes;
}

CollectorSettings listedCounterBases(std::string_view listing) {
    CollectorSettings out;
    for (const Parameter& p : kvproto::parameters())
        if (const auto digits = kvproto::listedCounterBase(listing, p))
            out.set(p, *digits);  // a refused value stays out
    return out;
}

CollectorSettings reportedSettings(const kvclient::ReadResult& read) {
    CollectorSettings out = read.settings;
    for (const auto& [parameter, value] : listedCounterBases(read.reply).entries())
        out.set(*parameter, value);
    return out;
}

std::vector<kvproto::Difference> differencesFrom(const CollectorSettings& expected,
                                                 const kvclient::ReadResult& read) {
    std::vector<kvproto::Difference> differences =
        kvproto::compareSettings(expected, read.settings);
    const CollectorSettings counters = listedCounterBases(read.reply);
    for (const auto& [parameter, value] : expected.entries()) {
        if (parameter->kind != kvproto::ParameterKind::CounterBase) continue;
        const std::optional<std::string>& got = counters.get(*parameter);
        if (!got || !kvproto::sameValue(*parameter, value, *got))
            differences.push_back({parameter, value, got});
    }
    std::stable_sort(differences.begin(), differences.end(), [](const auto& a, const auto& b) {
        return kvproto::parameterIndex(*a.parameter) < kvproto::parameterIndex(*b.parameter);
    });
    return differences;
}

PortOutcome applySettings(Client& client, const CollectorSettings& settings, Millis timeout,
                          std::string_view where) {
    return writeAndVerify(client, settings, settings, timeout, where);
}

PortOutcome verifySettings(Client& client, const CollectorSettings& expected, Millis timeout) {
    const kvclient::ReadResult read = client.readParameters(timeout);
    if (!read.done()) return failure(read, "read-back");
    PortOutcome outcome;
    outcome.differences = differencesFrom(expected, read);
    outcome.exitCode = outcome.differences.empty() ? kExitDone : kExitDiffers;
    outcome.where = "in the profile";
    return outcome;
}

PortOutcome setValues(Client& client, const CollectorSettings& asked, Millis timeout) {
    // The values the asked commands need besides the asked ones.
    std::vector<const Parameter*> missing;
    for (const SetCommand& command : kvproto::setCommands()) {
        bool any = false;
        for (const Parameter* p : command.parameterSpan()) any = any || asked.get(*p);
        if (!any) continue;
        for (const Parameter* p : command.parameterSpan())
            if (!asked.get(*p)) missing.push_back(p);
    }
    CollectorSettings settings = asked;
    std::vector<std::string> notes;
    if (!missing.empty()) {
        const kvclient::ReadResult read = client.readParameters(timeout);
        if (!read.done()) return failure(read, "reading the values to complete the commands");
        const CollectorSettings reported = reportedSettings(read);
        std::string taken;
        for (const Parameter* p : missing) {
            const std::optional<std::string>& value = reported.get(*p);
            if (!value) {
                PortOutcome outcome;
                outcome.exitCode = kExitNotUnderstood;
                outcome.reason = "the collector did not report " + std::string(p->name) +
                                 ", which " + std::string(kvproto::setCommandFor(*p).word) +
                                 " needs";
                return outcome;
            }
            settings.set(*p, *value);
            taken += (taken.empty() ? "" : ", ") + std::string(p->name) + "=" + printable(*value);
        }
        notes.push_back("taken from the collector (a set command carries all its values): " +
                        taken);
    }
    PortOutcome outcome = writeAndVerify(client, settings, asked, timeout, "asked");
    outcome.notes.insert(outcome.notes.begin(), notes.begin(), notes.end());
    return outcome;
}

}  // namespace kvcli
