#include "ops/Operations.h"

#include <algorithm>

#include "protocol/Conversions.h"
#include "protocol/Frames.h"
#include "protocol/ReadBack.h"

namespace kvops {

using kvproto::CollectorSettings;
using kvproto::Parameter;
using kvproto::SetCommand;

const Request kRead{kvproto::kReadParametersFrame, Completeness::Listing};
const Request kCommunicationTest{kvproto::kCommunicationTestFrame, Completeness::Line};

std::optional<std::string> stationInAnswer(std::string_view reply) {
    constexpr std::string_view kTag = "ADR:";
    const std::size_t at = reply.find(kTag);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = reply.substr(at + kTag.size());
    const std::size_t end = std::min(rest.find_first_not_of("0123456789"), rest.size());
    if (end == 0) return std::nullopt;
    return std::string(rest.substr(0, end));
}
const Request kReset{kvproto::kParameterResetFrame, Completeness::Line};
const Request kDataQuery{kvproto::kDataQueryFrame, Completeness::Quiet};

namespace {

// The read-back rows whose tag is missing from the reply or stands too close to its end.
std::string missingTags(std::string_view reply) {
    std::string missing;
    for (const kvproto::ReadBackRow& row : kvproto::readBackRows()) {
        const std::size_t at = kvproto::findTag(reply, row.tag);
        bool fits = at != std::string_view::npos;
        for (const kvproto::ReadBackValue& v : row.valueSpan())
            fits = fits && at + v.offset + v.width <= reply.size();
        if (fits) continue;
        if (!missing.empty()) missing += ", ";
        missing += row.tag;
    }
    return missing;
}

}  // namespace

Millis answerTime(const SetCommand& command) {
    return command.sequence == kvproto::SendSequence::D ? Millis{3000} : Millis{1000};
}

std::string answerWords(const CommandAnswer& answer) {
    if (!answer.answer) return "no answer";
    std::string text = *answer.answer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return "answered: " + text;
}

bool inListing(const Parameter& p) {
    return p.readBack() || (p.kind == kvproto::ParameterKind::CounterBase && !p.tag.empty());
}

Listing readListing(std::string_view reply) {
    Listing listing;
    std::vector<std::string> problems;
    try {
        listing.settings = kvproto::readBackSettings(reply, &problems);
    } catch (const kvproto::ConversionError& e) {
        listing.error = {ErrorCode::NotUnderstood, 0, e.message()};
        return listing;
    }
    for (const Parameter& p : kvproto::parameters())
        if (const auto digits = kvproto::listedCounterBase(reply, p))
            listing.settings.set(p, *digits);  // a refused value stays out
    if (const std::string missing = missingTags(reply); !missing.empty())
        problems.insert(problems.begin(), "no values for " + missing);
    if (!problems.empty()) {
        std::string text;
        for (const std::string& problem : problems) text += (text.empty() ? "" : "; ") + problem;
        listing.error = {ErrorCode::NotUnderstood, 0, text};
    }
    return listing;
}

std::vector<kvproto::Difference> compare(const CollectorSettings& expected,
                                         const CollectorSettings& reported) {
    std::vector<kvproto::Difference> differences;
    for (const auto& [parameter, value] : expected.entries()) {
        if (!inListing(*parameter)) continue;
        const std::optional<std::string>& got = reported.get(*parameter);
        if (!got || !kvproto::sameValue(*parameter, value, *got))
            differences.push_back({parameter, value, got});
    }
    return differences;
}

std::size_t comparedCount(const CollectorSettings& expected) {
    std::size_t count = 0;
    for (const auto& [parameter, value] : expected.entries())
        count += inListing(*parameter) ? 1 : 0;
    return count;
}

ApplyPlan planApply(const CollectorSettings& settings, kvproto::Include include) {
    ApplyPlan plan;
    for (const SetCommand& command : kvproto::setCommands()) {
        std::string why;
        bool any = false;
        for (const Parameter* p : command.parameterSpan()) {
            if (!settings.get(*p)) {
                if (why.empty())
                    why = std::string(command.word) + " also needs " + std::string(p->name) +
                          ", which is not given";
                continue;
            }
            any = true;
            if (!kvproto::included(*p, include) && why.empty())
                why = p->kind == kvproto::ParameterKind::Identity
                          ? "the station address is written only when asked for"
                          : "a counter base is written only when asked for (writing one "
                            "restarts its count)";
        }
        if (!any) continue;
        if (why.empty()) {
            plan.commands.push_back(&command);
            continue;
        }
        for (const Parameter* p : command.parameterSpan())
            if (settings.get(*p)) plan.leftOut.push_back({p, why});
    }
    return plan;
}

const SetCommand* ApplyRun::next() const {
    if (stopped_ || failed_ || done()) return nullptr;
    return plan_.commands[answers_.size()];
}

Millis ApplyRun::answerTime() const {
    const SetCommand* command = next();
    if (!command) return Millis{0};
    return unanswered_ ? std::min(kPacedAnswerTime, kvops::answerTime(*command))
                       : kvops::answerTime(*command);
}

bool ApplyRun::record(const Outcome& outcome) {
    const SetCommand* command = next();
    if (!command) return false;
    CommandAnswer& answer = answers_.emplace_back(CommandAnswer{command, std::nullopt});
    if (outcome.answered()) answer.answer = outcome.reply;
    unanswered_ = outcome.status == Status::TimedOut;
    if (outcome.answered() || outcome.status == Status::TimedOut) return true;
    // Not sent, or the line failed: nothing more can be written.
    if (!outcome.reply.empty()) answer.answer = outcome.reply;
    failed_ = command;
    failure_ = outcome;
    return false;
}

std::vector<const Parameter*> missingForSet(const CollectorSettings& asked) {
    std::vector<const Parameter*> missing;
    for (const SetCommand& command : kvproto::setCommands()) {
        bool any = false;
        for (const Parameter* p : command.parameterSpan()) any = any || asked.get(*p);
        if (!any) continue;
        for (const Parameter* p : command.parameterSpan())
            if (!asked.get(*p)) missing.push_back(p);
    }
    return missing;
}

Completion completeSet(const CollectorSettings& asked, const CollectorSettings& reported) {
    Completion completion{asked, {}, {}};
    std::string taken;
    for (const Parameter* p : missingForSet(asked)) {
        const std::optional<std::string>& value = reported.get(*p);
        if (!value) {
            completion.error = {ErrorCode::NotUnderstood, 0,
                                "the collector did not report " + std::string(p->name) +
                                    ", which " + std::string(kvproto::setCommandFor(*p).word) +
                                    " needs"};
            return completion;
        }
        completion.settings.set(*p, *value);
        taken += (taken.empty() ? "" : ", ") + std::string(p->name) + "=" + *value;
    }
    if (!taken.empty())
        completion.note =
            "taken from the collector (a set command carries all its values): " + taken;
    return completion;
}

SaveSettings settingsToSave(const CollectorSettings& reported, kvproto::Include include) {
    SaveSettings save{kvproto::filtered(reported, include), {}};
    if (include.counters)
        for (const Parameter& p : kvproto::parameters())
            if (p.kind == kvproto::ParameterKind::CounterBase && !reported.get(p))
                save.absent.push_back(&p);
    return save;
}

kvproto::CollectorSettings settingsToWrite(const kvproto::CollectorSettings& wanted,
                                           const kvproto::CollectorSettings& held) {
    kvproto::CollectorSettings out;
    for (const kvproto::Difference& d : compare(wanted, held))
        for (const kvproto::Parameter* p : kvproto::setCommandFor(*d.parameter).parameterSpan())
            if (const auto& value = wanted.get(*p)) out.set(*p, *value);
    return out;
}

}  // namespace kvops
