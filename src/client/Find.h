// Finding collectors: the communication test sent to many ports at once, each on its own
// thread (a silent port holds up no other), telling which answered and with which station
// address. For `kv480t find` and the window's Find button.
//
// A port is opened the usual way, so one held by another program is reported busy and left
// alone (the serial component's exclusive open), never taken over.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "client/Client.h"
#include "client/Operations.h"
#include "ports/SerialPorts.h"

namespace kvclient {

enum class FindState { Answered, NoAnswer, Busy, NoPermission, Failed };

struct FindResult {
    std::string port;
    FindState state = FindState::Failed;
    std::string station;  // Answered: the station address the answer names; may be empty
    std::string reply;    // Answered: the answer as it came
    Error error;          // otherwise: why not
    // From the port listing, when the port is listed there.
    std::string description;
    std::string serialNumber;
};

// "collector", "no answer", "busy", "no permission", "port error".
std::string_view findStateWords(FindState state);

// The ports to try: every port of `present` in its order, then the `named` ones it lacks, each
// once, leaving out `skip` (the port the window holds open).
std::vector<std::string> portsToFind(const kvports::PortListing& present,
                                     const std::vector<std::string>& named,
                                     const std::string& skip = {});

// Sends the communication test to every port at once; `arrived` runs on the calling thread
// for each port as it finishes, `setUp` on each port's thread before its port is opened (a
// traffic log, say). The results in the order of `ports`, described from `present` where
// listed there.
std::vector<FindResult> findCollectors(const std::vector<std::string>& ports,
                                       const kvports::PortListing& present, Millis timeout,
                                       const std::function<void(const FindResult&)>& arrived = {},
                                       const PortSetUp& setUp = {});

}  // namespace kvclient
