#include "history/Paths.h"

#include <cstdlib>

#if defined(_WIN32)
#include <knownfolders.h>
#include <shlobj.h>
#include <windows.h>
#endif

namespace kvhistory {

#if defined(_WIN32)

namespace {

std::string utf8(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

}  // namespace

std::string defaultPath() {
    std::string folder;
    PWSTR known = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known)))
        folder = utf8(known);
    CoTaskMemFree(known);
    if (folder.empty()) {
        if (const wchar_t* variable = _wgetenv(L"LOCALAPPDATA")) folder = utf8(variable);
    }
    if (folder.empty()) return {};
    return folder + "\\kv480t-config\\history.db";
}

#else

std::string defaultPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return std::string(data) + "/kv480t-config/history.db";
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0')
        return std::string(home) + "/.local/share/kv480t-config/history.db";
    return {};
}

#endif

}  // namespace kvhistory
