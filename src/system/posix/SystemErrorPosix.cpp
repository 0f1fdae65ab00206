// POSIX: the resolver's words; Win32 and Winsock numbers have none here.
#include <netdb.h>

#include <cerrno>

#include "system/SystemError.h"

namespace kvsys {

namespace detail {
std::string platformText(ErrorSource source, int code) {
    if (source == ErrorSource::Resolver) return ::gai_strerror(code);
    return {};
}
}  // namespace detail

int lastError() {
    return errno;
}

}  // namespace kvsys
