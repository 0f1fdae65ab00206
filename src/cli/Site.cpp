#include "cli/Site.h"

#include <nlohmann/json.hpp>

#include "cli/Profiles.h"
#include "cli/Text.h"

namespace kvcli {

std::string siteRowText(const kvsite::RowOutcome& row) {
    const std::string label = row.label.empty() ? "" : printable(row.label) + " ";
    if (row.alreadyAsPlanned) return label + row.result.port + " already as planned\n";
    return label + outcomeText(row.result);
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
