// Windows: FormatMessage for GetLastError() and Winsock numbers (getaddrinfo's too).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "system/SystemError.h"

namespace kvsys {

namespace detail {
std::string platformText(ErrorSource source, int code) {
    if (source == ErrorSource::None) return {};
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n > 0 && text ? std::string(text, n) : std::string();
    if (text) ::LocalFree(text);
    return result;
}
}  // namespace detail

int lastError() {
    return static_cast<int>(::GetLastError());
}

}  // namespace kvsys
