#include "ports/WindowsDevices.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace kvports {

namespace {

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The four hex digits after `key` ("VID_"), upper case; empty when they are not there.
std::string hexAfter(const std::string& id, const std::string& key) {
    const std::size_t at = upper(id).find(key);
    if (at == std::string::npos || at + key.size() + 4 > id.size()) return {};
    std::string digits = upper(id.substr(at + key.size(), 4));
    const bool hex = std::all_of(digits.begin(), digits.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
    });
    return hex ? digits : std::string{};
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

UsbIds usbIdsFromInstanceId(const std::string& instanceId) {
    UsbIds ids;
    const std::vector<std::string> parts = split(instanceId, '\\');
    if (parts.empty()) return ids;
    const std::string bus = upper(parts[0]);
    if (bus == "FTDIBUS" && parts.size() >= 2) {
        // VID_0403+PID_6001+<serial><channel letter>
        const std::vector<std::string> fields = split(parts[1], '+');
        ids.vendorId = hexAfter(parts[1], "VID_");
        ids.productId = hexAfter(parts[1], "PID_");
        if (fields.size() >= 3 && fields[2].size() >= 2)
            ids.serialNumber = fields[2].substr(0, fields[2].size() - 1);
        return ids;
    }
    if (bus != "USB" || parts.size() < 2) return ids;
    ids.vendorId = hexAfter(parts[1], "VID_");
    ids.productId = hexAfter(parts[1], "PID_");
    // A device without a serial number gets an id Windows makes up, always with '&' in it.
    if (parts.size() >= 3 && !parts[2].empty() && parts[2].find('&') == std::string::npos)
        ids.serialNumber = parts[2];
    return ids;
}

std::vector<SerialPortInfo> mergeWindowsPorts(const std::vector<std::string>& deviceMapNames,
                                              const std::vector<WindowsPortDevice>& devices) {
    std::vector<SerialPortInfo> ports;
    const auto find = [&ports](const std::string& name) {
        return std::find_if(ports.begin(), ports.end(),
                            [&](const SerialPortInfo& p) { return upper(p.path) == upper(name); });
    };
    for (const WindowsPortDevice& device : devices) {
        if (device.portName.empty() || find(device.portName) != ports.end()) continue;
        SerialPortInfo port;
        port.path = device.portName;
        port.description = !device.description.empty() ? device.description : device.friendlyName;
        port.manufacturer = device.manufacturer;
        UsbIds ids = usbIdsFromInstanceId(device.instanceId);
        if (ids.vendorId.empty() || ids.serialNumber.empty()) {
            // An interface of a composite device: the ids and serial are the parent's.
            const UsbIds parent = usbIdsFromInstanceId(device.parentInstanceId);
            if (ids.vendorId.empty()) {
                ids.vendorId = parent.vendorId;
                ids.productId = parent.productId;
            }
            if (ids.serialNumber.empty() && ids.vendorId == parent.vendorId &&
                ids.productId == parent.productId)
                ids.serialNumber = parent.serialNumber;
        }
        port.vendorId = ids.vendorId;
        port.productId = ids.productId;
        port.serialNumber = ids.serialNumber;
        ports.push_back(std::move(port));
    }
    for (const std::string& name : deviceMapNames) {
        if (name.empty() || find(name) != ports.end()) continue;
        SerialPortInfo port;
        port.path = name;
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return naturalLess(upper(a.path), upper(b.path));
    });
    return ports;
}

}  // namespace kvports
