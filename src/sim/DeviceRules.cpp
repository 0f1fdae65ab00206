#include "sim/DeviceRules.h"

#include "sim/Values.h"

namespace kvsim {

namespace {

using kvproto::DeviceRule;
using kvproto::Parameter;

}  // namespace

std::optional<std::string> acceptValue(const Parameter& p, std::string_view field) {
    switch (p.device) {
        case DeviceRule::Index: {
            const auto index = parseIndex(field, static_cast<int>(p.deviceMax));
            if (!index) return std::nullopt;
            return std::to_string(*index);
        }
        case DeviceRule::Unsigned: {
            if (p.encoding == kvproto::Encoding::Text &&
                field.size() > static_cast<std::size_t>(p.width))
                return std::nullopt;
            const auto value = parseUnsigned(field, p.deviceMin, p.deviceMax);
            if (!value) return std::nullopt;
            return zeroPadded(*value, static_cast<int>(p.readWidth));
        }
        case DeviceRule::Decimal:
            return normaliseDecimal(field, p.readWidth, false);
        case DeviceRule::SignedDecimal:
            return normaliseDecimal(field, p.readWidth, true);
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> acceptFields(const kvproto::SetCommand& command,
                                                     std::span<const std::string_view> fields) {
    const auto parameters = command.parameterSpan();
    if (fields.size() != parameters.size()) return std::nullopt;
    std::vector<std::string> values;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        auto value = acceptValue(*parameters[i], fields[i]);
        if (!value) return std::nullopt;
        values.push_back(std::move(*value));
    }
    // A range must not be empty or inverted: the protocol's rule, kvproto::rangeTaken().
    if (const auto range = kvproto::rangeFields(command);
        range && !kvproto::rangeTaken(values[range->upper], values[range->lower]))
        return std::nullopt;
    return values;
}

}  // namespace kvsim
