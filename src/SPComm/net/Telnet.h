// TTelnetSession: the client's side of a telnet connection to a serial device server, with
// the COM-PORT option (RFC 2217) when asked for. No I/O: it is fed the bytes received and
// hands back the data they carry and the bytes to answer with; it escapes data to send.
//
// - Data: IAC (0xFF) is doubled in data sent and undoubled in data received. Until BINARY is
//   agreed in a direction, a CR sent is followed by NUL unless LF follows, and a NUL after a
//   CR received is dropped (the NVT rule); with BINARY, bytes pass as they are.
// - Options: the client offers WILL BINARY, DO BINARY, DO SUPPRESS-GO-AHEAD and, for RFC 2217,
//   WILL COM-PORT-OPTION. Every other DO is answered WONT and every other WILL DONT; a request
//   that changes nothing is not answered again, so no exchange loops and the server never waits
//   on the client.
// - COM-PORT subnegotiation: the server's confirmations of baud rate, data size, parity and
//   stop size are kept (lineSettings()); control-line confirmations, line and modem state
//   notices and flow-control suspend/resume are read and ignored (a server in front of a
//   line without modem signals may never confirm a control setting). A signature request
//   is answered. Subnegotiations longer than 64 bytes are dropped whole.
//
// One session per connection; not thread-safe (its owner serialises the calls).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace spcomm::detail::telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

// COM-PORT commands, client to server (the server answers with the same number + 100).
enum ComPortCommand : std::uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kPurgeData = 12,
};
inline constexpr std::uint8_t kServerOffset = 100;

// Values of the line settings as RFC 2217 numbers them.
struct ComPortLine {
    std::uint32_t baudRate = 9600;
    std::uint8_t dataSize = 8;  // 5..8
    std::uint8_t parity = 1;    // 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::uint8_t stopSize = 1;  // 1 one, 2 two, 3 one and a half
    bool operator==(const ComPortLine&) const = default;
};

// What the server confirmed so far.
struct ComPortConfirmed {
    std::optional<std::uint32_t> baudRate;
    std::optional<std::uint8_t> dataSize, parity, stopSize;
    bool complete() const { return baudRate && dataSize && parity && stopSize; }
};

class TTelnetSession {
public:
    enum class ComPortState { NotAsked, Pending, Accepted, Refused };

    // comPort: ask for the COM-PORT option (RFC 2217); otherwise plain telnet options only.
    explicit TTelnetSession(bool comPort);

    // The client's opening offers, to send once right after connecting.
    std::vector<std::uint8_t> Greeting();

    // Feeds received bytes: the data they carry is appended to `data`, what the client must
    // send back (option answers) to `answer`.
    void Receive(const std::uint8_t* bytes, std::size_t length, std::vector<std::uint8_t>& data,
                 std::vector<std::uint8_t>& answer);

    // Appends `length` data bytes to `out`, escaped for the connection.
    void Escape(const std::uint8_t* bytes, std::size_t length,
                std::vector<std::uint8_t>& out) const;

    // The subnegotiations that set the line (baud rate, data size, parity, stop size) and the
    // control lines given (each value a SET-CONTROL number: flow control, DTR, RTS).
    static std::vector<std::uint8_t> SetLine(const ComPortLine& line,
                                             const std::vector<std::uint8_t>& controls);
    // One COM-PORT subnegotiation, its value escaped.
    static void AppendComPort(std::uint8_t command, const std::vector<std::uint8_t>& value,
                              std::vector<std::uint8_t>& out);

    ComPortState comPort() const { return comPort_; }
    const ComPortConfirmed& confirmed() const { return confirmed_; }
    void ForgetConfirmations() { confirmed_ = {}; }
    bool sendBinary() const { return local_[kBinary].enabled; }
    bool receiveBinary() const { return remote_[kBinary].enabled; }

private:
    struct Option {
        bool enabled = false;
        bool requested = false;  // we asked and await the answer
    };
    enum class State { Data, Iac, Verb, Sub, SubIac };

    void Command(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& answer);
    void Subnegotiation(std::vector<std::uint8_t>& answer);
    bool LocalSupported(std::uint8_t option) const;
    static bool RemoteSupported(std::uint8_t option);

    bool wantComPort_;
    ComPortState comPort_;
    ComPortConfirmed confirmed_;
    Option local_[256];   // options the client performs (WILL/WONT; server's DO/DONT)
    Option remote_[256];  // options the server performs (DO/DONT; server's WILL/WONT)
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    bool lastWasCr_ = false;
    std::vector<std::uint8_t> sub_;
    bool subOverflow_ = false;
};

}  // namespace spcomm::detail::telnet
