// Debian's ser2net as a serial device server in front of a pseudo-terminal (the simulated
// collector's), for the suites that test network ports against a real gateway. It listens on
// 127.0.0.1 only, on two free ports: a telnet(rfc2217) accepter and a plain tcp accepter.
// The test starts it, may stop it (as a gateway that goes away: connected clients see the
// connection close) and start it again on the same ports. POSIX only.
#pragma once

#include <sys/types.h>

#include <string>

namespace kvtest {

class Ser2Net {
public:
    // Picks the ports and starts ser2net; throws std::runtime_error when it cannot run
    // (not installed: scripts/setup installs it) or does not listen within 5 s.
    explicit Ser2Net(std::string device);
    ~Ser2Net();  // stops it
    Ser2Net(const Ser2Net&) = delete;
    Ser2Net& operator=(const Ser2Net&) = delete;

    void start();  // again on the same ports; throws as the constructor
    void stop();   // SIGTERM by its pid, then waits for it
    bool running() const { return pid_ > 0; }

    std::string rfc2217Url() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort_); }
    std::string tcpUrl() const { return "tcp://127.0.0.1:" + std::to_string(tcpPort_); }
    // What ser2net printed (its log file).
    std::string log() const;

    // A 127.0.0.1 port on which nothing listens right now.
    static int freePort();

private:
    std::string device_;
    std::string dir_;  // its configuration and log
    int rfcPort_ = 0;
    int tcpPort_ = 0;
    pid_t pid_ = -1;
};

}  // namespace kvtest
