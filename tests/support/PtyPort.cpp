#include "PtyPort.h"

#include <dirent.h>

#include <random>

namespace spcomm::test {

void ConfigureForBinary(TComm& comm, const std::string& path) {
    comm.SetCommName(path);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
}

#if defined(__linux__)
namespace {
int CountEntries(const char* dir) {
    DIR* d = ::opendir(dir);
    if (!d) return -1;
    int n = 0;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.') ++n;
    }
    ::closedir(d);
    return n;
}
}  // namespace

int CountOpenFds() {
    return CountEntries("/proc/self/fd");
}
int CountThreads() {
    return CountEntries("/proc/self/task");
}
#endif

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen());
    return out;
}

}  // namespace spcomm::test
