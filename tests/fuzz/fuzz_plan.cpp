// Site plans come from other people's spreadsheets: any bytes must give a plan or messages,
// never a plan with problems nor a refusal without one, and every row of a plan that was read
// must write a whole set of commands.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "site/Plan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // One readable profile, "p.json", with the AIN1 values only; any other name is missing.
    const kvsite::ProfileReader reader = [](const std::string& path) {
        kvprofile::ReadResult read;
        if (path == "site/p.json") {
            read.profile.emplace();
            read.profile->settings.set("ad1.urv", "20");
            read.profile->settings.set("ad1.lrv", "4");
            read.profile->settings.set("ad1.start", "0");
        } else {
            read.error = path + ": cannot be read";
        }
        return read;
    };
    for (const bool duplicates : {false, true}) {
        const kvsite::PlanCheck check =
            kvsite::parsePlan(text, "site/plan.csv", {duplicates}, reader);
        if (check.ok() == check.plan.rows.empty()) std::abort();
        for (const kvsite::PlanRow& row : check.plan.rows)
            if (!kvproto::incompleteCommand(row.planned).empty() || row.port.empty() ||
                !row.planned.has("rs485.address"))
                std::abort();
        for (const std::string& problem : check.problems)
            if (!problem.starts_with("site/plan.csv: ")) std::abort();
    }
    return 0;
}
