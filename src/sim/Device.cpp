#include "sim/Device.h"

#include <vector>

#include "protocol/SetCommands.h"
#include "sim/DeviceRules.h"

namespace kvsim {

namespace {

const std::string kBrokenFrame = "ERR:FRAME\r\n";
const std::string kUnknownCommand = "ERR:COMMAND\r\n";

bool printable(std::string_view s) {
    for (char c : s)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

bool isWord(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

std::vector<std::string_view> split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = s.find(separator);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos) return parts;
        s.remove_prefix(at + 1);
    }
}

}  // namespace

Device::Device(DeviceState initial, DeviceOptions options)
    : options_(std::move(options)), state_(std::move(initial)) {}

std::string Device::receive(std::string_view bytes, Millis now) {
    std::string answers;
    for (const Frame& frame : assembler_.feed(bytes)) answers += handle(frame, now);
    return answers;
}

std::string Device::handle(const Frame& frame, Millis now) {
    const std::string_view bytes = frame.bytes;
    if (!frame.complete || bytes.size() < FrameAssembler::kPrefixSize + 1 || !bytes.ends_with('#'))
        return kBrokenFrame;
    const std::string_view body =
        bytes.substr(FrameAssembler::kPrefixSize, bytes.size() - FrameAssembler::kPrefixSize - 1);
    const bool readable = printable(body);
    if (bytes.starts_with(kSetPrefix) && body == "RESET") return handleSet(body, now);
    if (bytes.starts_with(kSetPrefix))
        return setAnswer(bytes, readable ? handleSet(body, now) : kBrokenFrame);
    if (readable && bytes.starts_with(kQueryPrefix)) return handleQuery(body, now);
    return kBrokenFrame;
}

std::string Device::setAnswer(std::string_view frame, std::string answer) const {
    switch (options_.setAnswer) {
        case SetAnswer::Ok:
            break;
        case SetAnswer::EchoFrame:
            return std::string(frame) + answer;
        case SetAnswer::Other:
            return "SET SUCCESS\r\n";
        case SetAnswer::None:
            return {};
    }
    return answer;
}

std::string Device::handleSet(std::string_view body, Millis now) {
    if (body == "RESET") {
        state_ = factoryDefaults();
        origins_.restartAll(now);
        return "OK:RESET\r\n";
    }
    const auto colon = body.find(':');
    if (colon == std::string_view::npos || !isWord(body.substr(0, colon))) return kBrokenFrame;
    const std::string_view word = body.substr(0, colon);
    const kvproto::SetCommand* command = kvproto::findSetCommandByWord(word);
    if (!command) return kUnknownCommand;

    const auto values = acceptFields(*command, split(body.substr(colon + 1), ','));
    if (!values) return "ERR:" + std::string(word) + ":VALUE\r\n";

    // A collector that keeps its old values still acknowledges the new ones.
    const bool kept = options_.keptWords.contains(word);
    std::string answer = "OK:" + std::string(word) + ":";
    const auto parameters = command->parameterSpan();
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const kvproto::Parameter& p = *parameters[i];
        if (!kept) {
            state_.set(p, (*values)[i]);
            // A new base value restarts its counter from that value.
            if (p.kind == kvproto::ParameterKind::CounterBase) origins_.restart(p, now);
        }
        if (i > 0) answer += ',';
        answer += (*values)[i];
    }
    return answer + "\r\n";
}

std::string Device::handleQuery(std::string_view body, Millis now) {
    if (body == "CHEACK1")
        return parameterText(state_, options_.plainListing ? Listing::Plain : Listing::Full);
    if (body == "VAR") return versionText(state_);
    if (body == "STATUS") return statusText(state_, origins_, now);
    return isWord(body) ? kUnknownCommand : kBrokenFrame;
}

}  // namespace kvsim
