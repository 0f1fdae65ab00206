#include "system/SystemError.h"

#include <cerrno>
#include <cstring>

namespace kvsys {

namespace detail {
// The platform's words (posix/, win32/); empty when it has none.
std::string platformText(ErrorSource source, int code);
}  // namespace detail

namespace {

// strerror_r comes in two flavours (XSI: int, GNU: char*); both end up as a string. The C
// runtime on Windows keeps strerror's buffer per thread, and has no strerror_r.
[[maybe_unused]] std::string fromResult(int result, const char* buffer) {
    return result == 0 ? buffer : std::string();
}
[[maybe_unused]] std::string fromResult(const char* result, const char*) {
    return result ? result : std::string();
}

std::string errnoWords(int code) {
#if defined(_WIN32)
    return fromResult(std::strerror(code), nullptr);
#else
    char buffer[256] = {};
    return fromResult(::strerror_r(code, buffer, sizeof buffer), buffer);
#endif
}

}  // namespace

std::string errorText(ErrorSource source, int code) {
    if (code == 0) return {};
    std::string text =
        source == ErrorSource::Errno ? errnoWords(code) : detail::platformText(source, code);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace kvsys
