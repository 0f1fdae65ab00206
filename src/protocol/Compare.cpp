#include "protocol/Compare.h"

namespace kvproto {

namespace {

// A decimal number ("-"? digits? ("." digits?)?, at least one digit) in a canonical form:
// sign, integer digits without leading zeros, fraction without trailing zeros.
std::optional<std::string> canonicalNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const auto dot = text.find('.');
    std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    for (std::string_view part : {whole, fraction})
        for (char c : part)
            if (c < '0' || c > '9') return std::nullopt;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    if (whole.empty() && fraction.empty()) return "0";
    std::string out = negative ? "-" : "";
    out.append(whole.empty() ? "0" : whole);
    if (!fraction.empty()) out.append(".").append(fraction);
    return out;
}

}  // namespace

bool sameValue(const Parameter& parameter, std::string_view a, std::string_view b) {
    if (parameter.isList()) {
        const int ia = itemNumber(parameter, a);
        return ia >= 0 && ia == itemNumber(parameter, b);
    }
    const auto na = canonicalNumber(a);
    const auto nb = canonicalNumber(b);
    if (na && nb) return *na == *nb;
    return a == b;
}

std::string describeDifferences(const std::vector<Difference>& differences,
                                std::string_view where) {
    if (differences.empty()) return {};
    std::string out = std::to_string(differences.size()) + " differ: ";
    for (std::size_t i = 0; i < differences.size(); ++i) {
        const Difference& d = differences[i];
        if (i > 0) out += "; ";
        out.append(d.parameter->name).append(" ");
        out += d.actual ? *d.actual + " on the collector" : std::string("not reported");
        out.append(", ").append(d.expected).append(" ").append(where);
    }
    return out;
}

}  // namespace kvproto
