#include "ops/Clock.h"

namespace kvops {

namespace {

class SteadyClock : public Clock {
public:
    Millis now() const override {
        return std::chrono::duration_cast<Millis>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

}  // namespace

const Clock& steadyClock() {
    static const SteadyClock clock;
    return clock;
}

std::int64_t wallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace kvops
