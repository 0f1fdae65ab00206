// One thread per port, each handing its result back as a message to the calling thread,
// which passes the results on as they arrive (runOnPorts, findCollectors).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kvclient::detail {

// Runs work(i) for i in [0, count) at once, one thread each; `arrived` runs on the calling
// thread for each result as it comes in. Returns the results in index order. `work` must not
// throw.
template <typename Result>
std::vector<Result> runEach(std::size_t count, const std::function<Result(std::size_t)>& work,
                            const std::function<void(const Result&)>& arrived) {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::pair<std::size_t, Result>> mailbox;
    // jthreads: should starting one fail, those already started are joined on the way out.
    std::vector<std::jthread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            Result result = work(i);
            {
                const std::lock_guard lock(mutex);
                mailbox.emplace_back(i, std::move(result));
            }
            posted.notify_one();
        });
    }
    std::vector<Result> results(count);
    for (std::size_t received = 0; received < count; ++received) {
        std::pair<std::size_t, Result> message;
        {
            std::unique_lock lock(mutex);
            posted.wait(lock, [&] { return !mailbox.empty(); });
            message = std::move(mailbox.front());
            mailbox.pop_front();
        }
        if (arrived) arrived(message.second);
        results[message.first] = std::move(message.second);
    }
    for (std::jthread& t : threads) t.join();
    return results;
}

}  // namespace kvclient::detail
