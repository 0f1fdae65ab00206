// TComm without a port: defaults, the delivery of the five notifications, refused writes,
// open failures that need no device.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SPComm/CommPort.h"
#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"

namespace spcomm {
namespace {

TEST(CommDefaults, MatchTheComponentsPublishedValues) {
    TComm c;
    EXPECT_EQ(c.CommName(), "COM2");
    EXPECT_EQ(c.BaudRate(), 9600u);
    EXPECT_FALSE(c.ParityCheck());
    EXPECT_FALSE(c.Outx_CtsFlow());
    EXPECT_FALSE(c.Outx_DsrFlow());
    EXPECT_EQ(c.DtrControl(), TDtrControl::DtrEnable);
    EXPECT_FALSE(c.DsrSensitivity());
    EXPECT_TRUE(c.TxContinueOnXoff());
    EXPECT_TRUE(c.Outx_XonXoffFlow());
    EXPECT_TRUE(c.Inx_XonXoffFlow());
    EXPECT_FALSE(c.ReplaceWhenParityError());
    EXPECT_FALSE(c.IgnoreNullChar());
    EXPECT_EQ(c.RtsControl(), TRtsControl::RtsEnable);
    EXPECT_EQ(c.XonLimit(), 500);
    EXPECT_EQ(c.XoffLimit(), 500);
    EXPECT_EQ(c.ByteSize(), TByteSize::_8);
    EXPECT_EQ(c.Parity(), TParity::None);
    EXPECT_EQ(c.StopBits(), TStopBits::_1);
    EXPECT_EQ(c.XonChar(), 17);
    EXPECT_EQ(c.XoffChar(), 19);
    EXPECT_EQ(c.ReplacedChar(), 0);
    EXPECT_EQ(c.ReadIntervalTimeout(), 100u);
    EXPECT_EQ(c.ReadTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(c.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(c.WriteTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(c.WriteTotalTimeoutConstant(), 0u);
    EXPECT_TRUE(c.SendQueueEmpty());
    EXPECT_FALSE(c.IsOpen());
}

TEST(CommClosed, RefusesWritesAndClosesQuietly) {
    TComm c;
    EXPECT_FALSE(c.Write("abc", 3));
    EXPECT_FALSE(c.Write("abc", 0));
    c.Close();
    EXPECT_FALSE(c.IsOpen());
    EXPECT_TRUE(c.SendQueueEmpty());
}

TEST(CommDelivery, RaisesEachNotificationInPostingOrder) {
    auto channel = std::make_shared<TQueueChannel>();
    TComm c(channel);
    std::vector<std::string> log;
    // A block carries the worker's time stamp; one without gets the time it is delivered.
    const auto stamp = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    const auto beforeDelivery = std::chrono::steady_clock::now();
    c.OnReceiveData = [&](TComm* s, const std::uint8_t* b, std::uint16_t n) {
        EXPECT_EQ(s, &c);
        const char* when = s->ReceivedAt() == stamp            ? "@stamp"
                           : s->ReceivedAt() >= beforeDelivery ? "@delivery"
                                                               : "@?";
        log.push_back("data:" + std::string(reinterpret_cast<const char*>(b), n) + when);
    };
    c.OnReceiveError = [&](TComm*, std::uint32_t v) {
        log.push_back("error:" + std::to_string(v));
    };
    c.OnRequestHangup = [&](TComm*) { log.push_back("hangup"); };
    c.OnModemStateChange = [&](TComm*, std::uint32_t v) {
        log.push_back("modem:" + std::to_string(v));
    };
    c.OnSendDataEmpty = [&](TComm*) { log.push_back("empty"); };

    auto post = [&](std::uint32_t id, std::uint32_t value, const char* text) {
        TCommMessage m;
        m.id = id;
        m.value = value;
        if (text) {
            m.length = static_cast<std::uint16_t>(std::string(text).size());
            m.block = std::make_unique<std::uint8_t[]>(m.length + 1u);
            std::copy(text, text + m.length, m.block.get());
            if (m.length == 3) m.receivedAt = stamp;
        }
        channel->post(std::move(m));
    };
    post(PWM_GOTCOMMDATA, 0, "OK#");
    post(PWM_RECEIVEERROR, 8, nullptr);
    post(PWM_MODEMSTATECHANGE, 12, nullptr);
    post(999, 0, nullptr);  // not one of ours: ignored
    post(PWM_SENDDATAEMPTY, 0, nullptr);
    post(PWM_REQUESTHANGUP, 0, nullptr);
    post(PWM_GOTCOMMDATA, 0, "second");
    EXPECT_EQ(channel->drain(), 7u);
    EXPECT_EQ(log, (std::vector<std::string>{"data:OK#@stamp", "error:8", "modem:12", "empty",
                                             "hangup", "data:second@delivery"}));
}

TEST(CommDelivery, MissingHandlersDropTheirNotifications) {
    auto channel = std::make_shared<TQueueChannel>();
    TComm c(channel);
    for (std::uint32_t id = PWM_GOTCOMMDATA; id <= PWM_SENDDATAEMPTY; ++id) {
        TCommMessage m;
        m.id = id;
        m.length = 1;
        m.block = std::make_unique<std::uint8_t[]>(2);
        channel->post(std::move(m));
    }
    EXPECT_EQ(channel->drain(), 5u);
}

TEST(CommDelivery, MessagesPendingWhenTheComponentGoesAreNotDelivered) {
    auto channel = std::make_shared<TQueueChannel>();
    int calls = 0;
    {
        TComm c(channel);
        c.OnRequestHangup = [&](TComm*) { ++calls; };
        TCommMessage m;
        m.id = PWM_REQUESTHANGUP;
        channel->post(std::move(m));
    }
    channel->drain();
    EXPECT_EQ(calls, 0);
}

TEST(CommDelivery, WithoutAChannelTheComponentUsesAQueueTheOwnerDrains) {
    TComm c;
    auto* queue = dynamic_cast<TQueueChannel*>(&c.channel());
    ASSERT_NE(queue, nullptr);
    int hangups = 0;
    c.OnRequestHangup = [&](TComm*) { ++hangups; };
    TCommMessage m;
    m.id = PWM_REQUESTHANGUP;
    queue->post(std::move(m));
    EXPECT_EQ(hangups, 0);  // nothing runs until the owner drains
    EXPECT_EQ(queue->drain(), 1u);
    EXPECT_EQ(hangups, 1);
}

// A message stamped by an open that is over (or never was) reaches no handler; unstamped
// ones do. A hang-up notice marks the line failed only while a port is open.
TEST(CommDelivery, MessagesOfAnotherOpenAreDroppedAndAClosedPortHasNoFailedLine) {
    auto channel = std::make_shared<TQueueChannel>();
    TComm c(channel);
    int hangups = 0, blocks = 0;
    c.OnRequestHangup = [&](TComm*) { ++hangups; };
    c.OnReceiveData = [&](TComm*, const std::uint8_t*, std::uint16_t) { ++blocks; };
    for (std::uint32_t session : {7u, 0u}) {
        TCommMessage hangup;
        hangup.id = PWM_REQUESTHANGUP;
        hangup.session = session;
        channel->post(std::move(hangup));
        TCommMessage data;
        data.id = PWM_GOTCOMMDATA;
        data.length = 1;
        data.block = std::make_unique<std::uint8_t[]>(2);
        data.session = session;
        channel->post(std::move(data));
    }
    channel->drain();
    EXPECT_EQ(hangups, 1);
    EXPECT_EQ(blocks, 1);
    EXPECT_FALSE(c.LineFailed());
}

TEST(CommError, CarriesItsKindAndTheSystemsCodeAndReasonBesideTheFixedMessage) {
    const ECommsError plain("This serial port already opened");
    EXPECT_STREQ(plain.what(), "This serial port already opened");
    EXPECT_EQ(plain.kind(), TCommErrorKind::Other);
    EXPECT_EQ(plain.code(), 0);
    EXPECT_EQ(plain.system().source, kvsys::ErrorSource::None);
    EXPECT_EQ(plain.reason(), "");
    const ECommsError withCode("Error opening serial port", TCommErrorKind::Permission,
                               {kvsys::ErrorSource::Errno, 13}, "Permission denied");
    const ECommsError copy = withCode;
    EXPECT_STREQ(copy.what(), "Error opening serial port");
    EXPECT_EQ(copy.kind(), TCommErrorKind::Permission);
    EXPECT_EQ(copy.code(), 13);
    EXPECT_EQ(copy.system().source, kvsys::ErrorSource::Errno);
    EXPECT_EQ(copy.reason(), "Permission denied");
    const ECommsError fromSystem = ECommsError::FromSystem(
        "Error opening serial port", TCommErrorKind::NotFound, {kvsys::kNativeSource, 2});
    EXPECT_EQ(fromSystem.reason(), kvsys::errorText(kvsys::kNativeSource, 2));
    EXPECT_FALSE(fromSystem.reason().empty());
}

struct NameCase {
    const char* given;
    const char* opened;
};

TEST(CommName, MapsComNamesAndKeepsOthers) {
#if defined(_WIN32)
    const NameCase cases[] = {{"COM1", "\\\\.\\COM1"},
                              {"COM2", "\\\\.\\COM2"},
                              {"COM10", "\\\\.\\COM10"},
                              {"COM19", "\\\\.\\COM19"},
                              {"COM256", "\\\\.\\COM256"},
                              {"COM1000", "\\\\.\\COM1000"},
                              {"COM1234567", "COM1234567"},
                              {"com12", "\\\\.\\COM12"},
                              {"Com3", "\\\\.\\COM3"},
                              {"cOM7", "\\\\.\\COM7"},
                              {"com0", "com0"},
                              {"\\\\.\\COM3", "\\\\.\\COM3"},
                              {"COM", "COM"},
                              {"COM0", "COM0"},
                              {"COMX", "COMX"}};
#else
    const NameCase cases[] = {{"COM1", "/dev/ttyS0"},
                              {"COM2", "/dev/ttyS1"},
                              {"COM10", "/dev/ttyS9"},
                              {"COM19", "/dev/ttyS18"},
                              {"COM256", "/dev/ttyS255"},
                              {"COM1000", "/dev/ttyS999"},
                              {"COM1234567", "COM1234567"},
                              {"com12", "/dev/ttyS11"},
                              {"Com3", "/dev/ttyS2"},
                              {"cOM7", "/dev/ttyS6"},
                              {"com0", "com0"},
                              {"con1", "con1"},
                              {"/dev/ttyUSB0", "/dev/ttyUSB0"},
                              {"/dev/pts/5", "/dev/pts/5"},
                              {"COM", "COM"},
                              {"COM0", "COM0"},
                              {"COMX", "COMX"},
                              {"COM1a", "COM1a"}};
#endif
    for (const NameCase& c : cases) EXPECT_EQ(detail::DeviceNameFor(c.given), c.opened) << c.given;
}

std::string OpenMessage(const std::string& name) {
    TComm c;
    c.SetCommName(name);
    try {
        c.Open();
    } catch (const ECommsError& e) {
        EXPECT_FALSE(c.IsOpen());
        return e.what();
    }
    return "(opened)";
}

TEST(CommOpen, ANameThatIsNoDeviceOrNotASerialPortFails) {
    const std::string file = ::testing::TempDir() + "spcomm_plain_file";
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(OpenMessage(file), "File handle is not a comm handle ");
    EXPECT_EQ(OpenMessage(::testing::TempDir() + "no_such_dir/port"), "Error opening serial port");
    std::remove(file.c_str());
}

TEST(CommOpen, AFailedOpenCarriesTheSystemsCodeAndText) {
#if defined(_WIN32)
    const int missing = 3;  // ERROR_PATH_NOT_FOUND
#else
    const int missing = ENOENT;
#endif
    TComm c;
    c.SetCommName(::testing::TempDir() + "no_such_dir/port");
    try {
        c.Open();
        ADD_FAILURE() << "opened";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Error opening serial port");
        EXPECT_EQ(e.code(), missing);
        EXPECT_EQ(e.system().source, kvsys::kNativeSource);
        EXPECT_EQ(e.kind(), TCommErrorKind::NotFound);
        EXPECT_EQ(e.reason(), kvsys::errorText(kvsys::kNativeSource, missing));
        EXPECT_FALSE(e.reason().empty());
    }
}

#if defined(_WIN32)
TEST(CommOpen, ACharacterDeviceThatIsNoCommPortCannotSetUpBuffers) {
    EXPECT_EQ(OpenMessage("NUL"), "Cannot setup comm buffer");
}
#endif

}  // namespace
}  // namespace spcomm
