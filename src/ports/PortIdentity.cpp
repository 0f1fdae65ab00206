#include "ports/PortIdentity.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace kvports {

bool sameAdapter(const PortIdentity& a, const PortIdentity& b) {
    bool shared = false;
    const auto compare = [&shared](const std::string& x, const std::string& y) {
        if (x.empty() || y.empty()) return true;
        shared = true;
        return x == y;
    };
    // Both marks are checked: the two ports of a dual adapter share the serial number and
    // differ only in the by-id link's interface part.
    const bool byIdAgrees = compare(a.byIdPath, b.byIdPath);
    const bool serialAgrees = compare(a.serialNumber, b.serialNumber);
    return shared && byIdAgrees && serialAgrees;
}

std::string stableLinkFor(const std::string& devicePath, const std::string& byIdDir) {
    std::error_code ec;
    const fs::path device = fs::weakly_canonical(devicePath, ec);
    if (ec) return {};
    std::vector<fs::path> links;
    for (const fs::directory_entry& entry : fs::directory_iterator(byIdDir, ec))
        links.push_back(entry.path());
    std::sort(links.begin(), links.end());  // the same answer every time
    for (const fs::path& link : links) {
        const fs::path target = fs::canonical(link, ec);
        if (!ec && target == device) return link.string();
    }
    return {};
}

}  // namespace kvports
