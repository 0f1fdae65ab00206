// What tells one serial adapter from another, independent of the name the system gave its
// port this time. No GUI toolkit.
//
// A name ("COM4", "/dev/ttyUSB0") is handed to whatever adapter is plugged in next, so it
// proves nothing. An adapter is recognised again by its USB serial number, or by its stable
// link under /dev/serial/by-id (which names maker, product, serial number and interface).
#pragma once

#include <string>

namespace kvports {

struct PortIdentity {
    std::string path;          // the name to open now: "/dev/ttyUSB0", "COM4"
    std::string byIdPath;      // "/dev/serial/by-id/usb-FTDI_..._A1B2C3-if00-port0", or ""
    std::string serialNumber;  // the adapter's USB serial number, or ""
};

// True when `a` and `b` are the same adapter: every mark that both know (by-id path, serial
// number) is equal, and they share at least one. The paths are never compared.
bool sameAdapter(const PortIdentity& a, const PortIdentity& b);

// The link in `byIdDir` that resolves to `devicePath`, or "" when there is none.
std::string stableLinkFor(const std::string& devicePath,
                          const std::string& byIdDir = "/dev/serial/by-id");

}  // namespace kvports
