// The simulated collector against the parameter table: every parameter written by its own
// set frame (built by the protocol library from settings) is held as the collector's rule
// normalises it, stands in the parameter listing at its tag and offset, and comes back from
// the listing through the protocol library's read-back as the same value. Every parameter
// gets a value different from every other parameter's (as far as its list allows, and always
// from the other values of its listing line), so that values landing at another parameter's
// place are seen.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "protocol/CollectorSettings.h"
#include "protocol/Parameters.h"
#include "protocol/ReadBack.h"
#include "protocol/SetCommands.h"
#include "sim/Device.h"
#include "sim/Values.h"

namespace {

using kvproto::CollectorSettings;
using kvproto::DeviceRule;
using kvproto::Parameter;
using kvsim::Device;
using kvsim::Millis;

// A value for `p` as the window would hold it, different for every parameter of the table
// and between the two variants. Lists: consecutive list parameters get consecutive item
// numbers, so the two inputs of one listing line never share a value.
std::string distinctValue(const Parameter& p, std::size_t listNumber, int variant) {
    const std::size_t i = kvproto::parameterIndex(p);
    const std::string n = std::to_string(i);
    switch (p.device) {
        case DeviceRule::Index:
            return *kvproto::itemValue(
                p, static_cast<int>((listNumber + static_cast<std::size_t>(variant)) %
                                    static_cast<std::size_t>(p.deviceMax + 1)));
        case DeviceRule::Unsigned:  // 100..161: within every unsigned parameter's range
            return std::to_string(100 + i + 31 * static_cast<std::size_t>(variant));
        case DeviceRule::Decimal:  // "21.5", "21.7": four characters at most
            return n + "." + std::to_string(5 + 2 * variant);
        case DeviceRule::SignedDecimal:
            if (p.name.ends_with(".urv")) return std::to_string(100 * i + 7 + 3 * variant);
            if (p.name.ends_with(".lrv")) return "-" + n + "." + std::to_string(1 + variant);
            return variant ? "-" + n + ".5" : n + ".25";
    }
    return {};
}

CollectorSettings distinctSettings(int variant) {
    CollectorSettings settings;
    std::size_t lists = 0;
    for (const Parameter& p : kvproto::parameters()) {
        const std::string value = distinctValue(p, p.isList() ? lists++ : 0, variant);
        const auto error = settings.set(p, value);
        EXPECT_FALSE(error.has_value()) << *error;
    }
    return settings;
}

// The value as the collector holds and reports it: list item numbers as digits, unsigned
// integers zero-padded, decimals normalised to the reported width.
std::string held(const Parameter& p, const std::string& value) {
    switch (p.device) {
        case DeviceRule::Index:
            return std::to_string(kvproto::itemNumber(p, value));
        case DeviceRule::Unsigned:
            return kvsim::zeroPadded(std::stoll(value), static_cast<int>(p.readWidth));
        case DeviceRule::Decimal:
        case DeviceRule::SignedDecimal:
            return kvsim::normaliseDecimal(value, p.readWidth,
                                           p.device == DeviceRule::SignedDecimal)
                .value_or("<not representable>");
    }
    return {};
}

// Sends every set command's frame built from `settings`; each must be acknowledged with the
// values as held.
void setAll(Device& device, const CollectorSettings& settings) {
    for (const kvproto::SetCommand& command : kvproto::setCommands()) {
        std::string ack = "OK:" + std::string(command.word) + ":";
        for (const Parameter* p : command.parameterSpan())
            ack += (p->field > 0 ? "," : "") + held(*p, *settings.get(*p));
        EXPECT_EQ(device.receive(kvproto::buildSetFrame(command, settings), Millis{0}),
                  ack + "\r\n");
    }
}

TEST(ModelRoundTrip, TheValuesDifferFromEachOther) {
    for (int variant : {0, 1}) {
        const CollectorSettings settings = distinctSettings(variant);
        const CollectorSettings other = distinctSettings(1 - variant);
        std::set<std::string> entries;
        for (const Parameter& p : kvproto::parameters()) {
            EXPECT_NE(settings.get(p), other.get(p)) << p.name;
            if (!p.isList()) {
                EXPECT_TRUE(entries.insert(*settings.get(p)).second) << p.name;
            }
            for (const Parameter& q : kvproto::parameters()) {
                if (&q != &p && !q.tag.empty() && q.tag == p.tag) {
                    EXPECT_NE(held(p, *settings.get(p)), held(q, *settings.get(q)))
                        << p.name << " and " << q.name << " share a listing line";
                }
            }
        }
    }
}

// Each variant in turn on the same collector: what the second writes replaces every value of
// the first.
TEST(ModelRoundTrip, EverySetFrameComesBackThroughTheListingAndTheReadBack) {
    Device device;
    for (int variant : {0, 1}) {
        SCOPED_TRACE("variant " + std::to_string(variant));
        const CollectorSettings written = distinctSettings(variant);
        setAll(device, written);

        const std::string listing = device.receive("PPPPPP#CHEACK1#", Millis{0});
        std::vector<std::string> problems;
        const CollectorSettings read = kvproto::readBackSettings(listing, &problems);
        EXPECT_TRUE(problems.empty()) << problems.front();
        int readBack = 0;
        for (const Parameter& p : kvproto::parameters()) {
            const std::string expected = held(p, *written.get(p));
            EXPECT_EQ(device.state().text(p), expected) << p.name;
            if (!p.readBack()) {
                EXPECT_FALSE(read.has(p.name)) << p.name;
                continue;
            }
            ++readBack;
            ASSERT_TRUE(read.get(p).has_value()) << p.name << " not read back from\n" << listing;
            if (p.isList()) {
                EXPECT_EQ(read.itemIndex(p), written.itemIndex(p)) << p.name;
            } else {
                EXPECT_EQ(*read.get(p), expected) << p.name;
            }
        }
        EXPECT_EQ(readBack, 27);
    }
}

// The listing's lines as the collector sends them, each with its CR LF removed.
std::vector<std::string> lines(const std::string& listing) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < listing.size()) {
        const std::size_t end = listing.find("\r\n", from);
        if (end == std::string::npos) {
            ADD_FAILURE() << "listing does not end with CR LF: " << listing.substr(from);
            break;
        }
        out.push_back(listing.substr(from, end - from));
        from = end + 2;
    }
    return out;
}

TEST(ModelRoundTrip, EveryTaggedParameterStandsAtItsOffsetInTheListing) {
    for (int variant : {0, 1}) {
        SCOPED_TRACE("variant " + std::to_string(variant));
        Device device;
        const CollectorSettings written = distinctSettings(variant);
        setAll(device, written);
        const std::vector<std::string> listed = lines(device.receive("PPPPPP#CHEACK1#", Millis{0}));

        std::set<std::string> tags;
        for (const Parameter& p : kvproto::parameters()) {
            if (p.tag.empty()) continue;
            tags.insert(std::string(p.tag));
            int found = 0;
            for (const std::string& line : listed) {
                if (!line.starts_with(p.tag)) continue;
                ++found;
                if (!p.tag.ends_with(':')) {
                    EXPECT_EQ(line[p.tag.size()], ':') << line;
                }
                EXPECT_EQ(line.substr(p.offset, p.readWidth), held(p, *written.get(p)))
                    << p.name << " in " << line;
                const std::size_t after = p.offset + p.readWidth;
                EXPECT_TRUE(after == line.size() || line[after] == ',') << p.name << " in " << line;
            }
            EXPECT_EQ(found, 1) << p.tag;
        }
        // Nothing but the tags' lines, each once.
        EXPECT_EQ(listed.size(), tags.size());
    }
}

}  // namespace
