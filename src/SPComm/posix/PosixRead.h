// The read call of the POSIX receive worker, replaceable so that tests can make a read fail
// the way a broken adapter does (an error that is no hang-up).
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace spcomm::detail {

using TReadFunction = ssize_t (*)(int fd, void* buffer, std::size_t count);

// Tests only, while no port is open: the receive worker reads through `read` from now on;
// nullptr restores ::read.
void SetReadFunctionForTest(TReadFunction read);

}  // namespace spcomm::detail
