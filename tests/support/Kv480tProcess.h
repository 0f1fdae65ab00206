// Running the real kv480t program as a child process: its stdout, its stderr and its exit
// code.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kvtest {

struct ProcessRun {
    int exitCode = -1;
    std::string out, err;
};

inline std::string slurp(const std::filesystem::path& file) {
    std::ostringstream text;
    text << std::ifstream(file).rdbuf();
    return text.str();
}

// kv480t with these arguments (killed after 20 s), stdout and stderr apart. `asOrdinaryUser`:
// run by root, it runs as "nobody", who may open only what everybody may. `environment`:
// "NAME=VALUE" entries added to its environment.
inline ProcessRun kv480t(const std::vector<std::string>& args, bool asOrdinaryUser = false,
                         const std::vector<std::string>& environment = {}) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string tag = "kv480t-test-" + std::to_string(::getpid());
    std::string command;
    for (const std::string& e : environment) command += "'" + e + "' ";
    if (!command.empty()) command = "env " + command;
    command += "timeout -s KILL 20 ";
    if (asOrdinaryUser && ::geteuid() == 0)
        command += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    command += "'" KV480T_PATH "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " </dev/null >'" + (dir / (tag + ".out")).string() + "' 2>'" +
               (dir / (tag + ".err")).string() + "'";
    const int status = std::system(command.c_str());
    ProcessRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir / (tag + ".out")),
                   slurp(dir / (tag + ".err"))};
    std::filesystem::remove(dir / (tag + ".out"));
    std::filesystem::remove(dir / (tag + ".err"));
    return run;
}

// A shell command line as it is (kv480t by its path, KV480T_PATH, in it), what it prints
// (stdout and stderr, where its own redirections leave them) together in `out`; its exit code.
inline ProcessRun shell(const std::string& command, const std::filesystem::path& out) {
    const int status = std::system(("( " + command + " ) >'" + out.string() + "' 2>&1").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), {}};
}

inline std::string describe(const ProcessRun& r) {
    return "exit " + std::to_string(r.exitCode) + "\nstdout:\n" + r.out + "\nstderr:\n" + r.err;
}

}  // namespace kvtest
