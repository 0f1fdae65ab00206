// A number the operating system gave for a failure, with where it comes from, and the system's
// words for it. The one place that calls strerror, gai_strerror and FormatMessage: every library
// that reports a system error (SPComm, kvfiles, profile, site) takes its text from here.
#pragma once

#include <cstdint>
#include <string>

namespace kvsys {

// What a system error number counts in: the same number means different things in each.
enum class ErrorSource : std::uint8_t {
    None,      // no system number behind the failure (0)
    Errno,     // errno (POSIX; the C runtime's on Windows)
    Win32,     // GetLastError()
    Winsock,   // WSAGetLastError(), and getaddrinfo's result on Windows
    Resolver,  // getaddrinfo's EAI_* result on POSIX (EAI_SYSTEM is reported as its errno)
};

// The source of lastError(): Errno on POSIX, Win32 on Windows.
#if defined(_WIN32)
inline constexpr ErrorSource kNativeSource = ErrorSource::Win32;
#else
inline constexpr ErrorSource kNativeSource = ErrorSource::Errno;
#endif

struct SystemError {
    ErrorSource source = ErrorSource::None;
    int code = 0;
    explicit operator bool() const { return code != 0; }
};

// The system's words for `code` (strerror_r, gai_strerror, FormatMessage), without a final
// full stop or line break; "error N" when the system has none for it (e.g. a Win32 number on
// POSIX); empty for 0.
std::string errorText(ErrorSource source, int code);
inline std::string errorText(SystemError error) {
    return errorText(error.source, error.code);
}
// errno's words: errorText(ErrorSource::Errno, code).
inline std::string errnoText(int code) {
    return errorText(ErrorSource::Errno, code);
}

// The calling thread's last error: errno on POSIX, GetLastError() on Windows.
int lastError();
inline SystemError lastSystemError() {
    return {kNativeSource, lastError()};
}

}  // namespace kvsys
