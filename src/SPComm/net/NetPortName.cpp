#include "SPComm/net/NetPortName.h"

#include <string_view>

namespace spcomm {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

constexpr std::string_view kRfc2217 = "rfc2217://";
constexpr std::string_view kTcp = "tcp://";

}  // namespace

bool IsNetworkPortName(const std::string& name) {
    return startsWithNoCase(name, kRfc2217) || startsWithNoCase(name, kTcp);
}

std::optional<TNetAddress> ParseNetworkPortName(const std::string& name) {
    TNetAddress address;
    std::string_view rest = name;
    if (startsWithNoCase(rest, kRfc2217)) {
        address.protocol = TNetProtocol::Rfc2217;
        rest.remove_prefix(kRfc2217.size());
    } else if (startsWithNoCase(rest, kTcp)) {
        rest.remove_prefix(kTcp.size());
    } else {
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    std::size_t colon;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        address.host = std::string(rest.substr(1, close - 1));
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string_view::npos) return std::nullopt;
        address.host = std::string(rest.substr(0, colon));
        // An IPv6 address needs its brackets: "::1:4001" is ambiguous.
        if (address.host.find(':') != std::string::npos) return std::nullopt;
    }
    const std::string_view port = rest.substr(colon + 1);
    if (address.host.empty() || address.host.find_first_of("/@ ") != std::string::npos ||
        port.empty() || port.size() > 5 || port.front() == '0' ||
        port.find_first_not_of("0123456789") != std::string_view::npos ||
        std::stoul(std::string(port)) > 65535)
        return std::nullopt;
    address.port = std::string(port);
    return address;
}

std::string NetworkPortNameProblem(const std::string& name) {
    if (!IsNetworkPortName(name) || ParseNetworkPortName(name)) return {};
    std::string_view rest = name;
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    const std::size_t colon = rest.rfind(':');
    const std::string_view port = rest.substr(colon + 1);
    const bool digits =
        !port.empty() && port.find_first_not_of("0123456789") == std::string_view::npos;
    const bool outOfRange =
        digits && (port.size() > 5 || port.front() == '0' || std::stoul(std::string(port)) > 65535);
    if (outOfRange && rest.substr(0, colon).find("://") + 3 < colon)
        return "not a network port: the port must be 1 to 65535 (" + std::string(port) + " given)";
    return "not a network port: give rfc2217://HOST:PORT or tcp://HOST:PORT";
}

}  // namespace spcomm
