// Running the real kv480t program as a child process: its stdout, its stderr and its exit
// code.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "IsolatedHistory.h"

extern char** environ;

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

// kv480t as a child the test talks to while it runs: its stdin a pipe the test writes to,
// its stdout and stderr read as they come (a prompt waited for before it is answered).
class Kv480tSession {
public:
    explicit Kv480tSession(std::vector<std::string> args) {
        ::signal(SIGPIPE, SIG_IGN);  // a write to a child that has ended fails instead
        int in[2], out[2], err[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (const auto& [from, to] : {std::pair{in[0], 0}, {out[1], 1}, {err[1], 2}})
            posix_spawn_file_actions_adddup2(&actions, from, to);
        for (const int fd : {in[1], out[0], err[0]})
            posix_spawn_file_actions_addclose(&actions, fd);
        args.insert(args.begin(), KV480T_PATH);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, KV480T_PATH, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        for (const int fd : {in[0], out[1], err[1]}) ::close(fd);
        input_ = in[1];
        fds_[0] = out[0];
        fds_[1] = err[0];
    }
    ~Kv480tSession() {
        if (pid_ > 0 && run_.exitCode < 0) ::kill(pid_, SIGKILL);
        finish();
    }
    Kv480tSession(const Kv480tSession&) = delete;
    Kv480tSession& operator=(const Kv480tSession&) = delete;

    void write(const std::string& text) {
        if (input_ < 0) return;
        ASSERT_EQ(::write(input_, text.data(), text.size()), ssize_t(text.size()));
    }
    void closeInput() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }
    void signal(int number) { ::kill(pid_, number); }
    // Reads until stderr holds `text` at least `count` times (at most 20 s); whether it does.
    bool waitForErr(const std::string& text, std::size_t count = 1) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (occurrences(run_.err, text) < count)
            if (std::chrono::steady_clock::now() > until || !pump(100)) return false;
        return true;
    }
    // Closes stdin, reads to the end and waits for the exit.
    ProcessRun finish() {
        closeInput();
        while (pump(20000)) {
        }
        int status = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_)
            run_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
        pid_ = -1;
        return run_;
    }
    const ProcessRun& sofar() const { return run_; }

    static std::size_t occurrences(const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }

private:
    // Reads what comes within `waitMs`; false once both outputs have ended.
    bool pump(int waitMs) {
        if (fds_[0] < 0 && fds_[1] < 0) return false;
        pollfd fds[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
        if (::poll(fds, 2, waitMs) <= 0) return true;
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            const ssize_t got = fds[i].revents ? ::read(fds_[i], buffer, sizeof buffer) : 1;
            if (got <= 0) {
                ::close(fds_[i]);
                fds_[i] = -1;
            } else if (fds[i].revents) {
                (i == 0 ? run_.out : run_.err).append(buffer, static_cast<std::size_t>(got));
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int fds_[2] = {-1, -1};
    ProcessRun run_;
};

inline std::string describe(const ProcessRun& r) {
    return "exit " + std::to_string(r.exitCode) + "\nstdout:\n" + r.out + "\nstderr:\n" + r.err;
}

}  // namespace kvtest
