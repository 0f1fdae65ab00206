// kv480t names [--json]: every parameter name of the collector's settings, in the table's
// order, with the form its value takes (kvproto::valueForm, the one rule every value is
// checked by), the set command that writes it and whether kv480t read shows it (what the
// collector's listing reports, kvops::inListing). These are the names that set, profiles and
// a plan's override columns take. No collector needed.
#include <algorithm>
#include <array>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "ops/Operations.h"
#include "protocol/Parameters.h"

namespace kvcli {

namespace {

struct NamesOptions {
    bool json = false;
};

std::string_view roleWords(kvproto::ParameterKind kind) {
    switch (kind) {
        case kvproto::ParameterKind::Identity:
            return "station";
        case kvproto::ParameterKind::CounterBase:
            return "counter base";
        case kvproto::ParameterKind::Configuration:
            break;
    }
    return "configuration";
}

// The form in words, and what the role asks of whoever writes the value.
std::string formText(const kvproto::Parameter& p) {
    std::string text = kvproto::ruleText(p);
    if (p.kind == kvproto::ParameterKind::Identity)
        text += "; unique per collector on a bus (a plan's station column)";
    else if (p.kind == kvproto::ParameterKind::CounterBase)
        text += "; writing it restarts its count";
    return text;
}

nlohmann::ordered_json nameJson(const kvproto::Parameter& p) {
    using Json = nlohmann::ordered_json;
    const kvproto::ValueForm form = kvproto::valueForm(p);
    Json out = Json::object();
    out["name"] = p.name;
    out["form"] = formText(p);
    out["kind"] = kvproto::formKindWords(form.kind);
    if (form.width > 0) out["width"] = form.width;
    out["signed"] = form.isSigned;
    if (form.min) out["min"] = *form.min;
    if (form.max) out["max"] = *form.max;
    if (form.kind == kvproto::ValueForm::Kind::List) {
        Json items = Json::array();
        for (const std::string_view item : form.items)
            items.push_back(item.empty() ? Json() : Json(item));
        out["items"] = std::move(items);
    }
    out["role"] = roleWords(p.kind);
    out["shown_by_read"] = kvops::inListing(p);
    out["command"] = p.command;
    return out;
}

int printNames(const NamesOptions& options) {
    if (options.json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const kvproto::Parameter& p : kvproto::parameters()) out.push_back(nameJson(p));
        std::cout << out.dump(2) << '\n';
        return kExitDone;
    }
    std::vector<std::array<std::string, 4>> rows{{"name", "set", "read", "form"}};
    for (const kvproto::Parameter& p : kvproto::parameters())
        rows.push_back({std::string(p.name), std::string(p.command),
                        kvops::inListing(p) ? "yes" : "no", formText(p)});
    std::array<std::size_t, 3> widths{};
    for (const auto& row : rows)
        for (std::size_t c = 0; c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < widths.size(); ++c)
            line += row[c] + std::string(widths[c] - row[c].size() + 2, ' ');
        std::cout << line << row[3] << '\n';
    }
    return kExitDone;
}

}  // namespace

void addNamesCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<NamesOptions>();
    CLI::App* command = app.add_subcommand(
        "names",
        "List every parameter name (the names set, profiles and a plan's columns take) with "
        "the set command that writes it, whether read shows it and the form of its value.");
    addJson(command, options->json,
            "print a JSON array: per name its form in words and in parts (kind, width, signed, "
            "min, max, items), role, shown_by_read and command");
    command->footer("Exit codes:\n  0  done\n  2  usage error");
    command->callback([options, &exitCode] { exitCode = printNames(*options); });
}

}  // namespace kvcli
