// A history journal of the test's own: keeps every entry in memory, numbered from 1, and
// commits at once or, like the window's journal, only when the test says so (later()); or
// refuses every entry with `failWith`.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ops/History.h"

namespace kvtest {

class TestJournal : public kvops::Journal {
public:
    bool deferred = false;
    kvops::Error failWith;
    std::vector<kvops::HistoryEntry> entries;
    std::vector<std::function<void()>> pending;

    void record(kvops::HistoryEntry entry, Done done) override {
        if (failWith) {
            if (done) done(0, failWith);
            return;
        }
        entry.id = static_cast<std::int64_t>(entries.size()) + 1;
        entries.push_back(entry);
        auto commit = [id = entry.id, done = std::move(done)] {
            if (done) done(id, {});
        };
        if (deferred)
            pending.push_back(std::move(commit));
        else
            commit();
    }
    // Commits what waits.
    void later() {
        for (auto& commit : std::exchange(pending, {})) commit();
    }
    // "listing:read before:Write All write:Write All".
    std::string kinds() const {
        std::string out;
        for (const kvops::HistoryEntry& e : entries)
            out += (out.empty() ? "" : " ") + std::string(kvops::kindWord(e.kind)) + ":" + e.what;
        return out;
    }
};

}  // namespace kvtest
