// Fuzzes the telnet client of network ports with what a server might send. The input is split
// into two reads at a position taken from its first byte; whatever the split, the data and the
// answers must be those of the unsplit input, the data never longer than what came, and data
// escaped for sending must read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "SPComm/net/Telnet.h"

namespace {

using spcomm::detail::telnet::TTelnetSession;
using Bytes = std::vector<std::uint8_t>;

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size == 0) return 0;
    const bool comPort = (input[0] & 0x80) != 0;
    const std::size_t cut = size > 1 ? input[0] % size : 0;
    ++input;
    --size;

    TTelnetSession whole(comPort), split(comPort);
    whole.Greeting();
    split.Greeting();
    Bytes wholeData, wholeAnswer, splitData, splitAnswer;
    whole.Receive(input, size, wholeData, wholeAnswer);
    const std::size_t first = cut < size ? cut : size;
    split.Receive(input, first, splitData, splitAnswer);
    split.Receive(input + first, size - first, splitData, splitAnswer);
    check(wholeData == splitData);
    check(wholeAnswer == splitAnswer);
    check(wholeData.size() <= size);
    check(whole.confirmed().baudRate == split.confirmed().baudRate);

    // What this session would send of the data reads back as the data on a session that
    // agreed the same modes.
    Bytes sent;
    whole.Escape(wholeData.data(), wholeData.size(), sent);
    TTelnetSession peer(false);
    Bytes ignored, back;
    peer.Greeting();
    if (whole.sendBinary()) {
        const Bytes agree = {255, 251, 0};  // WILL BINARY: the peer's receive side turns binary
        peer.Receive(agree.data(), agree.size(), ignored, ignored);
    }
    peer.Receive(sent.data(), sent.size(), back, ignored);
    check(back == wholeData);
    return 0;
}
