#include "ops/History.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace kvops {

namespace {

constexpr std::pair<EntryKind, std::string_view> kKindWords[] = {
    {EntryKind::Listing, "listing"},
    {EntryKind::Before, "before"},
    {EntryKind::Write, "write"},
};

}  // namespace

std::string_view kindWord(EntryKind kind) {
    for (const auto& [k, word] : kKindWords)
        if (k == kind) return word;
    return {};
}

std::optional<EntryKind> kindOfWord(std::string_view word) {
    for (const auto& [k, w] : kKindWords)
        if (w == word) return k;
    return std::nullopt;
}

std::string accountName() {
#if defined(_WIN32)
    wchar_t buffer[256];
    const DWORD n = GetEnvironmentVariableW(L"USERNAME", buffer, 256);
    if (n == 0 || n >= 256) return {};
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(n), out.data(), bytes, nullptr,
                        nullptr);
    return out;
#else
    for (const char* variable : {"USER", "LOGNAME"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return value;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name)
        return found->pw_name;
    return {};
#endif
}

}  // namespace kvops
