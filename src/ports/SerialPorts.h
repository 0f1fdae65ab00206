// The serial ports present on this machine, for port pickers and `kv480t ports`. No GUI
// toolkit and no port I/O: the ports are listed from what the system tells about its devices.
//
// Linux: /sys/class/tty, ttyUSB*, ttyACM* and ttyS* entries backed by a device (built-in
// ttyS ports only when the driver found a UART there), with the USB device's manufacturer,
// product, serial number and ids read from sysfs, and the /dev/serial/by-id link naming the
// port. Windows: the SERIALCOMM device map, described by SetupAPI (ports/WindowsDevices.h).
// Other systems: not implemented (an empty list and a note saying so).
#pragma once

#include <string>
#include <vector>

namespace kvports {

struct SerialPortInfo {
    std::string path;          // the name to open: "/dev/ttyUSB0"
    std::string description;   // the adapter in words: "FTDI FT232R USB UART", "16550A UART"
    std::string manufacturer;  // USB string descriptors, where known
    std::string product;
    std::string serialNumber;
    std::string vendorId;  // USB ids, four hex digits, where known
    std::string productId;
    std::string byId;  // a stable name of the port (/dev/serial/by-id/...), where there is one
};

struct PortListing {
    std::vector<SerialPortInfo> ports;  // sorted by path, numbers in numeric order
    std::string note;                   // set when the list cannot be complete on this system
};

PortListing listSerialPorts();

// Where the Linux enumeration looks; tests point it at a tree of their own.
struct SysfsLayout {
    std::string classTty = "/sys/class/tty";
    std::string devDir = "/dev";
    std::string byIdDir = "/dev/serial/by-id";
};

// The Linux enumeration over `layout` (on other systems: empty, with the note).
PortListing listSerialPorts(const SysfsLayout& layout);

// Orders "ttyS2" before "ttyS10": runs of digits compare by value.
bool naturalLess(const std::string& a, const std::string& b);

}  // namespace kvports
