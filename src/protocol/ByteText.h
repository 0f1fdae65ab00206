// Bytes shown as text: the one escaper of the tool. The collector's frames and replies, a
// traffic log's data, a value in a message, a report's cells: each place escapes what it
// cannot show as "\xNN" (two upper-case hex digits), and differs only in what it keeps.
//
//   controls  Hex    every control character (below 0x20) as \xNN
//             Named  \r, \n and \t by name, the others as \xNN
//             Lines  a terminal's lines: LF and TAB kept, CR dropped before LF, the others \xNN
//             Tab    TAB kept, the others as \xNN
//   beyond    Hex    every byte above 0x7F as \xNN
//             Keep   bytes above 0x7F as they are (text already in UTF-8)
//             Utf8   well-formed UTF-8 sequences kept, every other byte above 0x7F as \xNN
//             Utf8Text  as Utf8, but the C1 control characters (U+0080..U+009F) escaped too,
//                    each byte of their sequence as \xNN: UTF-8 text for a terminal
//             Latin1 each byte above 0x7F read as its Latin-1 character and written in UTF-8
//                    (0xFC as "\xC3\xBC", u with diaeresis), the C1 controls 0x80..0x9F as \xNN
//   doubleBackslash: a backslash as "\\", so that the escapes read back unambiguously.
// DEL (0x7F) is always \xNN. Printable ASCII is kept.
#pragma once

#include <string>
#include <string_view>

namespace kvproto {

struct Escaping {
    enum class Controls { Hex, Named, Lines, Tab };
    enum class Beyond { Hex, Keep, Utf8, Utf8Text, Latin1 };
    Controls controls = Controls::Hex;
    Beyond beyond = Beyond::Hex;
    bool doubleBackslash = false;
};

std::string escapedBytes(std::string_view bytes, Escaping how = {});

// Latin-1 bytes (the collector's) as the characters of the same numbers, in UTF-8: JSON's
// text; utf8ToLatin1() back, false when a character is beyond U+00FF (`text` must be UTF-8).
std::string latin1ToUtf8(std::string_view bytes);
bool utf8ToLatin1(std::string_view text, std::string& out);

// Whether the bytes are UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool validUtf8(std::string_view text);

}  // namespace kvproto
