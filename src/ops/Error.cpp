#include "ops/Error.h"

#include "SPComm/TComm.h"

namespace kvops {

namespace {

ErrorCode codeFor(spcomm::TCommErrorKind kind) {
    switch (kind) {
        case spcomm::TCommErrorKind::NotFound:
            return ErrorCode::PortNotFound;
        case spcomm::TCommErrorKind::Busy:
            return ErrorCode::PortBusy;
        case spcomm::TCommErrorKind::Permission:
            return ErrorCode::PortPermission;
        case spcomm::TCommErrorKind::Settings:
            return ErrorCode::PortSettings;
        case spcomm::TCommErrorKind::HostNotFound:
            return ErrorCode::HostNotFound;
        case spcomm::TCommErrorKind::Refused:
            return ErrorCode::ConnectionRefused;
        case spcomm::TCommErrorKind::TimedOut:
            return ErrorCode::ConnectTimedOut;
        case spcomm::TCommErrorKind::Cancelled:
        case spcomm::TCommErrorKind::Other:
            break;
    }
    return ErrorCode::PortOpenFailed;
}

}  // namespace

Error openError(const spcomm::ECommsError& error) {
    std::string summary = error.what();
    while (!summary.empty() && summary.back() == ' ') summary.pop_back();
    return {codeFor(error.kind()), error.code(), error.reason(), error.system().source,
            std::move(summary)};
}

std::string describe(const Error& error, std::string_view port) {
    const std::string& text = error.text;
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
            // "Error opening serial port (PORT): reason"; an error made without the serial
            // component's message has its text in that message's place.
            std::string sentence = error.summary.empty() ? text : error.summary;
            if (!port.empty()) sentence += " (" + std::string(port) + ")";
            if (!error.summary.empty() && !text.empty()) sentence += ": " + text;
#if defined(__linux__)
            if (error.code == ErrorCode::PortPermission)
                sentence +=
                    ". The user needs to be in the dialout group to use serial ports "
                    "(sudo usermod -aG dialout $USER, then log in again)";
#endif
            return sentence;
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
        case ErrorCode::HistoryFailed:
            return "history: " + text;
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
        case ErrorCode::HistoryFailed:
            return "history error";
    }
    return "error";
}

}  // namespace kvops
