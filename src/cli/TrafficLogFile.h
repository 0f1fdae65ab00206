// kv480t --log FILE: a client's traffic written to FILE as it passes, one row each (tab-
// separated text; CSV when FILE ends in .csv), as the window's "Traffic" page shows it.
#pragma once

#include <memory>
#include <string>

#include "client/Client.h"
#include "traffic/TrafficFormat.h"
#include "traffic/TrafficLog.h"

namespace kvcli {

class TrafficLogFile {
public:
    // Creates (or empties) the file; good() says whether that worked.
    explicit TrafficLogFile(const std::string& path);
    bool good() const { return writer_.good(); }
    // From now on the client's traffic goes to the file. The file must outlive the client.
    void attach(kvclient::Client& client);

private:
    kvtraffic::FileWriter writer_;
    kvtraffic::Recorder recorder_;
};

}  // namespace kvcli
