#include "protocol/SetCommands.h"

namespace kvproto {

namespace {

using E = Encoding;
using S = SendSequence;

constexpr SetCommand one(std::string_view button, std::string_view word, FieldSpec field,
                         S sequence) {
    return {button, word, {field, {}, {}}, 1, sequence};
}

constexpr SetCommand channel(std::string_view button, std::string_view word, std::string_view urv,
                             std::string_view lrv, std::string_view start) {
    return {button, word, {{{urv, E::Text}, {lrv, E::Text}, {start, E::Text}}}, 3, S::A};
}

constexpr std::array<SetCommand, 22> kCommands{{
    {"Button188", "AR485X", {{{"MR485BT", E::Index}, {"MR485JN", E::Index}, {}}}, 2, S::A},
    one("Button4", "ST", {"Station", E::Pad3}, S::A),
    one("Button46", "DI01", {"DIN1", E::Index}, S::A),
    one("Button47", "DI02", {"DIN2", E::Index}, S::A),
    one("Button15", "PUDL", {"PUDLING", E::Index}, S::B),
    one("Button8", "MTM", {"Edit3", E::Pad3}, S::D),
    one("Button52", "LP1", {"PUSET1", E::Pad8}, S::A),
    one("Button53", "LP2", {"PUSET2", E::Pad8}, S::A),
    channel("AD1SET", "AIN1", "AD1H", "AD1L", "AD1LD"),
    channel("AD2SET", "AIN2", "AD2H", "AD2L", "AD2LD"),
    channel("Button1", "AIN3", "AD3H", "AD3L", "AD3LD"),
    channel("Button2", "AIN4", "AD4H", "AD4L", "AD4LD"),
    one("Button85", "AXS1", {"AD1XISHU", E::Text}, S::A),
    one("Button86", "AXS2", {"AD2XISHU", E::Text}, S::A),
    one("Button9", "AXS3", {"AD3XISHU", E::Text}, S::A),
    one("Button11", "AXS4", {"AD4XISHU", E::Text}, S::A),
    one("PButton52", "LPN", {"PUSET3", E::Pad8}, S::C),
    one("Button3", "LPF", {"PUSET1XIAO", E::Text}, S::B),
    one("Button7", "MDL", {"ComboBox1", E::Index}, S::A),
    one("Button6", "MKT", {"Edit2", E::Pad3}, S::A),
    one("Button5", "ZOM", {"Edit1", E::Text}, S::B),
    one("Button12", "BR485X", {"BRS485NX", E::Index}, S::A),
}};

}  // namespace

std::span<const SetCommand> setCommands() {
    return kCommands;
}

const SetCommand* findSetCommand(std::string_view button) {
    for (const SetCommand& command : kCommands) {
        if (command.button == button) return &command;
    }
    return nullptr;
}

}  // namespace kvproto
