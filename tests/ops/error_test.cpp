// kvops::openError and describe(): the serial component's open failures as the codes and the
// sentences both faces print.
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
// Windows refuses a port another program holds with "access denied".
constexpr ErrorCode kDeniedKind = ErrorCode::PortBusy;
#else
constexpr int kNoSuchPort = ENOENT, kNoSuchDevice = ENXIO, kHeld = EBUSY, kDenied = EACCES,
              kBadSetting = EINVAL, kIoFailed = EIO, kNoSuchHost = ENOENT, kRefused = ECONNREFUSED,
              kTimedOut = ETIMEDOUT, kUnreachable = ENETUNREACH;
constexpr ErrorCode kDeniedKind = ErrorCode::PortPermission;
#endif

TEST(OpenError, SystemErrorsBecomeCodesAndSentences) {
    struct Case {
        const char* message;
        int code;
        ErrorCode kind;
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
        {"Error opening serial port ", kNoSuchPort, ErrorCode::PortNotFound,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kNoSuchPort)},
        {"Error opening serial port ", kNoSuchDevice, ErrorCode::PortNotFound,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kNoSuchDevice)},
        {"Error opening serial port ", kHeld, ErrorCode::PortBusy,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kHeld)},
        {"Error opening serial port ", kDenied, kDeniedKind,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kDenied) + dialout},
        {"Cannot apply line settings", kBadSetting, ErrorCode::PortSettings,
         "Cannot apply line settings (/dev/ttyUSB0): " + reason(kBadSetting)},
        {"Error opening serial port ", kIoFailed, ErrorCode::PortOpenFailed,
         "Error opening serial port (/dev/ttyUSB0): " + reason(kIoFailed)},
        // Network ports: the component's message says what failed, the code why.
        {"Cannot resolve host name", kNoSuchHost, ErrorCode::HostNotFound,
         "Cannot resolve host name (/dev/ttyUSB0): " + reason(kNoSuchHost)},
        {"Cannot connect to network port", kRefused, ErrorCode::ConnectionRefused,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(kRefused)},
        {"Cannot connect to network port", kTimedOut, ErrorCode::ConnectTimedOut,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(kTimedOut)},
        {"Cannot connect to network port", kUnreachable, ErrorCode::PortOpenFailed,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(kUnreachable)},
    };
#if !defined(_WIN32)
    cases.push_back({"Error opening serial port ", EPERM, ErrorCode::PortPermission,
                     "Error opening serial port (/dev/ttyUSB0): " + reason(EPERM) + dialout});
#endif
    for (const Case& c : cases) {
        const kvops::Error error =
            kvops::openError(spcomm::ECommsError(c.message, c.code, reason(c.code)));
        EXPECT_EQ(error.code, c.kind) << c.code;
        EXPECT_EQ(error.systemError, c.code);
        EXPECT_EQ(kvops::describe(error, port), c.sentence) << c.code;
        EXPECT_EQ(kvops::codeWords(error.code), "port error");
        EXPECT_EQ(kvops::describe(error).find(port), std::string::npos) << "no port: none named";
    }
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
