// Profile files: a collector's configuration kept as JSON, to be written to one or many
// collectors and verified by read-back.
//
//   {
//     "format": "kv480t-profile",
//     "version": 1,
//     "saved": "2026-12-08T10:15:00Z",
//     "port": "/dev/ttyUSB0",
//     "tool": "kv480t",
//     "settings": {
//       "rs485.baud": "9600",
//       ...
//     }
//   }
//
// Files written before "port" and "tool" were kept apart hold "source": the port, or the
// window's name "kv480t-config"; it is read into the field it names.
//
// UTF-8, one key per line, settings in the model's order, values as the model writes them.
// By default a profile holds the configuration parameters only: the station address
// (identity) and the counter bases are saved, and written, only when asked for, so cloning a
// profile never gives two collectors the same address nor resets a running count.
//
// Reading checks all of a file before anything is used: malformed JSON, an unknown format or
// version, an unknown name, a value that is not a text, a value its parameter's rule refuses,
// or a set command with some of its values but not all, each give one message naming the
// file, the key and the rule. Files come from other people: the reader takes any bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "protocol/CollectorSettings.h"

namespace kvprofile {

inline constexpr std::string_view kFormat = "kv480t-profile";
inline constexpr int kVersion = 1;
// The programs that save profiles, as their "tool" field names them.
inline constexpr std::string_view kWindowTool = "kv480t-config";
inline constexpr std::string_view kCommandLineTool = "kv480t";

// What a profile holds beyond the configuration, and the rules that go with it, are the
// collector settings' own (CollectorSettings.h).
using kvproto::filtered;
using kvproto::Include;
using kvproto::included;
using kvproto::incompleteCommand;

struct Profile {
    std::string saved;   // UTC time, ISO 8601; may be empty
    std::string port;  // the port the settings were read from; may be empty
    std::string tool;  // the program that saved the file ("kv480t", "kv480t-config"); may be empty
    kvproto::CollectorSettings settings;
};

// The file's text. `settings` are written as they are (filter them first).
std::string writeProfile(const Profile& profile);

struct ReadResult {
    std::optional<Profile> profile;
    std::string error;  // when there is no profile: "<file>: <key>: <what is wrong>"
};

// `file` names the source in messages.
ReadResult parseProfile(std::string_view text, std::string_view file);
ReadResult readProfileFile(const std::string& path);
// Replaces the file whole (files/ReplacingFile.h): false with `error` set ("<path>: cannot be
// written (<reason>)") when it cannot be written, and then the old file is unchanged.
bool writeProfileFile(const std::string& path, const Profile& profile, std::string* error);

// The current time as the "saved" field wants it.
std::string utcNow();

}  // namespace kvprofile
