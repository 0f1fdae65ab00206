#include "LoopbackServer.h"

#include <stdexcept>

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
using Length = int;
namespace {
const int kWinsock = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data);
}();
void closeSocket(Socket s) {
    ::closesocket(s);
}
}  // namespace
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
using Length = socklen_t;
namespace {
constexpr Socket INVALID_SOCKET = -1;
void closeSocket(Socket s) {
    ::close(s);
}
}  // namespace
#endif

namespace kvtest {
namespace {

// A socket bound to 127.0.0.1 on a port the system picks, and that port.
Socket boundSocket(int& port) {
    const Socket s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Length size = sizeof address;
    if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (s != INVALID_SOCKET) closeSocket(s);
        throw std::runtime_error("no free TCP port on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return s;
}

// True when the socket is readable within the time-out.
bool readable(Socket s, std::chrono::milliseconds timeout) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{static_cast<long>(timeout.count() / 1000),
               static_cast<long>(timeout.count() % 1000 * 1000)};
    return ::select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &tv) > 0;
}

}  // namespace

std::vector<std::uint8_t> LoopbackConnection::read(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!closed() && std::chrono::steady_clock::now() < deadline) {
        if (!readable(static_cast<Socket>(socket_), std::chrono::milliseconds(20))) continue;
        std::vector<std::uint8_t> bytes(4096);
        const int n = static_cast<int>(::recv(static_cast<Socket>(socket_),
                                              reinterpret_cast<char*>(bytes.data()),
                                              static_cast<int>(bytes.size()), 0));
        if (n <= 0) {
            closed_ = true;
            break;
        }
        bytes.resize(static_cast<std::size_t>(n));
        return bytes;
    }
    return {};
}

bool LoopbackConnection::write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (!closed_ && done < bytes.size()) {
        const int n = static_cast<int>(::send(static_cast<Socket>(socket_),
                                              reinterpret_cast<const char*>(bytes.data() + done),
                                              static_cast<int>(bytes.size() - done), 0));
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return done == bytes.size();
}

void LoopbackConnection::close() {
    if (socket_ != static_cast<std::intptr_t>(INVALID_SOCKET))
        closeSocket(static_cast<Socket>(socket_));
    socket_ = static_cast<std::intptr_t>(INVALID_SOCKET);
    closed_ = true;
}

LoopbackServer::LoopbackServer(Script script) {
    const Socket s = boundSocket(port_);
    listener_ = static_cast<std::intptr_t>(s);
    if (::listen(s, 1) != 0) {
        closeSocket(s);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    thread_ = std::thread([this, script = std::move(script)] { run(script); });
}

LoopbackServer::~LoopbackServer() {
    stop_ = true;
    thread_.join();
    closeSocket(static_cast<Socket>(listener_));
}

void LoopbackServer::run(Script script) {
    const Socket listener = static_cast<Socket>(listener_);
    while (!stop_ && !readable(listener, std::chrono::milliseconds(20))) {
    }
    if (stop_) return;
    const Socket s = ::accept(listener, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    LoopbackConnection connection(static_cast<std::intptr_t>(s), stop_);
    script(connection);
}

int LoopbackServer::freePort() {
    int port = 0;
    closeSocket(boundSocket(port));
    return port;
}

}  // namespace kvtest
