// Linux: serial ports from sysfs and /dev/serial/by-id, without udev.
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <system_error>
#include <vector>

#include "ports/SerialPorts.h"

namespace kvports {

namespace {

namespace fs = std::filesystem;

bool startsWithDigits(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// The first line of a sysfs attribute, without its line end; empty when there is none.
std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

// The serial core's port types (include/uapi/linux/serial_core.h) that built-in ports have.
std::string uartName(const std::string& type) {
    static const std::map<std::string, std::string_view> kNames = {
        {"1", "8250"},       {"2", "16450"},   {"3", "16550"},     {"4", "16550A"},
        {"6", "16650"},      {"7", "16650V2"}, {"8", "16750"},     {"10", "16C950"},
        {"11", "16654"},     {"12", "16850"},  {"13", "RSA"},      {"16", "XScale"},
        {"18", "U6_16550A"}, {"19", "TEGRA"},  {"20", "XR17D15X"}, {"21", "LPC3220"},
    };
    const auto it = kNames.find(type);
    return it != kNames.end() ? std::string(it->second) : "type " + type;
}

// The USB device above a tty's device directory: the nearest ancestor with an idVendor
// attribute (ttyUSB: two levels up, ttyACM: one). Empty when it is not a USB port.
fs::path usbDevice(const fs::path& device, fs::path* interface) {
    fs::path dir = device;
    fs::path below;
    for (int level = 0; level < 4 && dir.has_relative_path(); ++level) {
        std::error_code ec;
        if (fs::exists(dir / "idVendor", ec)) {
            if (interface) *interface = below;
            return dir;
        }
        below = dir;
        dir = dir.parent_path();
    }
    return {};
}

std::string joinWords(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    if (b.starts_with(a)) return b;  // "FTDI" and "FTDI FT232R": said once
    return a + " " + b;
}

std::map<std::string, std::string> byIdLinks(const std::string& dir) {
    std::map<std::string, std::string> links;  // tty name -> link path
    std::error_code ec;
    std::vector<fs::path> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        entries.push_back(e.path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& link : entries) {
        const fs::path target = fs::canonical(link, ec);
        if (ec) continue;
        links.emplace(target.filename().string(), link.string());  // first name wins
    }
    return links;
}

}  // namespace

PortListing listSerialPorts(const SysfsLayout& layout) {
    PortListing listing;
    const std::map<std::string, std::string> links = byIdLinks(layout.byIdDir);
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(layout.classTty, ec)) {
        const std::string name = entry.path().filename().string();
        const bool builtIn = startsWithDigits(name, "ttyS");
        if (!builtIn && !startsWithDigits(name, "ttyUSB") && !startsWithDigits(name, "ttyACM"))
            continue;
        std::error_code linkError;
        const fs::path device = fs::canonical(entry.path() / "device", linkError);
        if (linkError) continue;  // a virtual terminal: no device behind it

        SerialPortInfo port;
        port.path = (fs::path(layout.devDir) / name).string();
        fs::path interface;
        const fs::path usb = usbDevice(device, &interface);
        if (!usb.empty()) {
            port.manufacturer = attribute(usb / "manufacturer");
            port.product = attribute(usb / "product");
            port.serialNumber = attribute(usb / "serial");
            port.vendorId = attribute(usb / "idVendor");
            port.productId = attribute(usb / "idProduct");
            port.description = joinWords(port.manufacturer, port.product);
            if (port.description.empty() && !interface.empty())
                port.description = attribute(interface / "interface");
            if (port.description.empty())
                port.description = "USB serial adapter " + port.vendorId + ":" + port.productId;
        } else if (builtIn) {
            // The 8250 driver registers ttyS0..N whether or not a UART answers there; type 0
            // (unknown) means none did.
            const std::string type = attribute(entry.path() / "type");
            if (type == "0") continue;
            port.description = type.empty() ? "serial port" : uartName(type) + " UART";
        } else {
            port.description = "serial port";
        }
        if (const auto it = links.find(name); it != links.end()) port.byId = it->second;
        listing.ports.push_back(std::move(port));
    }
    std::sort(listing.ports.begin(), listing.ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) {
                  return naturalLess(a.path, b.path);
              });
    return listing;
}

}  // namespace kvports
