// kv480t: the KV480T-R-2 collector's requests from the command line.
//
//   kv480t ports [--json]
//   kv480t read  --port PORT [--json] [--timeout-ms N]
//   kv480t test  --port PORT [--json] [--timeout-ms N]
//   kv480t query --port PORT [--json] [--timeout-ms N]
//   kv480t reset --port PORT --yes [--json] [--timeout-ms N]
//
// Every command that talks to the collector takes --log FILE: the line's traffic, row by row.
//
// Results go to stdout; errors to stderr as one line "kv480t: PORT: cause"; the exit code
// says what happened (Text.h).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Text.h"
#include "cli/TrafficLogFile.h"
#include "client/Client.h"
#include "ports/SerialPorts.h"

#ifndef KV480T_VERSION
#define KV480T_VERSION "unknown"
#endif

namespace {

using kvclient::Client;
using kvclient::Result;
using kvclient::Status;
using nlohmann::ordered_json;

struct Options {
    std::string port;
    int timeoutMs = static_cast<int>(Client::kDefaultTimeout.count());
    bool json = false;
    bool yes = false;
    std::string log;  // --log FILE: the line's traffic
};

void printJson(const ordered_json& value) {
    std::cout << value.dump(2) << '\n';
}

// One line on stderr naming the port and the cause; the exit code for the result.
int reportFailure(const std::string& port, const Result& result) {
    std::string cause = kvcli::printable(result.reason);
    if (result.status == Status::NotUnderstood) cause = "answer not understood: " + cause;
    std::cerr << "kv480t: " << port << ": " << cause << '\n';
    return kvcli::exitCodeFor(result.status);
}

int listPorts(const Options& options) {
    const kvports::PortListing listing = kvports::listSerialPorts();
    if (!listing.note.empty()) std::cerr << "kv480t: " << listing.note << '\n';
    if (options.json) {
        ordered_json ports = ordered_json::array();
        for (const kvports::SerialPortInfo& p : listing.ports) {
            ordered_json item;
            item["path"] = p.path;
            item["description"] = p.description;
            item["manufacturer"] = p.manufacturer;
            item["product"] = p.product;
            item["serial_number"] = p.serialNumber;
            item["vendor_id"] = p.vendorId;
            item["product_id"] = p.productId;
            item["by_id"] = p.byId;
            ports.push_back(std::move(item));
        }
        printJson(ports);
        return kvcli::kExitDone;
    }
    for (const kvports::SerialPortInfo& p : listing.ports) {
        std::string line = p.path;
        if (!p.description.empty()) line += "\t" + p.description;
        if (!p.serialNumber.empty()) line += "\tserial " + p.serialNumber;
        if (!p.byId.empty()) line += "\t" + p.byId;
        std::cout << line << '\n';
    }
    return kvcli::kExitDone;
}

enum class Request { Read, Test, Query, Reset };

int runRequest(Request request, const Options& options) {
    std::unique_ptr<kvcli::TrafficLogFile> log;  // outlives the client, which logs its close
    if (!options.log.empty()) {
        log = std::make_unique<kvcli::TrafficLogFile>(options.log);
        if (!log->good()) {
            std::cerr << "kv480t: " << options.log << ": cannot write the log file\n";
            return kvcli::kExitUsage;
        }
    }
    Client client;
    if (log) log->attach(client);
    if (const Result opened = client.open(options.port); !opened.done())
        return reportFailure(options.port, opened);
    const kvclient::Millis timeout{options.timeoutMs};

    if (request == Request::Read) {
        const kvclient::ReadResult read = client.readParameters(timeout);
        if (!read.done()) return reportFailure(options.port, read);
        if (options.json) {
            ordered_json values = ordered_json::object();
            for (const auto& [parameter, value] : read.settings.entries())
                values[std::string(parameter->name)] = kvcli::latin1ToUtf8(value);
            printJson(values);
        } else {
            for (const auto& [parameter, value] : read.settings.entries())
                std::cout << parameter->name << " = " << kvcli::printable(value) << '\n';
        }
        return kvcli::kExitDone;
    }

    Result result;
    switch (request) {
        case Request::Test:
            result = client.communicationTest(timeout);
            break;
        case Request::Query:
            result = client.dataQuery(timeout);
            break;
        default:
            result = client.reset(timeout);
            break;
    }
    if (!result.done()) return reportFailure(options.port, result);
    if (options.json) {
        ordered_json out;
        out["port"] = options.port;
        out["reply"] = kvcli::latin1ToUtf8(result.reply);
        printJson(out);
    } else {
        std::string text = kvcli::printable(result.reply);
        if (!text.ends_with('\n')) text += '\n';
        std::cout << text;
    }
    return kvcli::kExitDone;
}

CLI::App* addRequestCommand(CLI::App& app, const char* name, const char* description,
                            Options& options) {
    CLI::App* command = app.add_subcommand(name, description);
    command
        ->add_option("-p,--port", options.port, "serial port: a device path (/dev/ttyUSB0) or COMn")
        ->required();
    command
        ->add_option("--timeout-ms", options.timeoutMs,
                     "how long to wait for the collector's answer to begin, in ms")
        ->check(CLI::Range(1, 600000))
        ->capture_default_str();
    command->add_flag("--json", options.json, "print the result as JSON");
    command->add_option(
        "--log", options.log,
        "write the line's traffic to FILE (tab-separated; CSV if FILE ends in .csv)");
    command->footer(kvcli::kExitCodesHelp);
    return command;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Configure a KV480T-R-2 data collector over a serial line (9600 baud, 8N1).",
                 "kv480t"};
    app.set_version_flag("--version", "kv480t " KV480T_VERSION);
    app.require_subcommand(1);
    app.footer(kvcli::kExitCodesHelp);

    Options options;
    CLI::App* ports = app.add_subcommand("ports", "List the serial ports present.");
    ports->add_flag("--json", options.json, "print the list as JSON");
    ports->footer(kvcli::kExitCodesHelp);
    CLI::App* read = addRequestCommand(
        app, "read", "Read the collector's parameters and print them by name.", options);
    CLI::App* test = addRequestCommand(
        app, "test", "Communication test: print the collector's answer.", options);
    CLI::App* query = addRequestCommand(
        app, "query", "Data query: print the collector's live readings.", options);
    CLI::App* reset = addRequestCommand(
        app, "reset", "Parameter initialization: reset every setting to its factory value.",
        options);
    reset->add_flag("--yes", options.yes, "confirm the reset to factory values");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::cerr << "kv480t: " << e.what() << " (see kv480t --help)\n";
        return kvcli::kExitUsage;
    }

    try {
        if (*ports) return listPorts(options);
        if (*reset && !options.yes) {
            std::cerr << "kv480t: reset sets every parameter of the collector to its factory "
                         "value; add --yes to do it\n";
            return kvcli::kExitUsage;
        }
        if (*read) return runRequest(Request::Read, options);
        if (*test) return runRequest(Request::Test, options);
        if (*query) return runRequest(Request::Query, options);
        return runRequest(Request::Reset, options);
    } catch (const std::exception& e) {
        std::cerr << "kv480t: " << e.what() << '\n';
        return kvcli::kExitPort;
    }
}
