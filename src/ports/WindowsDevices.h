// What Windows tells about its serial ports, reduced to port entries. The Win32 calls live in
// win32/; these parts are plain text handling, so they are built and tested everywhere.
#pragma once

#include <string>
#include <vector>

#include "ports/SerialPorts.h"

namespace kvports {

// One device of the Ports class (or with the COM-port interface), as SetupAPI reports it.
struct WindowsPortDevice {
    std::string portName;          // "PortName" under the device's key: "COM4"
    std::string description;       // SPDRP_DEVICEDESC: "USB Serial Port"
    std::string friendlyName;      // SPDRP_FRIENDLYNAME: "USB Serial Port (COM4)"
    std::string manufacturer;      // SPDRP_MFG: "FTDI"
    std::string instanceId;        // "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000"
    std::string parentInstanceId;  // the USB device above an interface, where there is one
};

struct UsbIds {
    std::string vendorId;  // four upper-case hex digits, or empty
    std::string productId;
    std::string serialNumber;  // empty where Windows made the id up
};

// The USB ids and serial number in a device instance id:
//   USB\VID_2341&PID_0043\75735323930351F0A1C1   (serial after the second backslash)
//   USB\VID_1A86&PID_7523\5&2C6BB4A&0&2          (no serial: Windows' own "&" id)
//   FTDIBUS\VID_0403+PID_6001+A50285BIA\0000     (serial with the channel letter appended)
UsbIds usbIdsFromInstanceId(const std::string& instanceId);

// The port list from the device map's names ("COM3", ...) and SetupAPI's devices: every name in
// either, once (names compared without regard to case), described by its device where there is
// one; sorted with naturalLess. Names that are not "COM<n>" are kept as given.
std::vector<SerialPortInfo> mergeWindowsPorts(const std::vector<std::string>& deviceMapNames,
                                              const std::vector<WindowsPortDevice>& devices);

}  // namespace kvports
