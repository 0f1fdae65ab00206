// kv480t --log FILE: the clients' traffic written to FILE as it passes, one row each (tab-
// separated text; CSV when FILE ends in .csv), as the window's "Traffic" page shows it.
// Several clients (one per port, each on its own thread) may write to one file.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "client/Client.h"
#include "traffic/TrafficFormat.h"
#include "traffic/TrafficLog.h"

namespace kvcli {

class TrafficLogFile {
public:
    // Creates (or empties) the file; good() says whether that worked.
    explicit TrafficLogFile(const std::string& path);
    bool good() const { return writer_.good(); }
    // From now on the client's traffic on `port` goes to the file. The file must outlive the
    // client. Any thread.
    void attach(kvclient::Client& client, const std::string& port);

private:
    std::mutex mutex_;
    kvtraffic::FileWriter writer_;
    std::vector<std::unique_ptr<kvtraffic::Recorder>> recorders_;  // one per client
};

}  // namespace kvcli
