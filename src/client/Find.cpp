#include "client/Find.h"

#include <algorithm>

#include "SPComm/TComm.h"
#include "client/PortThreads.h"
#include "ops/Operations.h"

namespace kvclient {

namespace {

FindState stateFor(const Error& error) {
    switch (error.code) {
        case ErrorCode::None:
            return FindState::Answered;
        case ErrorCode::NoAnswer:
            return FindState::NoAnswer;
        case ErrorCode::PortBusy:
            return FindState::Busy;
        case ErrorCode::PortPermission:
            return FindState::NoPermission;
        default:
            return FindState::Failed;
    }
}

FindResult tryPort(const std::string& port, Millis timeout, const PortSetUp& setUp) {
    FindResult result;
    result.port = port;
    try {
        Client client;
        if (setUp) setUp(client, port);
        result.error = client.open(port);
        if (!result.error) {
            const Outcome outcome = client.request(kvops::kCommunicationTest, timeout);
            result.error = outcome.error;
            result.reply = outcome.reply;
            if (outcome.answered())
                result.station = kvops::stationInAnswer(outcome.reply).value_or("");
        }
    } catch (const spcomm::ECommsError& e) {
        // The serial component's own failure; any other exception is a bug, which runEach
        // carries to the calling thread.
        result.error = kvops::openError(e);
    }
    result.state = stateFor(result.error);
    return result;
}

}  // namespace

std::string_view findStateWords(FindState state) {
    switch (state) {
        case FindState::Answered:
            return "collector";
        case FindState::NoAnswer:
            return "no answer";
        case FindState::Busy:
            return "busy";
        case FindState::NoPermission:
            return "no permission";
        case FindState::Failed:
            break;
    }
    return "port error";
}

std::vector<std::string> portsToFind(const kvports::PortListing& present,
                                     const std::vector<std::string>& named,
                                     const std::string& skip) {
    std::vector<std::string> ports;
    const auto add = [&](const std::string& port) {
        if (port != skip && std::find(ports.begin(), ports.end(), port) == ports.end())
            ports.push_back(port);
    };
    for (const kvports::SerialPortInfo& p : present.ports) add(p.path);
    for (const std::string& port : named) add(port);
    return ports;
}

std::vector<FindResult> findCollectors(const std::vector<std::string>& ports,
                                       const kvports::PortListing& present, Millis timeout,
                                       const std::function<void(const FindResult&)>& arrived,
                                       const PortSetUp& setUp) {
    return detail::runEach<FindResult>(
        ports.size(),
        [&](std::size_t i) {
            FindResult result = tryPort(ports[i], timeout, setUp);
            for (const kvports::SerialPortInfo& p : present.ports) {
                if (p.path != result.port) continue;
                result.description = p.description;
                result.serialNumber = p.serialNumber;
            }
            return result;
        },
        arrived);
}

}  // namespace kvclient
