#include "protocol/ByteText.h"

#include <cstdint>

namespace kvproto {

namespace {

// The length of the UTF-8 sequence at `at`, 0 when there is none.
std::size_t sequenceAt(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    const std::size_t length = c < 0x80           ? 1
                               : (c >> 5) == 0x6  ? 2
                               : (c >> 4) == 0xE  ? 3
                               : (c >> 3) == 0x1E ? 4
                                                  : 0;
    if (length == 0 || at + length > text.size()) return 0;
    std::uint32_t code = length == 1 ? c : c & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3Fu);
    }
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// The length of the UTF-8 sequence at `at` that `beyond` keeps as it is, 0 when none.
std::size_t keptSequence(std::string_view text, std::size_t at, Escaping::Beyond beyond) {
    if (beyond != Escaping::Beyond::Utf8 && beyond != Escaping::Beyond::Utf8Text) return 0;
    const std::size_t length = sequenceAt(text, at);
    // U+0080..U+009F, the C1 controls, are C2 80..C2 9F.
    const bool c1 = length == 2 && static_cast<unsigned char>(text[at]) == 0xC2 &&
                    static_cast<unsigned char>(text[at + 1]) < 0xA0;
    return c1 && beyond == Escaping::Beyond::Utf8Text ? 0 : length;
}

void appendHex(std::string& out, unsigned char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

}  // namespace

std::string escapedBytes(std::string_view bytes, Escaping how) {
    using Controls = Escaping::Controls;
    using Beyond = Escaping::Beyond;
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20) {
            if (how.controls == Controls::Named && (c == '\r' || c == '\n' || c == '\t')) {
                out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\t";
            } else if (how.controls == Controls::Lines && c == '\r' && i + 1 < bytes.size() &&
                       bytes[i + 1] == '\n') {
                // CR LF ends a line as LF does
            } else if ((how.controls == Controls::Lines && (c == '\n' || c == '\t')) ||
                       (how.controls == Controls::Tab && c == '\t')) {
                out += static_cast<char>(c);
            } else {
                appendHex(out, c);
            }
        } else if (c == 0x7F) {
            appendHex(out, c);
        } else if (c < 0x80) {
            out += c == '\\' && how.doubleBackslash ? "\\\\" : std::string(1, static_cast<char>(c));
        } else if (how.beyond == Beyond::Keep) {
            out += static_cast<char>(c);
        } else if (how.beyond == Beyond::Latin1 && c >= 0xA0) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (const std::size_t length = keptSequence(bytes, i, how.beyond); length > 1) {
            out.append(bytes.substr(i, length));
            i += length - 1;
        } else {
            appendHex(out, c);
        }
    }
    return out;
}

bool validUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = sequenceAt(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool utf8ToLatin1(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += text[i];
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
            out += static_cast<char>(((c & 0x03) << 6) | (text[++i] & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace kvproto
