#include "ports/PortName.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <vector>

namespace kvports {

namespace {

bool sameSerial(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string serialOf(const std::string& name) {
    return name.substr(kUsbSerialPrefix.size());
}

}  // namespace

bool isUsbSerialName(const std::string& name) {
    return name.size() >= kUsbSerialPrefix.size() &&
           sameSerial(std::string_view(name).substr(0, kUsbSerialPrefix.size()), kUsbSerialPrefix);
}

std::string usbSerialName(const std::string& serialNumber) {
    return std::string(kUsbSerialPrefix) + serialNumber;
}

std::string usbSerialNameProblem(const std::string& name) {
    if (!isUsbSerialName(name) || !serialOf(name).empty()) return {};
    return "no USB serial number after " + std::string(kUsbSerialPrefix) +
           " (give e.g. usb-serial:FT123ABC)";
}

ResolvedPort resolvePortName(const std::string& name, const PortListing& present) {
    if (!isUsbSerialName(name)) return {ResolvedPort::Problem::None, name, {}};
    if (std::string problem = usbSerialNameProblem(name); !problem.empty())
        return {ResolvedPort::Problem::BadName, {}, std::move(problem)};
    const std::string serial = serialOf(name);
    std::vector<std::string> paths;
    for (const SerialPortInfo& port : present.ports)
        if (sameSerial(port.serialNumber, serial)) paths.push_back(port.path);
    if (paths.empty())
        return {ResolvedPort::Problem::NotPlugged,
                {},
                "no USB adapter with serial number " + serial + " is plugged in"};
    if (paths.size() > 1) {
        std::string list;
        for (const std::string& path : paths) list += (list.empty() ? "" : ", ") + path;
        return {ResolvedPort::Problem::Ambiguous,
                {},
                std::to_string(paths.size()) + " ports have the USB serial number " + serial +
                    " (" + list + "): name the one meant by its path"};
    }
    return {ResolvedPort::Problem::None, paths.front(), {}};
}

ResolvedPort resolvePortName(const std::string& name, const SysfsLayout& layout) {
    if (!isUsbSerialName(name)) return {ResolvedPort::Problem::None, name, {}};
    return resolvePortName(name, listSerialPorts(layout));
}

std::string usbSerialNameFor(const PortListing& listing, const SerialPortInfo& port) {
    if (port.serialNumber.empty()) return {};
    const auto sharing = std::count_if(
        listing.ports.begin(), listing.ports.end(),
        [&port](const SerialPortInfo& p) { return sameSerial(p.serialNumber, port.serialNumber); });
    return sharing == 1 ? usbSerialName(port.serialNumber) : std::string{};
}

}  // namespace kvports
