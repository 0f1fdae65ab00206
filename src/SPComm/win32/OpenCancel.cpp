// TOpenCancel on Windows: a manual-reset event, set once.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "SPComm/CommPort.h"

namespace spcomm::detail {

TOpenCancel::TOpenCancel() {
    handle_ = reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

TOpenCancel::~TOpenCancel() {
    if (handle_ != 0) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void TOpenCancel::Set() {
    if (set_.exchange(true) || handle_ == 0) return;
    ::SetEvent(reinterpret_cast<HANDLE>(handle_));
}

int OpenCancelledCode() {
    return ERROR_CANCELLED;
}

}  // namespace spcomm::detail
