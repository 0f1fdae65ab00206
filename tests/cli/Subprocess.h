// Runs a program as a child process and collects its exit code, stdout and stderr.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace kvtest {

struct ProcessResult {
    int exitCode = -1;  // -1: killed after the limit, or did not start
    std::string out;
    std::string err;
    bool killed = false;
};

// argv[0] is the program's path. The child is killed when it runs past `limit`.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace kvtest
