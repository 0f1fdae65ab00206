// The Linux port enumeration over a sysfs tree built in a temporary folder, laid out as the
// kernel lays it out for a USB-serial adapter, a CDC-ACM device, built-in UARTs (one found,
// one not) and a virtual console; and port names given by an adapter's USB serial number,
// resolved over such a tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FakeSysfs.h"
#include "ports/PortName.h"
#include "ports/SerialPorts.h"

namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
protected:
    void write(const fs::path& file, const std::string& text) { sysfs_.write(file, text); }
    void tty(const std::string& name, const std::string& device) { sysfs_.tty(name, device); }

    kvtest::FakeSysfs sysfs_;
    const fs::path& root_ = sysfs_.root();
    kvports::SysfsLayout& layout_ = sysfs_.layout();
};

TEST_F(FakeSysfs, ListsPortsWithADeviceAndDescribesEach) {
    sysfs_.usbSerialPort("ttyUSB0", "1-1", "A50285BI");
    sysfs_.usbDevice("pci0/usb1/1-2", "", "", "");
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

// Three adapters with serial numbers (one in lower case, one with two ports), one without and
// a built-in port.
class UsbSerialNames : public FakeSysfs {
protected:
    void SetUp() override {
        sysfs_.usbSerialPort("ttyUSB0", "1-1", "FT123ABC");
        sysfs_.usbSerialPort("ttyUSB1", "1-2", "a50285bi");
        sysfs_.usbDevice("pci0/usb1/1-3", "FTDI", "Dual RS232", "FTDUAL");
        tty("ttyUSB2", "pci0/usb1/1-3/1-3:1.0/ttyUSB2");
        tty("ttyUSB3", "pci0/usb1/1-3/1-3:1.1/ttyUSB3");
        sysfs_.usbDevice("pci0/usb1/1-4", "", "", "");
        tty("ttyACM0", "pci0/usb1/1-4/1-4:1.0");
        tty("ttyS0", "pnp0/00:03/tty/ttyS0");
        write(fs::path(layout_.classTty) / "ttyS0/type", "4");
    }
};

TEST_F(UsbSerialNames, ResolveToThePortWithThatSerialNumberOrSayWhyNot) {
    using Problem = kvports::ResolvedPort::Problem;
    struct Case {
        std::string name;
        Problem problem;
        std::string path;  // the name to open
        std::string message;
    };
    const std::string no = "no USB adapter with serial number ";
    const std::vector<Case> cases = {
        {"usb-serial:FT123ABC", Problem::None, sysfs_.dev("ttyUSB0"), ""},
        {"usb-serial:ft123abc", Problem::None, sysfs_.dev("ttyUSB0"), ""},
        {"USB-Serial:A50285BI", Problem::None, sysfs_.dev("ttyUSB1"), ""},
        {"usb-serial:FT123AB", Problem::NotPlugged, "", no + "FT123AB is plugged in"},
        {"usb-serial:FT123ABCD", Problem::NotPlugged, "", no + "FT123ABCD is plugged in"},
        {"usb-serial:FTDUAL", Problem::Ambiguous, "",
         "2 ports have the USB serial number FTDUAL (" + sysfs_.dev("ttyUSB2") + ", " +
             sysfs_.dev("ttyUSB3") + "): name the one meant by its path"},
        {"usb-serial:", Problem::BadName, "",
         "no USB serial number after usb-serial: (give e.g. usb-serial:FT123ABC)"},
        // Every other name is opened as given.
        {"/dev/ttyUSB0", Problem::None, "/dev/ttyUSB0", ""},
        {"COM3", Problem::None, "COM3", ""},
        {"rfc2217://10.0.0.7:4001", Problem::None, "rfc2217://10.0.0.7:4001", ""},
        {"tcp://[::1]:4001", Problem::None, "tcp://[::1]:4001", ""},
        {"usb-serial", Problem::None, "usb-serial", ""},
    };
    for (const Case& c : cases) {
        const kvports::ResolvedPort resolved = kvports::resolvePortName(c.name, layout_);
        EXPECT_EQ(resolved.problem, c.problem) << c.name;
        EXPECT_EQ(static_cast<bool>(resolved), c.problem == Problem::None) << c.name;
        EXPECT_EQ(resolved.path, c.path) << c.name;
        EXPECT_EQ(resolved.message, c.message) << c.name;
    }
}

// Pulled and plugged back in, the adapter gets another ttyUSB name; its usb-serial name follows
// it. Pulled for good, the name says it is not plugged in.
TEST_F(UsbSerialNames, FollowTheAdapterToItsNewPortAndMissItOnceItIsGone) {
    fs::remove_all(fs::path(layout_.classTty) / "ttyUSB0");
    sysfs_.usbSerialPort("ttyUSB4", "1-5", "FT123ABC");
    EXPECT_EQ(kvports::resolvePortName("usb-serial:FT123ABC", layout_).path, sysfs_.dev("ttyUSB4"));
    fs::remove_all(fs::path(layout_.classTty) / "ttyUSB4");
    EXPECT_EQ(kvports::resolvePortName("usb-serial:FT123ABC", layout_).problem,
              kvports::ResolvedPort::Problem::NotPlugged);
}

TEST_F(UsbSerialNames, AreOfferedForPortsWhoseSerialNumberIsTheirsAlone) {
    const kvports::PortListing listing = kvports::listSerialPorts(layout_);
    std::vector<std::string> names;
    for (const kvports::SerialPortInfo& port : listing.ports)
        names.push_back(kvports::usbSerialNameFor(listing, port));
    // ttyACM0, ttyS0, ttyUSB0 .. ttyUSB3
    EXPECT_EQ(names, (std::vector<std::string>{"", "", "usb-serial:FT123ABC", "usb-serial:a50285bi",
                                               "", ""}));
    EXPECT_EQ(kvports::usbSerialNameProblem("usb-serial:FT123ABC"), "");
    EXPECT_EQ(kvports::usbSerialNameProblem("/dev/ttyUSB0"), "");
}

}  // namespace
