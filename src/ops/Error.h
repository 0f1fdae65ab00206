// kvops::Error: what went wrong with a request to the collector, the same for the window and
// for kv480t. A code says what kind of failure it is (for a port that did not open, the kind the
// serial component's back end gave its ECommsError: no text is read to tell), `systemError` is
// the operating system's error number behind it and `systemSource` what that number counts in
// (errno, GetLastError(), Winsock, getaddrinfo's EAI_*; 0 and None when there is none), `text`
// the detail: the system's reason, a time-out's length, the reply's problem, and `summary` for a
// port that did not open the serial component's message ("Error opening serial port", "Cannot
// resolve host name", ...).
//
// describe() is kv480t's one place where codes become the words a user reads (on stderr, in
// its tables and logs); the window's is windowText() (src/main1/adapters/WindowText.h), which
// builds on it.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "system/SystemError.h"

namespace spcomm {
class ECommsError;
}

namespace kvops {

enum class ErrorCode {
    None = 0,
    // Opening the port.
    PortNotFound,    // no such device
    PortBusy,        // another program holds the port
    PortPermission,  // the user may not open the device
    PortSettings,    // the port refused the collector's line settings
    PortOpenFailed,  // any other reason the port did not open
    // Opening a network port (rfc2217://, tcp://); PortSettings when the server refuses the
    // line settings or does not confirm them.
    HostNotFound,       // the host name does not resolve
    ConnectionRefused,  // nothing listens on the host's port
    ConnectTimedOut,    // no answer within the connect time-out
    // Sending a frame.
    NotOpen,       // the port is not open
    WriteRefused,  // the port did not take the frame
    HungUp,        // the line stopped working (adapter pulled, connection dropped)
    // The collector's answer.
    NoAnswer,       // no answer began in time
    NotUnderstood,  // an answer came but could not be read
    // The request itself.
    BadRequest,  // nothing was sent: the request is wrong
    // The history (History.h).
    HistoryFailed,  // an entry could not be kept; a write waiting for it sent nothing
};
// The last code: codes read from files are checked against it.
inline constexpr ErrorCode kLastErrorCode = ErrorCode::HistoryFailed;

struct Error {
    Error(ErrorCode code = ErrorCode::None, int systemError = 0, std::string text = {},
          kvsys::ErrorSource systemSource = kvsys::ErrorSource::None, std::string summary = {})
        : code(code),
          systemError(systemError),
          text(std::move(text)),
          systemSource(systemSource),
          summary(std::move(summary)) {}

    ErrorCode code = ErrorCode::None;
    int systemError = 0;
    std::string text;
    kvsys::ErrorSource systemSource = kvsys::ErrorSource::None;  // what systemError counts in
    std::string summary;  // a port that did not open: the serial component's message

    explicit operator bool() const { return code != ErrorCode::None; }
};

// The failure behind an ECommsError raised by the serial component's Open(): its kind as the
// code, its system number and source, its reason as the text and its message as the summary.
Error openError(const spcomm::ECommsError& error);

// The error as one sentence for the user, naming `port` when it is not empty (a port that did
// not open: the summary, the port in brackets, then the text after ": "):
//   "Error opening serial port (/dev/ttyS0): Permission denied. The user needs to be in
//    the dialout group ... (Linux)", "Cannot connect to network port
//    (rfc2217://10.0.0.7:4001): Connection refused", "the line hung up", "no answer within
//    2000 ms", ...
// No final full stop unless the text has sentences after the first.
std::string describe(const Error& error, std::string_view port = {});

// "port error", "no answer", ... : the kind of failure in two or three words.
std::string_view codeWords(ErrorCode code);

}  // namespace kvops
