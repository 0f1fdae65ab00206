// The collector's parameters: one table row per setting, the only place where the
// collector's settings are listed. Everything else derives from it:
//   - the 22 set commands and the fields of their frames (SetCommands.h),
//   - the read-back rows of the parameter listing (ReadBack.h),
//   - the key filters of the window's entry fields and the window's control mapping,
//   - the simulated collector's settings and what it accepts,
//   - CollectorSettings (name -> value) that the client, the simulator and files exchange.
//
// Rows are in the window's order (the order of the set commands), which is also the order of
// profile files and of listings by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Frames.h"

namespace kvproto {

// The send sequences of the set commands. The order of their steps is visible to the user
// (send buffer, receive buffer, time-out timer), so each is kept exactly:
//   A  build, show frame, clear receive buffer, write.
//   B  clear send buffer, clear receive buffer, time-out kind 0 and enable Timer3,
//      build, show frame, write, pending 100.
//   C  A, then pending 100.
//   D  enable Timer3, build, show frame, clear receive buffer, write, pending 100,
//      time-out kind 3, Timer3 interval 3000 ms and enabled (the time-out counts from the
//      write). A conversion error stops it after the first step: Timer3 stays enabled.
enum class SendSequence { A, B, C, D };

enum class ParameterKind {
    Configuration,  // the same on every collector of a site
    Identity,       // the station address: unique per collector on a bus
    CounterBase,    // writing it restarts a running count
};

// Characters a value may hold (and the characters the window's key filter lets through).
enum class CharSet {
    Numeric,        // "0".."9"
    SignedDecimal,  // digits, "." and "-" in any position and number
};

// What the collector itself accepts for a value (the simulated collector enforces it).
enum class DeviceRule {
    Index,     // a list item number 0..deviceMax
    Unsigned,  // an unsigned integer deviceMin..deviceMax, reported zero-padded to readWidth
    Decimal,   // a decimal number, reported normalised to readWidth characters
    SignedDecimal,
};

struct Parameter {
    std::string_view name;     // stable name, e.g. "ad1.urv"
    std::string_view control;  // the window control that shows it
    // Set command: the button, its command word, this value's place among the frame's
    // fields, the send sequence and how the value is written into the frame.
    std::string_view button;
    std::string_view command;
    std::size_t field = 0;
    SendSequence sequence = SendSequence::A;
    Encoding encoding = Encoding::Text;
    // Input rule: drop-down lists take one of `items`; entry fields take `chars`, at most
    // `width` characters. keyFilter: the window filters typed keys by this rule.
    std::span<const std::string_view> items = {};
    CharSet chars = CharSet::Numeric;
    int width = 0;
    bool keyFilter = false;
    // Read-back: row number in the read-back's scan order (0: not read back), the compared tag
    // characters and where the value stands relative to the tag's first character. A
    // parameter with a tag but no row (the counter bases) is reported in the collector's
    // listing without being read back into the window.
    int readRow = 0;
    std::string_view tag = {};
    std::size_t offset = 0;
    std::size_t readWidth = 0;
    ParameterKind kind = ParameterKind::Configuration;
    // What the collector itself accepts (the simulated collector enforces it).
    DeviceRule device = DeviceRule::Index;
    std::int64_t deviceMin = 0;
    std::int64_t deviceMax = 0;

    bool isList() const { return encoding == Encoding::Index; }
    bool readBack() const { return readRow > 0; }
};

inline constexpr std::size_t kParameterCount = 31;

std::span<const Parameter> parameters();
const Parameter* findParameter(std::string_view name);
// Position of the row in parameters().
std::size_t parameterIndex(const Parameter& parameter);

// The form of a parameter's value: what checkValue() takes, in parts.
struct ValueForm {
    enum class Kind {
        List,     // one of the items, by its text or its number
        Number,   // a whole number within [min, max], digits only
        Digits,   // digits only, any number of up to `width` of them
        Decimal,  // digits with one '.' at most; '-' in front when `isSigned`
    };
    Kind kind = Kind::Digits;
    int width = 0;  // entry fields: at most this many characters (lists: 0)
    bool isSigned = false;
    // Number and Digits: the collector's range; List: the item numbers. Decimal: none.
    std::optional<std::int64_t> min, max;
    // List: every item's text in number order; empty: the item is given by its number only.
    std::vector<std::string_view> items;
};

ValueForm valueForm(const Parameter& parameter);
// "list", "number", "digits", "decimal".
std::string_view formKindWords(ValueForm::Kind kind);

// What the parameter accepts, in words (the parts of valueForm()): "one of 1200, 2400, ... (or the
// item number 0..9)", "digits only, 1 to 8 characters", "a whole number from 1 to 247, 1 to 6
// digits", "a decimal number, 1 to 6 characters: digits, one '.' at most, '-' only in front".
std::string ruleText(const Parameter& parameter);

// A value checked against its parameter's rule.
struct CheckedValue {
    bool ok = false;
    std::string value;  // the value as the model writes it (lists: the item's text)
    std::string error;  // when !ok: why, naming the parameter and its rule
};

// The one check of a value, for every way a value comes in (kv480t set, profiles, site
// plans): what the collector itself takes (DeviceRule), within what the window's field
// holds. Lists: a value equal to an item's text selects that item; otherwise a whole number
// selects the item at that index; nothing else is accepted. A list value is written as the
// item's text, or as its number when the text is empty or not unique in the list.
// Entry fields: 1 to `width` characters, and by the device rule: Unsigned digits only, from
// deviceMin to deviceMax; Decimal digits with one '.' at most; SignedDecimal the same with
// one '-' in front allowed. The error names the parameter, the value and ruleText().
CheckedValue checkValue(const Parameter& parameter, std::string_view value);

// The item number a written list value stands for; -1 when it is none.
int itemNumber(const Parameter& parameter, std::string_view value);
// A list item number as the model writes it; nullopt outside the list.
std::optional<std::string> itemValue(const Parameter& parameter, int index);

}  // namespace kvproto
