// The Linux port enumeration over a sysfs tree built in a temporary folder, laid out as the
// kernel lays it out for a USB-serial adapter, a CDC-ACM device, built-in UARTs (one found,
// one not) and a virtual console.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "ports/SerialPorts.h"

namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "kvports.XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        root_ = templ;
        layout_.classTty = (root_ / "sys/class/tty").string();
        layout_.devDir = (root_ / "dev").string();
        layout_.byIdDir = (root_ / "dev/serial/by-id").string();
        fs::create_directories(layout_.classTty);
        fs::create_directories(layout_.byIdDir);
    }
    void TearDown() override { fs::remove_all(root_); }

    void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // /sys/class/tty/NAME with its device link pointing at `device` (relative to sys/devices).
    void tty(const std::string& name, const std::string& device) {
        const fs::path entry = fs::path(layout_.classTty) / name;
        fs::create_directories(entry);
        if (!device.empty()) {
            fs::create_directories(root_ / "sys/devices" / device);
            fs::create_directory_symlink(root_ / "sys/devices" / device, entry / "device");
        }
        write(fs::path(layout_.devDir) / name, "");
    }
    void usbDevice(const std::string& dir, const std::string& manufacturer,
                   const std::string& product, const std::string& serial) {
        const fs::path usb = root_ / "sys/devices" / dir;
        write(usb / "idVendor", "0403");
        write(usb / "idProduct", "6001");
        if (!manufacturer.empty()) write(usb / "manufacturer", manufacturer);
        if (!product.empty()) write(usb / "product", product);
        if (!serial.empty()) write(usb / "serial", serial);
    }

    fs::path root_;
    kvports::SysfsLayout layout_;
};

TEST_F(FakeSysfs, ListsPortsWithADeviceAndDescribesEach) {
    usbDevice("pci0/usb1/1-1", "FTDI", "FT232R USB UART", "A50285BI");
    tty("ttyUSB0", "pci0/usb1/1-1/1-1:1.0/ttyUSB0");
    usbDevice("pci0/usb1/1-2", "", "", "");
    write(root_ / "sys/devices/pci0/usb1/1-2/1-2:1.0/interface", "CDC Abstract Control Model");
    tty("ttyACM1", "pci0/usb1/1-2/1-2:1.0");
    tty("ttyS10", "platform/serial8250/tty/ttyS10");
    write(fs::path(layout_.classTty) / "ttyS10/type", "4");
    tty("ttyS2", "pnp0/00:03/tty/ttyS2");
    write(fs::path(layout_.classTty) / "ttyS2/type", "4");
    tty("ttyS3", "platform/serial8250/tty/ttyS3");  // registered, no UART answered
    write(fs::path(layout_.classTty) / "ttyS3/type", "0");
    tty("tty1", "");     // virtual console
    tty("ttyUSB7", "");  // no device link
    tty("console", "platform/console");
    fs::create_symlink("../../ttyUSB0", fs::path(layout_.byIdDir) / "usb-FTDI_FT232R-if00-port0");

    const kvports::PortListing listing = kvports::listSerialPorts(layout_);
    EXPECT_TRUE(listing.note.empty());
    const std::string dev = layout_.devDir + "/";
    struct Expected {
        std::string path, description, serial, vendor, byId;
    };
    const std::vector<Expected> expected = {
        {dev + "ttyACM1", "CDC Abstract Control Model", "", "0403", ""},
        {dev + "ttyS2", "16550A UART", "", "", ""},
        {dev + "ttyS10", "16550A UART", "", "", ""},
        {dev + "ttyUSB0", "FTDI FT232R USB UART", "A50285BI", "0403",
         layout_.byIdDir + "/usb-FTDI_FT232R-if00-port0"},
    };
    ASSERT_EQ(listing.ports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const kvports::SerialPortInfo& p = listing.ports[i];
        EXPECT_EQ(p.path, expected[i].path);
        EXPECT_EQ(p.description, expected[i].description) << p.path;
        EXPECT_EQ(p.serialNumber, expected[i].serial) << p.path;
        EXPECT_EQ(p.vendorId, expected[i].vendor) << p.path;
        EXPECT_EQ(p.byId, expected[i].byId) << p.path;
    }
}

TEST_F(FakeSysfs, NoTreeGivesAnEmptyList) {
    layout_.classTty = (root_ / "missing").string();
    layout_.byIdDir = (root_ / "missing-too").string();
    EXPECT_TRUE(kvports::listSerialPorts(layout_).ports.empty());
}

}  // namespace
