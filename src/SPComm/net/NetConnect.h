// What the POSIX and Winsock network back ends share to set up their socket: the port name
// checked and its host looked up, and the connect tried on each address in turn within one
// time-out, with the failures as ECommsError of their kind. A back end supplies the connect of
// one socket (net/NetCommPort.h's OpenNetPort uses both).
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "SPComm/ReadTimer.h"
#include "SPComm/net/NetPortName.h"

namespace spcomm::detail {

// The addresses of a network port's host, in the resolver's order.
struct TNetAddresses {
    TNetProtocol protocol = TNetProtocol::Tcp;
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> list{nullptr, nullptr};
};

// Checks the name and looks its host up (Windows: Winsock is started first, once for the
// process). Raises ECommsError "Error opening serial port" (not a network port name),
// "Cannot connect to network port" (Winsock would not start) and "Cannot resolve host name"
// (kind HostNotFound; getaddrinfo's EAI_* code, its errno for EAI_SYSTEM, or the Winsock
// error, with "HOST: " before the system's text).
TNetAddresses ResolveNetPort(const std::string& name);

// The outcome of connecting one socket: 0 (connected: the back end keeps the socket),
// kConnectCancelled (the open's cancel event was set), or the system's error (errno / Winsock),
// the time-out's code when the deadline passed.
inline constexpr int kConnectCancelled = -1;
using TConnectOne =
    std::function<int(const addrinfo& address, TReadTimer::Clock::time_point deadline)>;

// Tries the addresses in order until one connects, all of them within `timeout`. Raises
// ECommsError "Open cancelled" (kind Cancelled) or "Cannot connect to network port" (kind
// Refused, TimedOut with "no answer within N ms", or Other) when none did.
void ConnectFirst(const TNetAddresses& addresses, std::chrono::milliseconds timeout,
                  const TConnectOne& connectOne);

}  // namespace spcomm::detail
