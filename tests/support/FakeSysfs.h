// A sysfs tree in a folder of the test's own, laid out as the kernel lays it out for serial
// ports (/sys/class/tty/NAME with its device link, the USB device's attributes above it, /dev
// and /dev/serial/by-id), for the suites of the Linux port listing and of port names resolved
// over it (kvports::SysfsLayout points there). POSIX only.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "FolderSnapshot.h"
#include "ports/SerialPorts.h"

namespace kvtest {

class FakeSysfs {
public:
    FakeSysfs() : folder_("kvports") {
        const std::filesystem::path& root = folder_.path();
        layout_.classTty = (root / "sys/class/tty").string();
        layout_.devDir = (root / "dev").string();
        layout_.byIdDir = (root / "dev/serial/by-id").string();
        std::filesystem::create_directories(layout_.classTty);
        std::filesystem::create_directories(layout_.byIdDir);
    }

    const std::filesystem::path& root() const { return folder_.path(); }
    const kvports::SysfsLayout& layout() const { return layout_; }
    kvports::SysfsLayout& layout() { return layout_; }
    // The device path a port NAME gets: DEV/NAME.
    std::string dev(const std::string& name) const { return layout_.devDir + "/" + name; }

    // A file with one line of text, its folders made.
    void write(const std::filesystem::path& file, const std::string& text) const {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    // /sys/class/tty/NAME with its device link pointing at `device` (relative to sys/devices;
    // none when empty), and DEV/NAME: a file, or a link to `node` (a real device to open).
    void tty(const std::string& name, const std::string& device, const std::string& node = {}) {
        namespace fs = std::filesystem;
        const fs::path entry = fs::path(layout_.classTty) / name;
        fs::create_directories(entry);
        if (!device.empty()) {
            fs::create_directories(root() / "sys/devices" / device);
            fs::create_directory_symlink(root() / "sys/devices" / device, entry / "device");
        }
        if (node.empty())
            write(dev(name), "");
        else
            fs::create_symlink(node, dev(name));
    }
    // A USB device at sys/devices/DIR (FTDI's ids) with the string descriptors given.
    void usbDevice(const std::string& dir, const std::string& manufacturer,
                   const std::string& product, const std::string& serial) const {
        const std::filesystem::path usb = root() / "sys/devices" / dir;
        write(usb / "idVendor", "0403");
        write(usb / "idProduct", "6001");
        if (!manufacturer.empty()) write(usb / "manufacturer", manufacturer);
        if (!product.empty()) write(usb / "product", product);
        if (!serial.empty()) write(usb / "serial", serial);
    }
    // An FTDI adapter with `serial` on bus port `busPort` ("1-1"), its port NAME (ttyUSBn).
    void usbSerialPort(const std::string& name, const std::string& busPort,
                       const std::string& serial, const std::string& node = {}) {
        const std::string usb = "pci0/usb1/" + busPort;
        usbDevice(usb, "FTDI", "FT232R USB UART", serial);
        tty(name, usb + "/" + busPort + ":1.0/" + name, node);
    }

private:
    TestFolder folder_;
    kvports::SysfsLayout layout_;
};

}  // namespace kvtest
