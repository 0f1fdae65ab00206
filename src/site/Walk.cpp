#include "site/Walk.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "SPComm/TComm.h"
#include "ops/Clock.h"

namespace kvsite {

namespace {

using Clock = std::chrono::steady_clock;

// A row's end, or a port's thread's end (`index` empty), handed to the calling thread.
struct Message {
    std::optional<std::size_t> index;
    RowOutcome outcome;
    bool stopped = false;
    std::exception_ptr thrown;
};

class PortWalk {
public:
    PortWalk(const Plan& plan, const WalkOptions& options, const WalkHooks& hooks,
             std::atomic<bool>& halted, const std::function<void(Message)>& post)
        : plan_(plan), options_(options), hooks_(hooks), halted_(halted), post_(post) {}

    // The rows of one port, in order.
    void run(const std::vector<std::size_t>& rows) {
        bool first = true;
        for (std::size_t n = 0; n < rows.size(); ++n) {
            const std::size_t index = rows[n];
            const PlanRow& row = plan_.rows[index];
            if (stopping()) return post_({{}, {}, true, nullptr});
            if (sharesPort(plan_, index)) {
                const Answer answer = options_.automatic ? waitForCollector(row, first)
                                      : hooks_.ask       ? hooks_.ask(row)
                                                         : Answer::Go;
                if (answer == Answer::Stop || stopping()) {
                    halted_ = true;
                    return post_({{}, {}, true, nullptr});
                }
                if (answer == Answer::Skip) {
                    RowOutcome skipped = outcomeOf(row);
                    skipped.state = RowState::Skipped;
                    post_({index, std::move(skipped), false, nullptr});
                    continue;
                }
            }
            post_({index, runRow(row), false, nullptr});
            first = false;
        }
        post_({});
    }

private:
    bool stopping() const { return halted_ || (options_.stop && *options_.stop); }

    RowOutcome runRow(const PlanRow& row) {
        const std::int64_t started = kvops::wallClockMs();
        kvops::Error error;
        std::string step;
        try {
            kvclient::Client client;
            if (hooks_.setUp) hooks_.setUp(client, row.port);
            error = client.open(row.port);
            if (!error) return hooks_.work(client, row);
        } catch (const spcomm::ECommsError& e) {
            error = kvops::openError(e);  // the serial component's own failure
        }
        RowOutcome outcome = outcomeOf(row);
        outcome.state = RowState::Failed;
        outcome.result.error = std::move(error);
        outcome.startedMs = started;
        outcome.finishedMs = kvops::wallClockMs();
        return outcome;
    }

    // Whether a collector answers on the row's port now: opened afresh for one
    // communication test.
    bool answers(const PlanRow& row) {
        try {
            kvclient::Client client;
            if (client.open(row.port)) return false;
            const kvops::Outcome outcome =
                client.request(kvops::kCommunicationTest, options_.pollTimeout);
            return outcome.answered() || outcome.error.code == kvops::ErrorCode::NotUnderstood;
        } catch (const spcomm::ECommsError&) {
            return false;
        }
    }

    // Sleeps for `pause`, false (at once) when the walk stops meanwhile.
    bool pause(std::chrono::milliseconds pause) {
        const auto until = Clock::now() + pause;
        while (!stopping()) {
            const auto left = until - Clock::now();
            if (left <= Clock::duration::zero()) return true;
            std::this_thread::sleep_for(std::min<Clock::duration>(left, kStopCheck));
        }
        return false;
    }

    // The automatic wait: the collector before unplugged (not for the port's first row),
    // then one answering. Go, or Stop when the walk stopped meanwhile.
    Answer waitForCollector(const PlanRow& row, bool first) {
        const std::string name = row.port + ": waiting for " + rowName(row);
        if (!first) {
            say(name + ": unplug the collector now connected");
            for (int misses = 0; misses < options_.gonePolls;) {
                if (stopping()) return Answer::Stop;
                misses = answers(row) ? 0 : misses + 1;
                if (misses < options_.gonePolls && !pause(options_.pollPause)) return Answer::Stop;
            }
        }
        say(name + ": connect it; waiting until a collector answers");
        while (!answers(row))
            if (!pause(options_.pollPause)) return Answer::Stop;
        if (stopping()) return Answer::Stop;
        say(row.port + ": a collector answers: commissioning " + rowName(row));
        return Answer::Go;
    }

    void say(const std::string& line) {
        if (hooks_.say) hooks_.say(line);
    }

    static constexpr std::chrono::milliseconds kStopCheck{50};

    const Plan& plan_;
    const WalkOptions& options_;
    const WalkHooks& hooks_;
    std::atomic<bool>& halted_;
    const std::function<void(Message)>& post_;
};

}  // namespace

bool sharesPort(const Plan& plan, std::size_t index) {
    for (std::size_t i = 0; i < plan.rows.size(); ++i)
        if (i != index && plan.rows[i].port == plan.rows[index].port) return true;
    return false;
}

std::string rowName(const PlanRow& row) {
    const std::string station = " (station " + row.station + ")";
    return (row.label.empty() ? "row " + std::to_string(row.row) : "\"" + row.label + "\"") +
           station;
}

WalkEnd walkSite(const Plan& plan, const std::vector<std::size_t>& indexes,
                 const WalkOptions& options, const WalkHooks& hooks) {
    std::map<std::string, std::vector<std::size_t>> byPort;
    std::vector<std::string> ports;  // in the order of their first row
    for (const std::size_t index : indexes) {
        auto [at, added] = byPort.try_emplace(plan.rows.at(index).port);
        if (added) ports.push_back(at->first);
        at->second.push_back(index);
    }
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<Message> mailbox;
    const std::function<void(Message)> post = [&](Message message) {
        {
            const std::lock_guard lock(mutex);
            mailbox.push_back(std::move(message));
        }
        posted.notify_one();
    };
    std::atomic<bool> halted{false};
    WalkEnd end;
    std::exception_ptr firstThrown;
    {
        // jthreads: should starting one fail, those already started are joined on the way out.
        std::vector<std::jthread> threads;
        threads.reserve(ports.size());
        for (const std::string& port : ports) {
            threads.emplace_back([&, rows = byPort.at(port)] {
                try {
                    PortWalk(plan, options, hooks, halted, post).run(rows);
                } catch (...) {  // a bug: carried to the calling thread
                    halted = true;
                    post({{}, {}, true, std::current_exception()});
                }
            });
        }
        for (std::size_t ended = 0; ended < ports.size();) {
            Message message;
            {
                std::unique_lock lock(mutex);
                posted.wait(lock, [&] { return !mailbox.empty(); });
                message = std::move(mailbox.front());
                mailbox.pop_front();
            }
            if (!message.index) {
                ++ended;
                end.stopped = end.stopped || message.stopped;
                if (message.thrown && !firstThrown) firstThrown = message.thrown;
                continue;
            }
            if (message.outcome.state == RowState::Skipped)
                ++end.skipped;
            else
                ++end.ran;
            if (hooks.arrived) hooks.arrived(*message.index, message.outcome);
        }
    }
    if (firstThrown) std::rethrow_exception(firstThrown);
    return end;
}

}  // namespace kvsite
