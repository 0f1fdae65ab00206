// kv480t ports [--json]: the serial ports present, with adapter, serial number and the
// usb-serial name that opens the port wherever the adapter is plugged in.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "ports/PortName.h"
#include "ports/SerialPorts.h"

namespace kvcli {

namespace {

struct PortsOptions {
    bool json = false;
};

int listPorts(const PortsOptions& options) {
    const kvports::PortListing listing = kvports::listSerialPorts();
    if (!listing.note.empty()) std::cerr << "kv480t: " << listing.note << '\n';
    if (options.json) {
        nlohmann::ordered_json ports = nlohmann::ordered_json::array();
        for (const kvports::SerialPortInfo& p : listing.ports) {
            nlohmann::ordered_json item;
            item["path"] = p.path;
            item["description"] = p.description;
            item["manufacturer"] = p.manufacturer;
            item["product"] = p.product;
            item["serial_number"] = p.serialNumber;
            item["usb_serial"] = kvports::usbSerialNameFor(listing, p);
            item["vendor_id"] = p.vendorId;
            item["product_id"] = p.productId;
            item["by_id"] = p.byId;
            ports.push_back(std::move(item));
        }
        std::cout << ports.dump(2) << '\n';
        return kExitDone;
    }
    for (const kvports::SerialPortInfo& p : listing.ports) {
        std::string line = p.path;
        if (!p.description.empty()) line += "\t" + p.description;
        if (!p.serialNumber.empty()) line += "\tserial " + p.serialNumber;
        if (const std::string name = kvports::usbSerialNameFor(listing, p); !name.empty())
            line += "\t" + name;
        if (!p.byId.empty()) line += "\t" + p.byId;
        std::cout << line << '\n';
    }
    return kExitDone;
}

}  // namespace

void addPortsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PortsOptions>();
    CLI::App* command = app.add_subcommand("ports", "List the serial ports present.");
    addJson(command, options->json, "print the list as JSON");
    command->footer(kExitCodesHelp);
    command->callback([options, &exitCode] { exitCode = listPorts(*options); });
}

}  // namespace kvcli
