// What the benchmark programs share: a pseudo-terminal whose device side they drive, and
// running kv480t as a child process. POSIX only.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace kvbench {

// The kv480t a benchmark runs keeps its history in a folder of the benchmark's own, never in
// the user's: XDG_DATA_HOME points there before main() (left for the system's temporary-file
// cleaning: a benchmark may end anywhere).
inline const bool kOwnHistory = [] {
    static std::string folder =
        "/tmp/kv480t-bench-data-" + std::to_string(static_cast<long>(getpid()));
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    return true;
}();

// A pseudo-terminal: the benchmark writes to `master`, the program under test opens `path`.
struct Pty {
    int master = -1;
    std::string path;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("posix_openpt");
            std::exit(1);
        }
        path = ptsname(master);
    }
    ~Pty() { close(master); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    // Writes all of it (blocking); a failed write ends the benchmark.
    void Write(const std::uint8_t* p, std::size_t n) const {
        while (n > 0) {
            const ssize_t w = write(master, p, n);
            if (w <= 0) std::exit(1);
            p += w;
            n -= static_cast<std::size_t>(w);
        }
    }
};

// Runs `program` with `arguments`, its standard output (and, unless `showErrors`, its standard
// error) discarded, its standard input `input` when given (a file). Its exit code, or -1 when
// it could not be started or did not exit.
inline int runProgram(const std::string& program, std::vector<std::string> arguments,
                      bool showErrors = false, const std::string& input = {}) {
    arguments.insert(arguments.begin(), program);
    std::vector<char*> args;
    for (std::string& a : arguments) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!showErrors) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (!input.empty()) posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace kvbench
