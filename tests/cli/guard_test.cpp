// kv480t's guard: what the program's work throws, as an exit code and one stderr line.
#include "cli/Guard.h"

#include <gtest/gtest.h>

#include <new>
#include <sstream>
#include <stdexcept>
#include <string>

#include "SPComm/TComm.h"

namespace {

TEST(Kv480tGuard, APortErrorIsOneAndAnythingElseIsAnInternalError) {
    struct Case {
        const char* name;
        std::function<int()> work;
        int exitCode;
        std::string err;
    };
    const Case cases[] = {
        {"done", [] { return 4; }, 4, ""},
        {"the serial component's own error",
         []() -> int {
             throw spcomm::ECommsError("Error opening serial port",
                                       spcomm::TCommErrorKind::NotFound,
                                       {kvsys::ErrorSource::Errno, 2}, "No such file");
         },
         3, "kv480t: Error opening serial port: No such file\n"},
        {"a bug", []() -> int { throw std::out_of_range("vector::at"); }, 70,
         "kv480t: internal error: std::out_of_range: vector::at\n"},
        {"no memory", []() -> int { throw std::bad_alloc(); }, 70,
         "kv480t: internal error: std::bad_alloc: std::bad_alloc\n"},
        {"not even an exception", []() -> int { throw 42; }, 70,
         "kv480t: internal error: an exception of unknown type\n"},
    };
    for (const Case& c : cases) {
        std::ostringstream err;
        EXPECT_EQ(kvcli::guarded(c.work, err), c.exitCode) << c.name;
        EXPECT_EQ(err.str(), c.err) << c.name;
    }
}

}  // namespace
