#include "ops/Error.h"

#include <cerrno>

#include "SPComm/TComm.h"

#if defined(_WIN32)
#include <windows.h>  // winerror.h: the WSAE* codes too
#endif

namespace kvops {

Error openError(const spcomm::ECommsError& error) {
    const int code = error.code();
    const std::string message = error.what();
    ErrorCode kind = ErrorCode::PortOpenFailed;
    if (message.starts_with("Cannot apply line settings")) {
        kind = ErrorCode::PortSettings;
    } else if (message.starts_with("Cannot resolve host name")) {
        kind = ErrorCode::HostNotFound;
    } else if (message.starts_with("Cannot connect to network port")) {
#if defined(_WIN32)
        if (code == WSAECONNREFUSED) kind = ErrorCode::ConnectionRefused;
        if (code == WSAETIMEDOUT) kind = ErrorCode::ConnectTimedOut;
#else
        if (code == ECONNREFUSED) kind = ErrorCode::ConnectionRefused;
        if (code == ETIMEDOUT) kind = ErrorCode::ConnectTimedOut;
#endif
    } else {
#if defined(_WIN32)
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            kind = ErrorCode::PortNotFound;
        else if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
            kind = ErrorCode::PortBusy;  // Windows refuses a port held by another program so
#else
        if (code == ENOENT || code == ENXIO || code == ENODEV)
            kind = ErrorCode::PortNotFound;
        else if (code == EBUSY)
            kind = ErrorCode::PortBusy;
        else if (code == EACCES || code == EPERM)
            kind = ErrorCode::PortPermission;
#endif
    }
    std::string text = message;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (!error.reason().empty()) text += ": " + error.reason();
    return {kind, code, text};
}

std::string describe(const Error& error, std::string_view port) {
    std::string text = error.text;
    switch (error.code) {
        case ErrorCode::None:
            return {};
        case ErrorCode::PortNotFound:
        case ErrorCode::PortBusy:
        case ErrorCode::PortPermission:
        case ErrorCode::PortSettings:
        case ErrorCode::PortOpenFailed:
        case ErrorCode::HostNotFound:
        case ErrorCode::ConnectionRefused:
        case ErrorCode::ConnectTimedOut: {
            // "Error opening serial port (PORT): reason"
            const auto colon = text.find(": ");
            const std::string head = text.substr(0, colon);
            const std::string tail = colon == std::string::npos ? "" : text.substr(colon);
            text = port.empty() ? head + tail : head + " (" + std::string(port) + ")" + tail;
#if defined(__linux__)
            if (error.code == ErrorCode::PortPermission)
                text +=
                    ". The user needs to be in the dialout group to use serial ports "
                    "(sudo usermod -aG dialout $USER, then log in again)";
#endif
            return text;
        }
        case ErrorCode::NotOpen:
            return text.empty() ? "the port is not open" : text;
        case ErrorCode::WriteRefused:
            return text.empty() ? "the port refused the write" : text;
        case ErrorCode::HungUp:
            return text.empty() ? "the line hung up" : text;
        case ErrorCode::NoAnswer:
        case ErrorCode::NotUnderstood:
        case ErrorCode::BadRequest:
            break;
    }
    return text;
}

std::string_view codeWords(ErrorCode code) {
    switch (code) {
        case ErrorCode::None:
            return "ok";
        case ErrorCode::PortNotFound:
        case ErrorCode::PortBusy:
        case ErrorCode::PortPermission:
        case ErrorCode::PortSettings:
        case ErrorCode::PortOpenFailed:
        case ErrorCode::HostNotFound:
        case ErrorCode::ConnectionRefused:
        case ErrorCode::ConnectTimedOut:
        case ErrorCode::NotOpen:
        case ErrorCode::WriteRefused:
        case ErrorCode::HungUp:
            return "port error";
        case ErrorCode::NoAnswer:
            return "no answer";
        case ErrorCode::NotUnderstood:
            return "not understood";
        case ErrorCode::BadRequest:
            return "bad request";
    }
    return "error";
}

}  // namespace kvops
