// The Windows port list's text handling: USB ids and serial numbers from device instance ids
// as the drivers in the field write them, and the merge of the device map with SetupAPI.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports/WindowsDevices.h"

namespace {

using kvports::usbIdsFromInstanceId;
using kvports::WindowsPortDevice;

TEST(WindowsPorts, InstanceIdsGiveIdsAndOnlyRealSerialNumbers) {
    struct Case {
        const char* id;
        const char* vendor;
        const char* product;
        const char* serial;
    };
    const Case cases[] = {
        // CDC-ACM device with a serial number.
        {"USB\\VID_2341&PID_0043\\75735323930351F0A1C1", "2341", "0043", "75735323930351F0A1C1"},
        // No serial number: Windows makes up an id with '&' in it.
        {"USB\\VID_1A86&PID_7523\\5&2C6BB4A&0&2", "1A86", "7523", ""},
        // FTDI's own bus: the channel letter follows the serial number.
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "0403", "6001", "A50285BI"},
        {"ftdibus\\vid_0403+pid_6010+FT4ABCDB\\0000", "0403", "6010", "FT4ABCD"},
        // Lower-case hex digits come out upper-case.
        {"usb\\vid_10c4&pid_ea60\\0001", "10C4", "EA60", "0001"},
        // Built-in UART, Bluetooth: no USB ids.
        {"ACPI\\PNP0501\\1", "", "", ""},
        {"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1C2B&0&0", "", "", ""},
        // Cut short or malformed: nothing made up, nothing read past the end.
        {"USB\\VID_12", "", "", ""},
        {"USB\\VID_12G4&PID_0001\\X", "", "0001", "X"},
        {"USB", "", "", ""},
        {"", "", "", ""},
        {"FTDIBUS\\VID_0403+PID_6001+A\\0000", "0403", "6001", ""},
    };
    for (const Case& c : cases) {
        const kvports::UsbIds ids = usbIdsFromInstanceId(c.id);
        EXPECT_EQ(ids.vendorId, c.vendor) << c.id;
        EXPECT_EQ(ids.productId, c.product) << c.id;
        EXPECT_EQ(ids.serialNumber, c.serial) << c.id;
    }
}

TEST(WindowsPorts, DeviceMapAndDevicesMergeIntoOneSortedList) {
    const std::vector<std::string> deviceMap = {"COM10", "com3", "COM1", "COM2", "CNCA0", ""};
    std::vector<WindowsPortDevice> devices(5);
    devices[0] = {"COM3",
                  "USB Serial Port",
                  "USB Serial Port (COM3)",
                  "FTDI",
                  "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000",
                  "USB\\VID_0403&PID_6001\\A50285BI"};
    // An interface of a composite device: ids and serial number are its parent's.
    devices[1] = {"COM10",
                  "",
                  "USB Serial Device (COM10)",
                  "Microsoft",
                  "USB\\VID_2E8A&PID_000A&MI_00\\6&1F2E3D&0&0000",
                  "USB\\VID_2E8A&PID_000A\\E66138"};
    // Listed twice (interface and class): kept once.
    devices[2] = devices[1];
    // Built-in port, not in the device map (a driver that did not announce it).
    devices[3] = {"COM4",
                  "Communications Port",
                  "Communications Port (COM4)",
                  "(Standard port types)",
                  "ACPI\\PNP0501\\1",
                  "ACPI\\PNP0A08\\0"};
    // A parent of another device does not lend its serial number.
    devices[4] = {"COM12",
                  "USB-SERIAL CH340",
                  "",
                  "wch.cn",
                  "USB\\VID_1A86&PID_7523\\5&2C&0&2",
                  "USB\\VID_05E3&PID_0610\\5&1A&0&9"};

    const std::vector<kvports::SerialPortInfo> ports =
        kvports::mergeWindowsPorts(deviceMap, devices);
    struct Expected {
        const char* path;
        const char* description;
        const char* manufacturer;
        const char* vendor;
        const char* serial;
    };
    const Expected expected[] = {
        {"CNCA0", "", "", "", ""},
        {"COM1", "", "", "", ""},
        {"COM2", "", "", "", ""},
        {"COM3", "USB Serial Port", "FTDI", "0403", "A50285BI"},
        {"COM4", "Communications Port", "(Standard port types)", "", ""},
        {"COM10", "USB Serial Device (COM10)", "Microsoft", "2E8A", "E66138"},
        {"COM12", "USB-SERIAL CH340", "wch.cn", "1A86", ""},
    };
    ASSERT_EQ(ports.size(), std::size(expected));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].path, expected[i].path);
        EXPECT_EQ(ports[i].description, expected[i].description) << ports[i].path;
        EXPECT_EQ(ports[i].manufacturer, expected[i].manufacturer) << ports[i].path;
        EXPECT_EQ(ports[i].vendorId, expected[i].vendor) << ports[i].path;
        EXPECT_EQ(ports[i].serialNumber, expected[i].serial) << ports[i].path;
        EXPECT_TRUE(ports[i].byId.empty());
    }
    EXPECT_TRUE(kvports::mergeWindowsPorts({}, {}).empty());
}

}  // namespace
