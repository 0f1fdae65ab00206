// Systems with neither the Linux nor the Windows enumeration.
#include "ports/SerialPorts.h"

namespace kvports {

PortListing listSerialPorts(const SysfsLayout&) {
    PortListing listing;
    listing.note =
        "listing the serial ports is not implemented on this system; give the port by name "
        "(e.g. COM3)";
    return listing;
}

}  // namespace kvports
