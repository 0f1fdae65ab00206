#include "protocol/SetCommands.h"

#include <charconv>
#include <stdexcept>
#include <vector>

#include "protocol/CollectorSettings.h"
#include "protocol/Conversions.h"

namespace kvproto {

namespace {

std::vector<SetCommand> deriveCommands() {
    std::vector<SetCommand> commands;
    for (const Parameter& p : parameters()) {
        SetCommand* command = nullptr;
        for (SetCommand& c : commands)
            if (c.word == p.command) command = &c;
        if (!command) {
            commands.push_back(SetCommand{p.button, p.command, {}, {}, 0, p.sequence});
            command = &commands.back();
        }
        command->fields[p.field] = FieldSpec{p.control, p.encoding};
        command->parameters[p.field] = &p;
        command->fieldCount = std::max(command->fieldCount, p.field + 1);
    }
    return commands;
}

const std::vector<SetCommand>& commandTable() {
    static const std::vector<SetCommand> table = deriveCommands();
    return table;
}

}  // namespace

std::span<const SetCommand> setCommands() {
    return commandTable();
}

const SetCommand* findSetCommand(std::string_view button) {
    for (const SetCommand& command : commandTable())
        if (command.button == button) return &command;
    return nullptr;
}

const SetCommand* findSetCommandByWord(std::string_view word) {
    for (const SetCommand& command : commandTable())
        if (command.word == word) return &command;
    return nullptr;
}

const SetCommand& setCommandFor(const Parameter& parameter) {
    return *findSetCommandByWord(parameter.command);
}

std::optional<RangeFields> rangeFields(const SetCommand& command) {
    std::optional<std::size_t> upper, lower;
    const auto parameters = command.parameterSpan();
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i]->name.ends_with(".urv")) upper = i;
        if (parameters[i]->name.ends_with(".lrv")) lower = i;
    }
    if (!upper || !lower) return std::nullopt;
    return RangeFields{*upper, *lower};
}

bool rangeTaken(std::string_view upper, std::string_view lower) {
    const auto number = [](std::string_view text) {
        double value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
    };
    return number(upper) > number(lower);
}

std::string buildSetFrame(const SetCommand& command, const CollectorSettings& settings) {
    std::vector<std::string> values;
    for (const Parameter* p : command.parameterSpan()) {
        const std::optional<std::string>& value = settings.get(*p);
        if (!value)
            throw std::invalid_argument(std::string(p->name) + " has no value (the " +
                                        std::string(command.word) + " command sends it)");
        values.push_back(encodeValue(p->encoding, p->isList()
                                                      ? EncodedField{settings.itemIndex(*p), {}}
                                                      : EncodedField{-1, *value}));
    }
    return assembleSetFrame(command.word, values);
}

}  // namespace kvproto
