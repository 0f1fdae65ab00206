// The telnet client of network ports: port names, data escaping both ways, answers to the
// server's option requests and the COM-PORT confirmations, fed as a server sends them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "SPComm/net/NetPortName.h"
#include "SPComm/net/Telnet.h"

namespace {

using namespace spcomm::detail::telnet;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::initializer_list<int> list) {
    Bytes out;
    for (int b : list) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TEST(NetPortName, ParsesTheTwoSchemesAndRefusesTheRest) {
    struct Case {
        const char* name;
        bool network;  // opened as a network port
        bool valid;
        spcomm::TNetProtocol protocol;
        const char* host;
        const char* port;
    };
    const auto rfc = spcomm::TNetProtocol::Rfc2217;
    const auto tcp = spcomm::TNetProtocol::Tcp;
    const Case cases[] = {
        {"rfc2217://127.0.0.1:4001", true, true, rfc, "127.0.0.1", "4001"},
        {"RFC2217://gateway.site:65535/", true, true, rfc, "gateway.site", "65535"},
        {"tcp://[::1]:4002", true, true, tcp, "::1", "4002"},
        {"Tcp://host:1", true, true, tcp, "host", "1"},
        {"tcp://::1:4002", true, false, tcp, "", ""},  // IPv6 needs brackets
        {"tcp://host:0", true, false, tcp, "", ""},
        {"tcp://host:65536", true, false, tcp, "", ""},
        {"tcp://host:", true, false, tcp, "", ""},
        {"tcp://:4001", true, false, tcp, "", ""},
        {"tcp://host", true, false, tcp, "", ""},
        {"rfc2217://[::1]4001", true, false, tcp, "", ""},
        {"tcp://user@host:23", true, false, tcp, "", ""},
        {"/dev/ttyUSB0", false, false, tcp, "", ""},
        {"COM3", false, false, tcp, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(spcomm::IsNetworkPortName(c.name), c.network) << c.name;
        const auto address = spcomm::ParseNetworkPortName(c.name);
        ASSERT_EQ(address.has_value(), c.valid) << c.name;
        if (!address) continue;
        EXPECT_EQ(address->protocol, c.protocol) << c.name;
        EXPECT_EQ(address->host, c.host) << c.name;
        EXPECT_EQ(address->port, c.port) << c.name;
    }
}

// A session after the server agreed to everything the client offered.
TTelnetSession agreed(bool binary) {
    TTelnetSession session(true);
    session.Greeting();
    Bytes data, answer;
    Bytes server = bytes({kIac, kDo, kComPort, kIac, kWill, kSuppressGoAhead});
    if (binary) {
        const Bytes b = bytes({kIac, kDo, kBinary, kIac, kWill, kBinary});
        server.insert(server.end(), b.begin(), b.end());
    }
    session.Receive(server.data(), server.size(), data, answer);
    EXPECT_TRUE(data.empty());
    EXPECT_TRUE(answer.empty()) << "answers to what the client asked for";
    return session;
}

TEST(Telnet, EscapesDataBothWaysWhateverHowItIsSplit) {
    struct Case {
        Bytes data;    // as on the serial line
        Bytes onWire;  // as on the connection
        bool binary;
    };
    const Case cases[] = {
        {bytes({'K', 0xFF, 'V'}), bytes({'K', 0xFF, 0xFF, 'V'}), true},
        {bytes({0xFF, 0xFF}), bytes({0xFF, 0xFF, 0xFF, 0xFF}), true},
        {bytes({'\r', 0, 0xFE, '\r', '\n'}), bytes({'\r', 0, 0xFE, '\r', '\n'}), true},
        // Until BINARY is agreed: a bare CR travels as CR NUL.
        {bytes({'a', '\r', 'b', '\r', '\n'}), bytes({'a', '\r', 0, 'b', '\r', '\n'}), false},
        {bytes({'\r'}), bytes({'\r', 0}), false},
    };
    for (const Case& c : cases) {
        TTelnetSession session = agreed(c.binary);
        Bytes sent;
        session.Escape(c.data.data(), c.data.size(), sent);
        EXPECT_EQ(sent, c.onWire);
        // Received in one piece and split at every place: the same data, no answers.
        for (std::size_t cut = 0; cut <= c.onWire.size(); ++cut) {
            TTelnetSession receiver = agreed(c.binary);
            Bytes data, answer;
            receiver.Receive(c.onWire.data(), cut, data, answer);
            receiver.Receive(c.onWire.data() + cut, c.onWire.size() - cut, data, answer);
            EXPECT_EQ(data, c.data) << "cut at " << cut;
            EXPECT_TRUE(answer.empty());
        }
    }
}

TEST(Telnet, AnswersEveryOptionRequestOnceAndNeverLoops) {
    struct Case {
        const char* what;
        Bytes server;
        Bytes answer;
        Bytes data;
    };
    const Case cases[] = {
        {"unknown DO refused", bytes({kIac, kDo, 24}), bytes({kIac, kWont, 24}), {}},
        {"unknown WILL refused", bytes({kIac, kWill, 1}), bytes({kIac, kDont, 1}), {}},
        {"asked again, refused again",
         bytes({kIac, kDo, 24, kIac, kDo, 24}),
         bytes({kIac, kWont, 24, kIac, kWont, 24}),
         {}},
        {"DONT of an option never on: no answer", bytes({kIac, kDont, 24}), {}, {}},
        {"agreed option switched off",
         bytes({kIac, kDont, kBinary}),
         bytes({kIac, kWont, kBinary}),
         {}},
        {"server's own WONT of an agreed option",
         bytes({kIac, kWont, kSuppressGoAhead}),
         bytes({kIac, kDont, kSuppressGoAhead}),
         {}},
        {"NOP, GA and AYT between data",
         bytes({'a', kIac, 241, 'b', kIac, 249, kIac, 246}),
         {},
         bytes({'a', 'b'})},
        {"signature asked",
         bytes({kIac, kSb, kComPort, 100, kIac, kSe}),
         [] {
             Bytes b = bytes({kIac, kSb, kComPort, 0});
             for (char c : std::string("kv480t-config")) b.push_back(static_cast<std::uint8_t>(c));
             b.push_back(kIac);
             b.push_back(kSe);
             return b;
         }(),
         {}},
        {"modem state and control notices ignored",
         bytes({kIac, kSb, kComPort, 107, 0x30, kIac, kSe, kIac, kSb, kComPort, 105, 8, kIac, kSe,
                'x'}),
         {},
         bytes({'x'})},
        {"broken subnegotiation ends at the next command",
         bytes({kIac, kSb, kComPort, 101, 1, kIac, kDo, 24, 'y'}), bytes({kIac, kWont, 24}),
         bytes({'y'})},
    };
    for (const Case& c : cases) {
        TTelnetSession session = agreed(true);
        Bytes data, answer;
        session.Receive(c.server.data(), c.server.size(), data, answer);
        EXPECT_EQ(answer, c.answer) << c.what;
        EXPECT_EQ(data, c.data) << c.what;
        EXPECT_FALSE(session.confirmed().baudRate) << c.what;
    }
}

TEST(Telnet, GreetsAndReadsTheServersConfirmations) {
    TTelnetSession session(true);
    EXPECT_EQ(session.Greeting(), bytes({kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kDo,
                                         kSuppressGoAhead, kIac, kWill, kComPort}));
    EXPECT_TRUE(session.Greeting().empty()) << "offers are made once";
    EXPECT_EQ(session.comPort(), TTelnetSession::ComPortState::Pending);

    Bytes data, answer;
    const Bytes refuse = bytes({kIac, kDont, kComPort});
    TTelnetSession refused(true);
    refused.Greeting();
    refused.Receive(refuse.data(), refuse.size(), data, answer);
    EXPECT_EQ(refused.comPort(), TTelnetSession::ComPortState::Refused);
    EXPECT_TRUE(answer.empty());

    // 9600 baud (0x2580), 8 bits, no parity, 1 stop bit; baud value with an escaped 0xFF.
    const Bytes set = TTelnetSession::SetLine({0x25FF, 8, 1, 1}, {1});
    EXPECT_EQ(set, bytes({kIac, kSb, kComPort, 1, 0, 0,    0x25, 0xFF, 0xFF, kIac, kSe,  //
                          kIac, kSb, kComPort, 2, 8, kIac, kSe,                          //
                          kIac, kSb, kComPort, 3, 1, kIac, kSe,                          //
                          kIac, kSb, kComPort, 4, 1, kIac, kSe,                          //
                          kIac, kSb, kComPort, 5, 1, kIac, kSe}));
    session = agreed(true);
    EXPECT_EQ(session.comPort(), TTelnetSession::ComPortState::Accepted);
    // The server answers with command + 100 and the values it set.
    Bytes confirm = set;
    for (std::size_t i = 0; i + 3 < confirm.size(); ++i)
        if (confirm[i] == kIac && confirm[i + 1] == kSb) confirm[i + 3] += 100;
    confirm.resize(confirm.size() - 7);  // control never confirmed
    for (std::size_t i = 0; i < confirm.size(); ++i) {
        EXPECT_FALSE(session.confirmed().complete()) << i;
        session.Receive(&confirm[i], 1, data, answer);
    }
    EXPECT_TRUE(session.confirmed().complete());
    EXPECT_EQ(*session.confirmed().baudRate, 0x25FFu);
    EXPECT_EQ(*session.confirmed().dataSize, 8);
    EXPECT_TRUE(data.empty());
    EXPECT_TRUE(answer.empty());
}

}  // namespace
