// Parameter read-back: the collector's answer to "PPPPPP#CHEACK1#" carries its settings
// as tagged fields. The rows derive from the parameter table: each names a tag, the
// positions (relative to the tag's first character) of the characters that follow it and
// the parameters (controls) that receive them. Rows run in their scan order, each with its
// own scan from the start of the reply.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/CollectorSettings.h"
#include "protocol/Parameters.h"

namespace kvproto {

struct ReadBackValue {
    std::size_t offset;  // first character, counted from the tag's first character
    std::size_t width;   // number of characters
    bool isIndex;        // true: one digit -> list item index; false: text as received
    std::string_view control;
    const Parameter* parameter = nullptr;
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

// Receives the values of the read-back, in row order.
class ReadBackSink {
public:
    virtual ~ReadBackSink() = default;
    virtual void text(const ReadBackValue& value, std::string_view chars) = 0;
    virtual void index(const ReadBackValue& value, int index) = 0;
};

// Runs every row over the reply:
// - a tag that does not occur gives nothing;
// - a tag whose value positions reach past the end of the reply is skipped whole (first
//   occurrence only: a later one would lie even closer to the end);
// - a text value is given exactly as received; an index value is converted as an integer.
// A character that is not a valid integer throws ConversionError: rows before it (and the
// values of its own row before it) have been given, later ones are not.
void runReadBack(std::string_view reply, ReadBackSink& sink);

// True when every row's tag occurs with all its value positions inside the reply.
bool readBackComplete(std::string_view reply);

// A counter base's digits as the listing reports them under its own tag ("LP1:00001234"), or
// nothing when the tag is absent or its digits are cut short.
std::optional<std::string_view> listedCounterBase(std::string_view reply, const Parameter& p);

// The read-back into settings. A value its parameter refuses (an item number beyond the
// list, characters the rule does not take) is left out and described in `problems`.
// Throws ConversionError as runReadBack does.
CollectorSettings readBackSettings(std::string_view reply, std::vector<std::string>* problems);

}  // namespace kvproto
