#include "profile/Profile.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "files/Clock.h"
#include "files/ReplacingFile.h"
#include "protocol/SetCommands.h"
#include "system/SystemError.h"

namespace kvprofile {

namespace {

using Json = nlohmann::ordered_json;

std::string fail(std::string_view file, std::string_view key, const std::string& what) {
    std::string out(file);
    out += ": ";
    if (!key.empty()) out.append(key).append(": ");
    return out + what;
}

}  // namespace

std::string writeProfile(const Profile& profile) {
    Json settings = Json::object();
    for (const auto& [parameter, value] : profile.settings.entries())
        settings[std::string(parameter->name)] = value;
    Json doc = Json::object();
    doc["format"] = kFormat;
    doc["version"] = kVersion;
    doc["saved"] = profile.saved;
    doc["port"] = profile.port;
    doc["tool"] = profile.tool;
    doc["settings"] = std::move(settings);
    // Values are ASCII; anything else in "port" or "tool" is kept as UTF-8 (invalid bytes
    // replaced).
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

ReadResult parseProfile(std::string_view text, std::string_view file) {
    ReadResult result;
    Json doc;
    try {
        doc = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        const auto* parse = dynamic_cast<const Json::parse_error*>(&e);
        result.error = fail(file, "",
                            parse ? "not valid JSON (at byte " + std::to_string(parse->byte) + ")"
                                  : std::string("not valid JSON"));
        return result;
    }
    if (!doc.is_object()) {
        result.error = fail(file, "", "not a profile: the file must hold one JSON object");
        return result;
    }
    const auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() || format->get<std::string>() != kFormat) {
        result.error = fail(file, "format",
                            "not a profile: \"format\" must be \"" + std::string(kFormat) + "\"");
        return result;
    }
    const auto version = doc.find("version");
    if (version == doc.end() || !version->is_number_integer() ||
        version->get<long long>() != kVersion) {
        result.error = fail(
            file, "version",
            "unknown profile version (this tool reads version " + std::to_string(kVersion) + ")");
        return result;
    }
    Profile profile;
    for (const auto& [key, field] : {std::pair<const char*, std::string*>{"saved", &profile.saved},
                                     {"port", &profile.port},
                                     {"tool", &profile.tool},
                                     {"source", nullptr}}) {
        const auto it = doc.find(key);
        if (it == doc.end()) continue;
        if (!it->is_string()) {
            result.error = fail(file, key, "must be a text");
            return result;
        }
        if (field) {
            *field = it->get<std::string>();
        } else if (const std::string source = it->get<std::string>(); source == kWindowTool) {
            if (profile.tool.empty()) profile.tool = source;
        } else if (profile.port.empty()) {
            profile.port = source;
        }
    }
    const auto settings = doc.find("settings");
    if (settings == doc.end() || !settings->is_object()) {
        result.error = fail(file, "settings", "missing, or not an object of name: value");
        return result;
    }
    for (const auto& [name, value] : settings->items()) {
        const std::string key = "settings." + name;
        const kvproto::Parameter* parameter = kvproto::findParameter(name);
        if (!parameter) {
            result.error = fail(file, key, "unknown parameter name");
            return result;
        }
        if (!value.is_string()) {
            result.error =
                fail(file, key,
                     "the value must be a text in quotes (" + kvproto::ruleText(*parameter) + ")");
            return result;
        }
        const kvproto::CheckedValue checked =
            kvproto::checkValue(*parameter, value.get<std::string>());
        if (!checked.ok) {
            result.error = fail(file, key, checked.error);
            return result;
        }
        profile.settings.set(*parameter, checked.value);
    }
    if (std::string problem = incompleteCommand(profile.settings); !problem.empty()) {
        result.error = fail(file, "settings", problem);
        return result;
    }
    if (std::string problem = kvproto::refusedCommand(profile.settings); !problem.empty()) {
        result.error = fail(file, "settings", problem);
        return result;
    }
    result.profile = std::move(profile);
    return result;
}

ReadResult readProfileFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ReadResult result;
        result.error = fail(path, "", "cannot be read (" + kvsys::errnoText(errno) + ")");
        return result;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseProfile(text.str(), path);
}

bool writeProfileFile(const std::string& path, const Profile& profile, std::string* error) {
    std::string failure = kvfiles::writeWholeFile(path, writeProfile(profile));
    if (failure.empty()) return true;
    if (error) *error = std::move(failure);
    return false;
}

std::string utcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    const std::tm utc = kvfiles::utcTime(now);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buf;
}

}  // namespace kvprofile
