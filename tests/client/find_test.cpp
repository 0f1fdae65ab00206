// Find tells each port it tried by what the port listing says of that port.
#include "client/Find.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(FindCollectors, EachPortIsDescribedByItsOwnListing) {
    const std::string dir = ::testing::TempDir() + "kv-find-none/";
    kvports::PortListing present;
    for (const auto& [name, description, serialNumber] :
         {std::tuple{"ttyUSB0", "FTDI FT232R USB UART", "A1"},
          std::tuple{"ttyUSB1", "CP2102 USB to UART", "B2"},
          std::tuple{"ttyS0", "16550A UART", ""}}) {
        kvports::SerialPortInfo port;
        port.path = dir + name;
        port.description = description;
        port.serialNumber = serialNumber;
        present.ports.push_back(port);
    }
    const std::vector<kvclient::FindResult> results = kvclient::findCollectors(
        kvclient::portsToFind(present, {dir + "ttyACM9"}), present, kvclient::Millis(100));
    struct Expected {
        std::string port, description, serialNumber;
    };
    const Expected expected[] = {
        {dir + "ttyUSB0", "FTDI FT232R USB UART", "A1"},
        {dir + "ttyUSB1", "CP2102 USB to UART", "B2"},
        {dir + "ttyS0", "16550A UART", ""},
        {dir + "ttyACM9", "", ""},  // named, not listed: nothing to say of it
    };
    ASSERT_EQ(results.size(), std::size(expected));
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].port, expected[i].port);
        EXPECT_EQ(results[i].description, expected[i].description) << expected[i].port;
        EXPECT_EQ(results[i].serialNumber, expected[i].serialNumber) << expected[i].port;
        EXPECT_EQ(results[i].state, kvclient::FindState::Failed) << expected[i].port;
        EXPECT_EQ(results[i].error.code, kvops::ErrorCode::PortNotFound) << expected[i].port;
    }
}

}  // namespace
