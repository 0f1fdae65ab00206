// Text from outside (a plan's cells, a collector's replies, ports' names) made safe for where
// it lands in a report.
#pragma once

#include <string>
#include <string_view>

namespace kvsite {

// Whether the bytes are UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool validUtf8(std::string_view text);

// UTF-8 text as it stands; a byte that is a control character (but tab) or not part of
// UTF-8 becomes "\xNN", so that any bytes give valid, visible UTF-8 (kvproto::escapedBytes).
std::string readableText(std::string_view bytes);

// For HTML text and attribute values: & < > " ' as character references.
std::string htmlEscaped(std::string_view text);

}  // namespace kvsite
