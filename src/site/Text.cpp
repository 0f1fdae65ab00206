#include "site/Text.h"

#include "protocol/ByteText.h"

namespace kvsite {

bool validUtf8(std::string_view text) {
    return kvproto::validUtf8(text);
}

std::string readableText(std::string_view bytes) {
    using kvproto::Escaping;
    return kvproto::escapedBytes(bytes, {Escaping::Controls::Tab, Escaping::Beyond::Utf8});
}

std::string htmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace kvsite
