// Port names that name an adapter instead of a device: "usb-serial:SERIAL" is the port of the
// USB serial adapter whose serial number is SERIAL (as SerialPortInfo::serialNumber reads it:
// Linux the USB device's "serial" in sysfs, Windows the serial in the device's instance id).
// Such a name survives pulling the adapter and plugging it back in, when the system may hand
// it another device name (ttyUSB0 becoming ttyUSB1, COM4 becoming COM7): it is resolved to the
// device present at the moment of each open. Serial numbers are compared without regard to
// ASCII case (Windows gives instance ids in upper case, the adapter may say lower case). No
// GUI toolkit, no port I/O.
//
// One serial number on several ports (a multi-port adapter's interfaces share the USB device's
// number) names none of them: the name is refused, naming the ports, and the user names the
// one meant by its path.
#pragma once

#include <string>
#include <string_view>

#include "ports/SerialPorts.h"

namespace kvports {

inline constexpr std::string_view kUsbSerialPrefix = "usb-serial:";

// True when `name` starts with "usb-serial:" (the prefix in any case).
bool isUsbSerialName(const std::string& name);

// "usb-serial:" followed by `serialNumber`.
std::string usbSerialName(const std::string& serialNumber);

// Why `name` cannot name an adapter: "no USB serial number after usb-serial: (give e.g.
// usb-serial:FT123ABC)". Empty for a well-formed usb-serial name and for every other name.
std::string usbSerialNameProblem(const std::string& name);

struct ResolvedPort {
    enum class Problem {
        None,        // `path` is the name to open
        BadName,     // no serial number after the prefix
        NotPlugged,  // no port present has the serial number
        Ambiguous,   // several ports present have it
    };
    Problem problem = Problem::None;
    std::string path;     // the name to open: the device, or `name` itself when it is no
                          // usb-serial name (device paths, COMn, network ports)
    std::string message;  // why not, naming the serial number (and the ports when several)

    explicit operator bool() const { return problem == Problem::None; }
};

// The name to open for `name` among the ports of `present`. Names that are not usb-serial
// names come back as they are.
ResolvedPort resolvePortName(const std::string& name, const PortListing& present);
// The same over the ports present now (on Linux as listed over `layout`); the ports are only
// listed for a usb-serial name.
ResolvedPort resolvePortName(const std::string& name, const SysfsLayout& layout = {});

// The usb-serial name that opens `port` of `listing`: empty when the port has no serial number
// or another port of the listing has the same (the name would tell neither).
std::string usbSerialNameFor(const PortListing& listing, const SerialPortInfo& port);

}  // namespace kvports
