// One collector on one port, as read, test, query, reset and save talk to it: the traffic
// into --log, the port opened, each failure said on stderr as one line naming the port.
#pragma once

#include <functional>
#include <string>

#include "client/Client.h"
#include "ops/Operations.h"

namespace kvcli {

// Opens `log` (none when empty) and the port, then runs `work` on the open client; the exit
// code: work's, or why the log or the port did not open.
int withCollector(const std::string& port, const std::string& log,
                  const std::function<int(kvclient::Client& client)>& work);

// test, query, reset: the request sent, its answer printed as it came (--json: {"port",
// "reply"}).
int printAnswer(kvclient::Client& client, const kvops::Request& request, int timeoutMs, bool json);

}  // namespace kvcli
