#include "protocol/ReadBack.h"

#include <algorithm>

#include "protocol/Conversions.h"
#include "protocol/Parameters.h"

namespace kvproto {

namespace {

std::vector<ReadBackRow> deriveRows() {
    std::vector<const Parameter*> read;
    for (const Parameter& p : parameters())
        if (p.readBack()) read.push_back(&p);
    std::stable_sort(read.begin(), read.end(), [](const Parameter* a, const Parameter* b) {
        return a->readRow != b->readRow ? a->readRow < b->readRow : a->offset < b->offset;
    });
    std::vector<ReadBackRow> rows;
    int current = 0;
    for (const Parameter* p : read) {
        if (p->readRow != current) {
            rows.push_back(ReadBackRow{p->tag, {}, 0});
            current = p->readRow;
        }
        ReadBackRow& row = rows.back();
        row.values[row.valueCount++] =
            ReadBackValue{p->offset, p->readWidth, p->isList(), p->control, p};
    }
    return rows;
}

const std::vector<ReadBackRow>& rowTable() {
    static const std::vector<ReadBackRow> rows = deriveRows();
    return rows;
}

bool rowFits(const ReadBackRow& row, std::size_t at, std::size_t size) {
    for (const ReadBackValue& v : row.valueSpan())
        if (at + v.offset + v.width > size) return false;
    return true;
}

class SettingsSink : public ReadBackSink {
public:
    SettingsSink(CollectorSettings& settings, std::vector<std::string>* problems)
        : settings_(settings), problems_(problems) {}
    void text(const ReadBackValue& v, std::string_view chars) override {
        if (auto error = settings_.set(*v.parameter, chars)) note(*error);
    }
    void index(const ReadBackValue& v, int index) override {
        const std::optional<std::string> value = itemValue(*v.parameter, index);
        if (!value) {
            note(std::string(v.parameter->name) + ": item number " + std::to_string(index) +
                 " is not in the list (" + ruleText(*v.parameter) + ")");
            return;
        }
        settings_.set(*v.parameter, *value);
    }

private:
    void note(std::string text) {
        if (problems_) problems_->push_back(std::move(text));
    }
    CollectorSettings& settings_;
    std::vector<std::string>* problems_;
};

}  // namespace

std::span<const ReadBackRow> readBackRows() {
    return rowTable();
}

std::size_t findTag(std::string_view reply, std::string_view tag) {
    return reply.find(tag);
}

void runReadBack(std::string_view reply, ReadBackSink& sink) {
    for (const ReadBackRow& r : rowTable()) {
        const std::size_t at = findTag(reply, r.tag);
        if (at == std::string_view::npos || !rowFits(r, at, reply.size())) continue;
        for (const ReadBackValue& v : r.valueSpan()) {
            const std::string_view chars = reply.substr(at + v.offset, v.width);
            if (v.isIndex) {
                sink.index(v, strToInt(chars));
            } else {
                sink.text(v, chars);
            }
        }
    }
}

bool readBackComplete(std::string_view reply) {
    for (const ReadBackRow& r : rowTable()) {
        const std::size_t at = findTag(reply, r.tag);
        if (at == std::string_view::npos || !rowFits(r, at, reply.size())) return false;
    }
    return true;
}

std::optional<std::string_view> listedCounterBase(std::string_view reply, const Parameter& p) {
    if (p.kind != ParameterKind::CounterBase || p.tag.empty()) return std::nullopt;
    const std::size_t at = findTag(reply, p.tag);
    if (at == std::string_view::npos || at + p.offset + p.readWidth > reply.size())
        return std::nullopt;
    return reply.substr(at + p.offset, p.readWidth);
}

CollectorSettings readBackSettings(std::string_view reply, std::vector<std::string>* problems) {
    CollectorSettings settings;
    SettingsSink sink(settings, problems);
    runReadBack(reply, sink);
    return settings;
}

}  // namespace kvproto
