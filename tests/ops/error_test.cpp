// kvops::openError and describe(): the serial component's open failures (their kind as the
// back end gave it) as the codes and the sentences kv480t prints.
#include "ops/Error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "SPComm/TComm.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using kvops::ErrorCode;

// The system's numbers for the failures a technician meets, as the serial component gives them.
#if defined(_WIN32)
constexpr int kNoSuchPort = ERROR_FILE_NOT_FOUND, kNoSuchDevice = ERROR_PATH_NOT_FOUND,
              kHeld = ERROR_SHARING_VIOLATION, kDenied = ERROR_ACCESS_DENIED,
              kBadSetting = ERROR_INVALID_PARAMETER, kIoFailed = ERROR_GEN_FAILURE,
              kNoSuchHost = WSAHOST_NOT_FOUND, kRefused = WSAECONNREFUSED, kTimedOut = WSAETIMEDOUT,
              kUnreachable = WSAENETUNREACH;
// Windows refuses a port another program holds with "access denied": the back end calls it busy.
constexpr spcomm::TCommErrorKind kDeniedKind = spcomm::TCommErrorKind::Busy;
constexpr ErrorCode kDeniedCode = ErrorCode::PortBusy;
#else
constexpr int kNoSuchPort = ENOENT, kNoSuchDevice = ENXIO, kHeld = EBUSY, kDenied = EACCES,
              kBadSetting = EINVAL, kIoFailed = EIO, kNoSuchHost = ENOENT, kRefused = ECONNREFUSED,
              kTimedOut = ETIMEDOUT, kUnreachable = ENETUNREACH;
constexpr spcomm::TCommErrorKind kDeniedKind = spcomm::TCommErrorKind::Permission;
constexpr ErrorCode kDeniedCode = ErrorCode::PortPermission;
#endif

TEST(OpenError, SystemErrorsBecomeCodesAndSentences) {
    using Kind = spcomm::TCommErrorKind;
    struct Case {
        const char* message;
        int code;
        Kind kind;  // as the back end decided it
        ErrorCode expected;
        std::string sentence;  // describe() with the port "/dev/ttyUSB0"
    };
    const std::string port = "/dev/ttyUSB0";
    const auto reason = [](int code) { return std::string(std::strerror(code)); };
#if defined(__linux__)
    const std::string dialout =
        ". The user needs to be in the dialout group to use serial ports (sudo usermod -aG "
        "dialout $USER, then log in again)";
#else
    const std::string dialout;
#endif
    std::vector<Case> cases = {
        {"Error opening serial port ", kNoSuchPort, Kind::NotFound, ErrorCode::PortNotFound,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kNoSuchPort)},
        {"Error opening serial port ", kNoSuchDevice, Kind::NotFound, ErrorCode::PortNotFound,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kNoSuchDevice)},
        {"Error opening serial port ", kHeld, Kind::Busy, ErrorCode::PortBusy,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kHeld)},
        {"Error opening serial port ", kDenied, kDeniedKind, kDeniedCode,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kDenied) +
             (kDeniedCode == ErrorCode::PortPermission ? dialout : "")},
        {"Cannot apply line settings", kBadSetting, Kind::Settings, ErrorCode::PortSettings,
         "Cannot apply line settings (/dev/ttyUSB0): " + reason(kBadSetting)},
        {"Error opening serial port ", kIoFailed, Kind::Other, ErrorCode::PortOpenFailed,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kIoFailed)},
        {"Open cancelled", kIoFailed, Kind::Cancelled, ErrorCode::PortOpenFailed,
         "Open cancelled (/dev/ttyUSB0): " + reason(kIoFailed)},
        // Network ports: the component's message says what failed, the code why.
        {"Cannot resolve host name", kNoSuchHost, Kind::HostNotFound, ErrorCode::HostNotFound,
         "Cannot resolve host name (/dev/ttyUSB0): " + reason(kNoSuchHost)},
        {"Cannot connect to network port", kRefused, Kind::Refused, ErrorCode::ConnectionRefused,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(kRefused)},
        {"Cannot connect to network port", kTimedOut, Kind::TimedOut, ErrorCode::ConnectTimedOut,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(kTimedOut)},
        {"Cannot connect to network port", kUnreachable, Kind::Other, ErrorCode::PortOpenFailed,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(kUnreachable)},
    };
#if !defined(_WIN32)
    cases.push_back({"Error opening serial port ", EPERM, Kind::Permission,
                     ErrorCode::PortPermission,
                     "Error opening serial port (/dev/ttyUSB0): " + reason(EPERM) + dialout});
#endif
    for (const Case& c : cases) {
        const kvops::Error error = kvops::openError(spcomm::ECommsError(
            c.message, c.kind, {kvsys::ErrorSource::Errno, c.code}, reason(c.code)));
        EXPECT_EQ(error.code, c.expected) << c.code;
        EXPECT_EQ(error.systemError, c.code);
        EXPECT_EQ(error.systemSource, kvsys::ErrorSource::Errno);
        EXPECT_EQ(kvops::describe(error, port), c.sentence) << c.code;
        EXPECT_EQ(kvops::codeWords(error.code), "port error");
        EXPECT_EQ(kvops::describe(error).find(port), std::string::npos) << "no port: none named";
    }
}

// The kind comes from the serial component's error, never from its words or its number; the
// port goes right after the component's message, whatever the reason says.
TEST(OpenError, TheKindIsTakenAsGivenAndTheReasonIsNotCut) {
    const kvops::Error lookUp = kvops::openError(spcomm::ECommsError(
        "Cannot resolve host name", spcomm::TCommErrorKind::HostNotFound,
        {kvsys::ErrorSource::Resolver, 2}, "gateway.example: Name or service not known"));
    EXPECT_EQ(lookUp.code, ErrorCode::HostNotFound);
    EXPECT_EQ(lookUp.systemSource, kvsys::ErrorSource::Resolver);
    EXPECT_EQ(lookUp.summary, "Cannot resolve host name");
    EXPECT_EQ(lookUp.text, "gateway.example: Name or service not known");
    EXPECT_EQ(kvops::describe(lookUp, "rfc2217://gateway.example:4001"),
              "Cannot resolve host name (rfc2217://gateway.example:4001): gateway.example: Name "
              "or service not known");

    // A refused connect that the back end did not call refused stays what it said.
    const kvops::Error other = kvops::openError(
        spcomm::ECommsError("Cannot connect to network port", spcomm::TCommErrorKind::Other,
                            {kvsys::ErrorSource::Errno, kRefused}, "Connection refused"));
    EXPECT_EQ(other.code, ErrorCode::PortOpenFailed);

    // No reason: the message alone; the trailing blank of the historic message goes.
    const kvops::Error plain =
        kvops::openError(spcomm::ECommsError("File handle is not a comm handle "));
    EXPECT_EQ(plain.code, ErrorCode::PortOpenFailed);
    EXPECT_EQ(plain.systemSource, kvsys::ErrorSource::None);
    EXPECT_EQ(kvops::describe(plain, "COM3"), "File handle is not a comm handle (COM3)");
    EXPECT_EQ(kvops::describe(plain), "File handle is not a comm handle");

    // An error made without the component's message has its text in its place.
    EXPECT_EQ(kvops::describe({ErrorCode::PortOpenFailed, 0, "no thread to be had"}, "COM3"),
              "no thread to be had (COM3)");
}

TEST(OpenError, OtherCodesInWords) {
    struct Case {
        kvops::Error error;
        std::string sentence;
        std::string_view words;
    };
    const std::vector<Case> cases = {
        {{}, "", "ok"},
        {{ErrorCode::NotOpen, 0, {}}, "the port is not open", "port error"},
        {{ErrorCode::HungUp, 0, {}}, "the line hung up", "port error"},
        {{ErrorCode::WriteRefused, 0, {}}, "the port refused the write", "port error"},
        {{ErrorCode::NoAnswer, 0, "no answer within 200 ms"},
         "no answer within 200 ms",
         "no answer"},
        {{ErrorCode::NotUnderstood, 0, "no values for MTM:"},
         "no values for MTM:",
         "not understood"},
        {{ErrorCode::BadRequest, 0, "the frame is empty"}, "the frame is empty", "bad request"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kvops::describe(c.error, "COM3"), c.sentence);
        EXPECT_EQ(kvops::codeWords(c.error.code), c.words) << c.sentence;
        EXPECT_EQ(static_cast<bool>(c.error), c.error.code != ErrorCode::None);
    }
}

}  // namespace
