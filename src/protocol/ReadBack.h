// Parameter read-back: the collector's answer to "PPPPPP#CHEACK1#" carries its settings
// as tagged fields. Each row of the table names a tag, the positions (relative to the
// tag's first character) of the characters that follow it and the controls that receive
// them. Rows run in table order, each with its own scan from the start of the reply.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "protocol/WindowInterfaces.h"

namespace kvproto {

struct ReadBackValue {
    std::size_t offset;  // first character, counted from the tag's first character
    std::size_t width;   // number of characters
    bool isIndex;        // true: one digit -> list item index; false: text as received
    std::string_view control;
};

struct ReadBackRow {
    // Only these characters are compared; characters between the tag and the values, or
    // between values, are skipped untested.
    std::string_view tag;
    std::array<ReadBackValue, 3> values;
    std::size_t valueCount;

    std::span<const ReadBackValue> valueSpan() const { return {values.data(), valueCount}; }
};

std::span<const ReadBackRow> readBackRows();

// Position of the first occurrence of tag in reply, or npos.
std::size_t findTag(std::string_view reply, std::string_view tag);

// Applies every row to the controls:
// - a tag that does not occur leaves its controls unchanged;
// - a tag whose value positions reach past the end of the reply is skipped whole (first
//   occurrence only: a later one would lie even closer to the end);
// - a text value is set exactly as received; an index value is converted as an integer and
//   set as the list's item index (beyond the items: no selection).
// A character that is not a valid integer throws ConversionError: rows before it (and the
// values of its own row before it) stay applied, later ones are not applied.
void applyReadBack(std::string_view reply, Controls& controls);

}  // namespace kvproto
