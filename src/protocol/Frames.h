// Command frames sent to the collector. A frame is printable ASCII written in one piece,
// with no length, checksum or line ending; its last byte is always '#'.
//
//   set frame:    "KORVEL#" word ":" field ("," field)* "#"
//   query/action: "PPPPPP#" word "#"   or   "KORVEL#RESET#"
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kvproto {

inline constexpr std::string_view kSetPrefix = "KORVEL#";
inline constexpr std::string_view kQueryPrefix = "PPPPPP#";

// The fixed frames of the query and action buttons.
inline constexpr std::string_view kReadParametersFrame = "PPPPPP#CHEACK1#";
inline constexpr std::string_view kCommunicationTestFrame = "PPPPPP#VAR#";
inline constexpr std::string_view kDataQueryFrame = "PPPPPP#STATUS#";
inline constexpr std::string_view kParameterResetFrame = "KORVEL#RESET#";

// How one field of a set frame is taken from its control.
enum class Encoding {
    Index,  // drop-down list: zero-based item index in decimal, "-1" with no selection
    Pad3,   // entry field: integer, zero-padded to at least 3 digits
    Pad8,   // entry field: integer, zero-padded to at least 8 digits
    Text,   // entry field: the text exactly as typed, empty included
};

struct FieldSpec {
    std::string_view control;
    Encoding encoding;
};

// One field's source value: the item number of a list (Index), the text otherwise.
struct EncodedField {
    int index = -1;
    std::string text;
};

// The field's value text. Pad3/Pad8 throw ConversionError when the text is not a valid
// integer; Index and Text never fail.
std::string encodeValue(Encoding encoding, const EncodedField& field);

// "KORVEL#" word ":" values joined by "," "#".
std::string assembleSetFrame(std::string_view word, std::span<const std::string> values);

}  // namespace kvproto
