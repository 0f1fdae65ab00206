#include "Ser2Net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef SER2NET_PATH
#define SER2NET_PATH "/usr/sbin/ser2net"
#endif

namespace kvtest {

namespace {

// Whether something listens on 127.0.0.1:port, from the kernel's socket table: connecting
// to find out would make ser2net open the device and close it again, and a client that
// connects while it closes is turned away.
bool listening(int port) {
    std::ifstream table("/proc/net/tcp");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") return true;  // TCP_LISTEN
    }
    return false;
}

}  // namespace

int Ser2Net::freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        throw std::runtime_error("no free TCP port on 127.0.0.1");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

Ser2Net::Ser2Net(std::string device) : device_(std::move(device)) {
    char pattern[] = "/tmp/kv-ser2net-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("cannot make a folder for ser2net");
    dir_ = pattern;
    rfcPort_ = freePort();
    do tcpPort_ = freePort();
    while (tcpPort_ == rfcPort_);
    const std::string connector = "  connector: serialdev," + device_ + ",9600n81,local\n";
    std::ofstream(dir_ + "/ser2net.yaml")
        << "connection: &rfc\n"
        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfcPort_ << "\n"
        << connector << "  options:\n    kickolduser: true\n"
        << "connection: &raw\n"
        << "  accepter: tcp,127.0.0.1," << tcpPort_ << "\n"
        << connector << "  options:\n    kickolduser: true\n";
    start();
}

Ser2Net::~Ser2Net() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void Ser2Net::start() {
    if (pid_ > 0) return;
    if (::access(SER2NET_PATH, X_OK) != 0)
        throw std::runtime_error(SER2NET_PATH " is not installed (scripts/setup installs ser2net)");
    const std::string config = dir_ + "/ser2net.yaml";
    const std::string logFile = dir_ + "/ser2net.log";
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("cannot start ser2net");
    if (pid_ == 0) {
        FILE* out = std::freopen(logFile.c_str(), "a", stdout);
        if (out) ::dup2(::fileno(out), 2);
        ::execl(SER2NET_PATH, "ser2net", "-n", "-d", "-c", config.c_str(), "-P",
                (dir_ + "/ser2net.pid").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!(listening(rfcPort_) && listening(tcpPort_))) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > until) {
            stop();
            throw std::runtime_error("ser2net did not start listening:\n" + log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void Ser2Net::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string Ser2Net::log() const {
    std::ostringstream text;
    text << std::ifstream(dir_ + "/ser2net.log").rdbuf();
    return text.str();
}

}  // namespace kvtest
