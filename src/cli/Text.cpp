#include "cli/Text.h"

namespace kvcli {

const char* const kExitCodesHelp =
    "Exit codes:\n"
    "  0  done\n"
    "  1  the collector's answer differs from what was asked\n"
    "  2  usage error or bad input\n"
    "  3  port error (cannot open the port, write refused, the line hung up)\n"
    "  4  no answer in time\n"
    "  5  answer not understood";

int exitCodeFor(const kvops::Error& error) {
    switch (error.code) {
        case kvops::ErrorCode::None:
            return kExitDone;
        case kvops::ErrorCode::NoAnswer:
            return kExitNoAnswer;
        case kvops::ErrorCode::NotUnderstood:
            return kExitNotUnderstood;
        case kvops::ErrorCode::BadRequest:
            return kExitUsage;
        default:
            return kExitPort;
    }
}

std::string printable(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        if (c == '\n' || c == '\t' || (c >= 0x20 && c < 0x7f)) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace kvcli
