// Network port names: "rfc2217://HOST:PORT" (a serial device server speaking the telnet
// COM-PORT option, RFC 2217) and "tcp://HOST:PORT" (bytes as they are, the server's own line
// settings apply). HOST is a host name, an IPv4 address or an IPv6 address in brackets
// ("rfc2217://[::1]:4001"); PORT is 1..65535. The scheme is matched in any case.
#pragma once

#include <optional>
#include <string>

namespace spcomm {

enum class TNetProtocol { Rfc2217, Tcp };

struct TNetAddress {
    TNetProtocol protocol = TNetProtocol::Tcp;
    std::string host;  // without the brackets of an IPv6 address
    std::string port;  // decimal, as given
};

// True when `name` starts with one of the two schemes: such a name is opened as a network
// port (and refused when the rest does not parse), never as a device.
bool IsNetworkPortName(const std::string& name);

// The address for a well-formed network port name; none otherwise.
std::optional<TNetAddress> ParseNetworkPortName(const std::string& name);

// Why a network port name does not parse, naming what was given: "not a network port: the
// port must be 1 to 65535 (99999 given)", "not a network port: give rfc2217://HOST:PORT or
// tcp://HOST:PORT". Empty for a well-formed one and for a name that is no network port name.
std::string NetworkPortNameProblem(const std::string& name);

}  // namespace spcomm
