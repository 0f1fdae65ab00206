#include "cli/Site.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/Profiles.h"
#include "cli/Text.h"

namespace kvcli {

std::string siteRowText(const kvsite::RowOutcome& row) {
    const std::string label = row.label.empty() ? "" : printable(row.label) + " ";
    if (row.state == kvsite::RowState::Skipped) return label + row.result.port + " skipped\n";
    if (row.alreadyAsPlanned) return label + row.result.port + " already as planned\n";
    return label + outcomeText(row.result);
}

std::string sitePreviewText(const kvsite::RowOutcome& row) {
    if (row.result.error) return siteRowText(row);
    const std::string label = row.label.empty() ? "" : printable(row.label) + " ";
    const auto& differences = row.result.differences;
    if (differences.empty())
        return label + row.result.port + " already as planned (nothing to write)\n";
    std::string out = label + row.result.port + " would change " +
                      std::to_string(differences.size()) +
                      (differences.size() == 1 ? " value:\n" : " values:\n");
    std::size_t width = 0;
    for (const kvproto::Difference& d : differences)
        width = std::max(width, d.parameter->name.size());
    for (const kvproto::Difference& d : differences) {
        const std::string name(d.parameter->name);
        out += "  " + name + std::string(width - name.size() + 2, ' ') +
               (d.actual ? printable(*d.actual) : "(not reported)") + " \u2192 " +
               printable(d.expected) + "\n";
    }
    return out;
}

std::string siteRowJson(const kvsite::RowOutcome& row) {
    using Json = nlohmann::ordered_json;
    Json out = Json::object();
    out["label"] = row.label;
    out["station"] = row.station;
    out["profile"] = row.profile;
    const Json outcome = Json::parse(outcomeJson(row.result));
    for (const auto& [key, value] : outcome.items()) out[key] = value;
    out["result"] = kvsite::resultWords(row);
    return out.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kvcli
