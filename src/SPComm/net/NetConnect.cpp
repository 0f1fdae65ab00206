#include "SPComm/net/NetConnect.h"

#include <cerrno>
#include <optional>

#include "SPComm/CommPort.h"

namespace spcomm::detail {

namespace {

// The socket layer's numbers and their source on this system.
#if defined(_WIN32)
constexpr kvsys::ErrorSource kSocketSource = kvsys::ErrorSource::Winsock;
constexpr int kRefused = WSAECONNREFUSED;
constexpr int kTimedOut = WSAETIMEDOUT;
constexpr int kBadName = ERROR_BAD_PATHNAME;
constexpr kvsys::ErrorSource kBadNameSource = kvsys::ErrorSource::Win32;

// Winsock, started once for the process on the first network port.
int StartWinsock() {
    static const int error = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return error;
}
#else
constexpr kvsys::ErrorSource kSocketSource = kvsys::ErrorSource::Errno;
constexpr int kRefused = ECONNREFUSED;
constexpr int kTimedOut = ETIMEDOUT;
constexpr int kBadName = EINVAL;
constexpr kvsys::ErrorSource kBadNameSource = kvsys::ErrorSource::Errno;
#endif

constexpr const char* kCannotConnect = "Cannot connect to network port";

// The resolver's failure as a system number with its source.
kvsys::SystemError ResolverError(int result) {
#if defined(_WIN32)
    return {kvsys::ErrorSource::Winsock, result};
#else
    if (result == EAI_SYSTEM) return {kvsys::ErrorSource::Errno, errno};
    return {kvsys::ErrorSource::Resolver, result};
#endif
}

}  // namespace

TNetAddresses ResolveNetPort(const std::string& name) {
    const std::optional<TNetAddress> address = ParseNetworkPortName(name);
    if (!address) {
        throw ECommsError("Error opening serial port", TCommErrorKind::Other,
                          {kBadNameSource, kBadName}, NetworkPortNameProblem(name));
    }
#if defined(_WIN32)
    if (const int error = StartWinsock())
        throw ECommsError::FromSystem(kCannotConnect, TCommErrorKind::Other,
                                      {kSocketSource, error});
#endif
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (const int r = ::getaddrinfo(address->host.c_str(), address->port.c_str(), &hints, &list)) {
        const kvsys::SystemError error = ResolverError(r);
        throw ECommsError("Cannot resolve host name", TCommErrorKind::HostNotFound, error,
                          address->host + ": " + kvsys::errorText(error));
    }
    TNetAddresses addresses;
    addresses.protocol = address->protocol;
    addresses.list = {list, [](addrinfo* l) { ::freeaddrinfo(l); }};
    return addresses;
}

void ConnectFirst(const TNetAddresses& addresses, std::chrono::milliseconds timeout,
                  const TConnectOne& connectOne) {
    const auto deadline = TReadTimer::Clock::now() + timeout;
    int error = kTimedOut;
    for (const addrinfo* ai = addresses.list.get(); ai; ai = ai->ai_next) {
        error = connectOne(*ai, deadline);
        if (error == 0) return;
        if (error == kConnectCancelled) throw OpenCancelled();
        if (error == kTimedOut) break;  // the time-out is for all the addresses together
    }
    if (error == kTimedOut) {
        throw ECommsError(kCannotConnect, TCommErrorKind::TimedOut, {kSocketSource, error},
                          "no answer within " + std::to_string(timeout.count()) + " ms");
    }
    throw ECommsError::FromSystem(
        kCannotConnect, error == kRefused ? TCommErrorKind::Refused : TCommErrorKind::Other,
        {kSocketSource, error});
}

}  // namespace spcomm::detail
