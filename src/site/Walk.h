// Walking a site: the rows of a plan grouped by port. Rows on different ports run at once,
// one thread per port (as kvclient::runOnPorts); rows that share a port run one after another
// on that port's thread, one collector at a time, as a technician with one adapter connects
// them in turn.
//
// Before each row of a port that serves several rows of the plan, the walk waits for its
// collector: it asks the face (go, skip or stop), or, automatic, watches the port: after the
// first row it waits until no collector answers there (unplugged, or the port gone or not
// opening), then until one answers again (the next one plugged in), saying each step. A
// collector's station address proves nothing either way (factory collectors all answer
// 001), so it is never used to tell one collector from the next. Every poll opens the port
// afresh, so a path re-pointed or an adapter plugged back in is seen.
//
// Each row's port is opened for that row only (after its answer), so a port whose path now
// leads elsewhere is followed, and closed when the row is over. The stop flag is watched by
// every wait: once it is set the rows in progress finish and no new row starts. No toolkit.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "client/Operations.h"
#include "site/Commission.h"
#include "site/Plan.h"

namespace kvsite {

enum class Answer { Go, Skip, Stop };

struct WalkOptions {
    bool automatic = false;  // watch the port instead of asking
    kvclient::Millis pollTimeout{500};
    std::chrono::milliseconds pollPause{200};
    // Polls in a row without an answer before a collector counts as gone.
    int gonePolls = 2;
    const std::atomic<bool>* stop = nullptr;
};

struct WalkHooks {
    // The row's work on its open port: commissionRow, previewRow.
    std::function<RowOutcome(kvclient::Client& client, const PlanRow& row)> work;
    // Asked before each row of a shared port when not automatic; on the port's thread, so
    // threads of several ports may ask at once (the face asks one at a time). Should it
    // block, it must give up once the stop flag is set (answering Stop).
    std::function<Answer(const PlanRow& row)> ask;
    // A line on the automatic waits ("PORT: waiting for ..."); on the port's thread.
    std::function<void(const std::string& line)> say;
    // Before a row's port is opened (a traffic log), on its thread.
    kvclient::PortSetUp setUp;
    // On the calling thread as each row ends: ran (state Done or Failed) or skipped.
    std::function<void(std::size_t index, const RowOutcome& outcome)> arrived;
};

struct WalkEnd {
    std::size_t ran = 0, skipped = 0;
    bool stopped = false;  // rows were left (the stop flag, or Stop answered)
};

// Whether the row's port serves other rows of the plan too.
bool sharesPort(const Plan& plan, std::size_t index);

// `indexes` (into plan.rows, in plan order): the rows to run. Returns once every port's
// thread has ended.
WalkEnd walkSite(const Plan& plan, const std::vector<std::size_t>& indexes,
                 const WalkOptions& options, const WalkHooks& hooks);

// "\"LABEL\" (station S)", or "row N (station S)" for a row without a label.
std::string rowName(const PlanRow& row);

}  // namespace kvsite
