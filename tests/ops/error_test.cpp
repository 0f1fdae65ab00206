// kvops::openError and describe(): the serial component's open failures as the codes and the
// sentences both faces print.
#include "ops/Error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "SPComm/TComm.h"

namespace {

using kvops::ErrorCode;

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
    const std::vector<Case> cases = {
        {"Error opening serial port ", ENOENT, ErrorCode::PortNotFound,
         "Error opening serial port (/dev/ttyUSB0): " + reason(ENOENT)},
        {"Error opening serial port ", ENXIO, ErrorCode::PortNotFound,
         "Error opening serial port (/dev/ttyUSB0): " + reason(ENXIO)},
        {"Error opening serial port ", EBUSY, ErrorCode::PortBusy,
         "Error opening serial port (/dev/ttyUSB0): " + reason(EBUSY)},
        {"Error opening serial port ", EACCES, ErrorCode::PortPermission,
         "Error opening serial port (/dev/ttyUSB0): " + reason(EACCES) + dialout},
        {"Error opening serial port ", EPERM, ErrorCode::PortPermission,
         "Error opening serial port (/dev/ttyUSB0): " + reason(EPERM) + dialout},
        {"Cannot apply line settings", EINVAL, ErrorCode::PortSettings,
         "Cannot apply line settings (/dev/ttyUSB0): " + reason(EINVAL)},
        {"Error opening serial port ", EIO, ErrorCode::PortOpenFailed,
         "Error opening serial port (/dev/ttyUSB0): " + reason(EIO)},
        // Network ports: the component's message says what failed, the code why.
        {"Cannot resolve host name", ENOENT, ErrorCode::HostNotFound,
         "Cannot resolve host name (/dev/ttyUSB0): " + reason(ENOENT)},
        {"Cannot connect to network port", ECONNREFUSED, ErrorCode::ConnectionRefused,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(ECONNREFUSED)},
        {"Cannot connect to network port", ETIMEDOUT, ErrorCode::ConnectTimedOut,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(ETIMEDOUT)},
        {"Cannot connect to network port", ENETUNREACH, ErrorCode::PortOpenFailed,
         "Cannot connect to network port (/dev/ttyUSB0): " + reason(ENETUNREACH)},
    };
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
