// kv480t's last line of defence: what the program's work throws, turned into an exit code.
//
// The work reports every failure it knows as its exit code (Text.h). What it throws is either
// the serial component's own typed error (spcomm::ECommsError, a port error: exit 3, said as
// any port error is) or a bug: any other exception, which is said as
// "kv480t: internal error: <what is known>" on stderr, with exit code 70 (EX_SOFTWARE), never
// as a port error.
#pragma once

#include <functional>
#include <iosfwd>

namespace kvcli {

int guarded(const std::function<int()>& work, std::ostream& err);

}  // namespace kvcli
