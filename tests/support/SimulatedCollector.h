// A simulated collector on a pseudo-terminal that already holds given settings (written
// through the client, one set command each, as a technician would have left it).
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "client/Client.h"
#include "protocol/CollectorSettings.h"
#include "protocol/SetCommands.h"
#include "sim/Collector.h"

namespace kvtest {

inline std::unique_ptr<kvsim::Collector> collectorHolding(
    const kvproto::CollectorSettings& settings, kvsim::CollectorOptions options = {}) {
    auto collector = std::make_unique<kvsim::Collector>(options);
    collector->start();
    kvclient::Client client;
    EXPECT_FALSE(client.open(collector->slavePath()));
    for (const kvproto::SetCommand& command : kvproto::setCommands()) {
        bool whole = true;
        for (const kvproto::Parameter* p : command.parameterSpan())
            whole = whole && settings.get(*p);
        if (whole) {
            EXPECT_TRUE(client.set(command, settings).answered()) << command.word;
        }
    }
    return collector;
}

}  // namespace kvtest
