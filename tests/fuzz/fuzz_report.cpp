// A site's report.json is read back when a walk is continued, from a folder that may have been
// copied, edited or cut short: any bytes must give a report or a reason, never a crash, and a
// report that was read must be written again to a text that reads back as the same report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "site/Report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kvsite::ReportRead read = kvsite::parseReportJson(text);
    if (!read.error.empty()) return 0;
    const std::string written = kvsite::reportJson(read.report);
    const kvsite::ReportRead again = kvsite::parseReportJson(written);
    if (!again.error.empty() || kvsite::reportJson(again.report) != written) std::abort();
    return 0;
}
