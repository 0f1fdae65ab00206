#include "sim/DemoCollector.h"

#include <memory>
#include <mutex>

#include "sim/Collector.h"

namespace kvsim {

namespace {

std::mutex demoMutex;
std::unique_ptr<Collector> demo;  // destroyed (and so stopped) at process exit

}  // namespace

std::string startDemoCollector() {
    std::lock_guard lock(demoMutex);
    if (!demo) {
        auto collector = std::make_unique<Collector>();
        collector->start();
        demo = std::move(collector);
    }
    return demo->slavePath();
}

void stopDemoCollector() {
    std::lock_guard lock(demoMutex);
    demo.reset();
}

}  // namespace kvsim
