// Windows: the temporary file is created next to the file it replaces (CREATE_NEW), written,
// flushed (FlushFileBuffers) and moved over it with MoveFileEx (MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH). Names are in the ANSI code page, as std::ofstream takes them.
// A read-only file, or one another program holds open, is not replaced. Existing:: makes no
// difference here: the names that stand for a stream are POSIX's.
#include <windows.h>

#include "files/ReplacingFile.h"
#include "system/SystemError.h"

namespace kvfiles {

namespace {

std::string reason(DWORD code) {
    return kvsys::errorText(kvsys::ErrorSource::Win32, static_cast<int>(code));
}

HANDLE asHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

void ReplacingFile::open() {
    target_ = path_;
    const DWORD attributes = ::GetFileAttributesA(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // Nothing a file can replace; opening it says why.
        direct_ = true;
        temporaryPath_ = target_;
        const HANDLE h = ::CreateFileA(target_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return fail(reason(::GetLastError()));
        handle_ = reinterpret_cast<std::intptr_t>(h);
        return;
    }
    // A file marked read-only is kept, as Windows keeps it from every program that saves.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return fail(reason(ERROR_ACCESS_DENIED));
    HANDLE h = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temporaryPath_ = detail::temporaryName(target_);
        h = ::CreateFileA(temporaryPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) error = ::GetLastError();
        if (h == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        temporaryPath_.clear();  // not ours to remove
        return fail(reason(error));
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
}

bool ReplacingFile::write(std::string_view bytes) {
    if (!good() || done_) return false;
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(asHandle(handle_), bytes.data(), chunk, &written, nullptr) ||
            written == 0) {
            fail(reason(::GetLastError()));
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

bool ReplacingFile::commit() {
    if (done_) return good();
    done_ = true;
    if (!good()) return false;
    const HANDLE h = asHandle(handle_);
    if (!direct_ && !::FlushFileBuffers(h)) {
        fail(reason(::GetLastError()));
        return false;
    }
    handle_ = -1;
    if (!::CloseHandle(h)) {
        fail(reason(::GetLastError()));
        return false;
    }
    if (direct_) return true;
    if (!::MoveFileExA(temporaryPath_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fail(reason(::GetLastError()));
        return false;
    }
    temporaryPath_.clear();
    return true;
}

void ReplacingFile::closeAndRemove() {
    if (handle_ != -1) ::CloseHandle(asHandle(handle_));
    handle_ = -1;
    if (!direct_ && !temporaryPath_.empty()) ::DeleteFileA(temporaryPath_.c_str());
    temporaryPath_.clear();
}

}  // namespace kvfiles
