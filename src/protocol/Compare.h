// Comparing collector settings as values of their parameters, not as raw text: numbers by
// value ("20" equals "000020", "1.6" equals "1.6000", "-.5" equals "-0.500"), list values by
// item ("4" equals "19200" in the baud rate list). Text that is no number is compared as it
// stands.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/CollectorSettings.h"
#include "protocol/Parameters.h"

namespace kvproto {

bool sameValue(const Parameter& parameter, std::string_view a, std::string_view b);

struct Difference {
    const Parameter* parameter;
    std::string expected;
    std::optional<std::string> actual;  // nullopt: the collector did not report it
};

// "2 differ: ad1.urv 000100 on the collector, 000120 in the profile; ..." (`where` names the
// expected side: "in the profile", "asked"); "" when there is no difference.
std::string describeDifferences(const std::vector<Difference>& differences, std::string_view where);

}  // namespace kvproto
