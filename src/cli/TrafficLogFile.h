// kv480t --log FILE: the clients' traffic written to FILE as it passes, one row each (tab-
// separated text; CSV when FILE ends in .csv), as the window's "Traffic" page shows it, after
// a first column naming the port. Several clients (one per port, each on its own thread) may
// write to one file. FILE is replaced whole when kv480t ends, unless it is a stream that
// exists (/dev/stdout, a pipe, a terminal): that is appended to, never replaced.
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
    // Starts the file: a new file or a plain regular file by a temporary one beside it until
    // the log is finished (the old file stays until then); anything else that exists (a
    // symbolic link such as /dev/stdout, a named pipe, a terminal) as it is, appended to as
    // rows come (files/ReplacingFile.h). good() says whether that worked, error() why not.
    explicit TrafficLogFile(const std::string& path);
    // Finishes the file; a failure is said on stderr ("kv480t: <why>").
    ~TrafficLogFile();
    bool good() const { return writer_.good(); }
    const std::string& error() const { return writer_.error(); }
    // From now on the client's traffic on `port` (its line's tap) goes to the file. The file
    // must outlive the client. On the client's thread, before it talks to the collector.
    void attach(kvclient::Client& client, const std::string& port);

private:
    std::mutex mutex_;
    kvtraffic::FileWriter writer_;
    bool started_;  // the file could be started (a failure to start is told by the caller)
    std::vector<std::unique_ptr<kvtraffic::Recorder>> recorders_;  // one per client
};

// --log FILE for a command: null without a path (`path` empty). When the file cannot be
// written, says why on stderr ("kv480t: <why>") and sets `failed`, before anything is sent.
std::unique_ptr<TrafficLogFile> openTrafficLog(const std::string& path, bool& failed);

}  // namespace kvcli
