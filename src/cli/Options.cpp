#include "cli/Options.h"

#include "SPComm/net/NetPortName.h"
#include "ops/Exchange.h"
#include "ports/PortName.h"

namespace kvcli {

namespace {

// Refuses a network port name that cannot be opened whatever the network does, and a
// usb-serial name without a serial number; every other name is the system's to judge when it
// is opened.
const CLI::Validator kPortName(
    [](std::string& name) {
        std::string problem = spcomm::NetworkPortNameProblem(name);
        if (problem.empty()) problem = kvports::usbSerialNameProblem(name);
        return problem.empty() ? std::string() : name + ": " + problem;
    },
    "");

}  // namespace

const char* const kPortHelp =
    "port: a serial device (/dev/ttyUSB0, COMn), a USB adapter by its serial number "
    "(usb-serial:FT123ABC, see `kv480t ports`) or a serial device server "
    "(rfc2217://HOST:PORT, tcp://HOST:PORT)";

CLI::Option* addPort(CLI::App* command, std::string& port) {
    return command->add_option("-p,--port", port, kPortHelp)->required()->check(kPortName);
}

CLI::Option* addPorts(CLI::App* command, std::vector<std::string>& ports, const std::string& help) {
    return command->add_option("-p,--port", ports, help)->allow_extra_args(false)->check(kPortName);
}

CLI::Option* addTimeout(CLI::App* command, int& timeoutMs) {
    // In tenths of a second, rounded up: it is a limit.
    const long long limit = (kvops::Exchange::answerLimitAt(9600).count() + 99) / 100;
    return command
        ->add_option("--timeout-ms", timeoutMs,
                     "how long the collector may stay silent before its answer begins, in ms "
                     "(once begun, an answer is over at the latest " +
                         std::to_string(limit / 10) + "." + std::to_string(limit % 10) +
                         " s later)")
        ->check(CLI::Range(1, 600000))
        ->capture_default_str();
}

CLI::Option* addLog(CLI::App* command, std::string& log) {
    return command->add_option(
        "--log", log,
        "write the line's traffic to FILE (tab-separated; CSV if FILE ends in .csv); with "
        "several --port one file, each row naming its port");
}

void addIncludeFlags(CLI::App* command, kvproto::Include& include) {
    command->add_flag("--include-station", include.station,
                      "include the station address (rs485.address), unique per collector");
    command->add_flag("--include-counters", include.counters,
                      "include the counter bases (pin1.base, pin2.base, ad1.total.*); "
                      "writing one restarts its count");
}

CLI::Option* addJson(CLI::App* command, bool& json, const std::string& help) {
    return command->add_flag("--json", json, help);
}

}  // namespace kvcli
