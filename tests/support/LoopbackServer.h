// A scripted TCP server on 127.0.0.1 for one connection, with portable sockets (POSIX and
// Winsock): the suites that test network ports play the serial device server with it. The
// script runs on the server's own thread once a client connects.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

class LoopbackConnection {
public:
    explicit LoopbackConnection(std::intptr_t socket, const std::atomic<bool>& stop)
        : socket_(socket), stop_(stop) {}
    // What came within `timeout` (at least one byte); empty when nothing came, the client
    // closed or the server is stopping. closed() tells the last two apart.
    std::vector<std::uint8_t> read(std::chrono::milliseconds timeout);
    bool write(const std::vector<std::uint8_t>& bytes);
    bool closed() const { return closed_ || stop_; }
    void close();  // drops the connection, as a gateway that restarts
    ~LoopbackConnection() { close(); }

private:
    std::intptr_t socket_;
    const std::atomic<bool>& stop_;
    bool closed_ = false;
};

class LoopbackServer {
public:
    using Script = std::function<void(LoopbackConnection&)>;
    explicit LoopbackServer(Script script);  // listens at once; throws when it cannot
    ~LoopbackServer();                       // stops the script (its reads end) and joins
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& scheme) const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }

    // A 127.0.0.1 port on which nothing listens right now.
    static int freePort();

private:
    void run(Script script);

    std::intptr_t listener_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A serial device server that takes the connection and never answers: an open of its
// rfc2217:// port waits for the line settings to be confirmed until its time-out, until it is
// cancelled, or until the connection closes. The flags are set on the server's thread.
struct SilentGateway {
    std::atomic<bool> greeted{false};       // the client sent something (its telnet greeting)
    std::atomic<bool> clientClosed{false};  // the client closed the connection
    LoopbackServer server{[this](LoopbackConnection& link) {
        while (!link.closed())
            if (!link.read(std::chrono::milliseconds(50)).empty()) greeted = true;
        clientClosed = true;  // (or the server stopping: only ever read before that)
    }};
    std::string url() const { return server.url("rfc2217"); }
    // Waits (bounded) until `flag` (greeted, clientClosed) holds; returns it.
    static bool waitFor(const std::atomic<bool>& flag,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!flag && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return flag;
    }
};

}  // namespace kvtest
