// One thread per port, each handing its result back as a message to the calling thread,
// which passes the results on as they arrive (runOnPorts, findCollectors).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kvclient::detail {

// Runs work(i) for i in [0, count) at once, one thread each; `arrived` runs on the calling
// thread for each result as it comes in. Returns the results in index order. An exception
// that `work` throws (a bug: the work reports the failures it knows as results) ends none of
// the other threads: once all have ended, the first one is thrown on the calling thread.
template <typename Result>
std::vector<Result> runEach(std::size_t count, const std::function<Result(std::size_t)>& work,
                            const std::function<void(const Result&)>& arrived) {
    std::mutex mutex;
    std::condition_variable posted;
    // A result, or the exception its work threw.
    struct Message {
        std::size_t index = 0;
        Result result;
        std::exception_ptr thrown;
    };
    std::deque<Message> mailbox;
    // jthreads: should starting one fail, those already started are joined on the way out.
    std::vector<std::jthread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            Message message{i, {}, nullptr};
            try {
                message.result = work(i);
            } catch (...) {
                message.thrown = std::current_exception();
            }
            {
                const std::lock_guard lock(mutex);
                mailbox.push_back(std::move(message));
            }
            posted.notify_one();
        });
    }
    std::vector<Result> results(count);
    std::exception_ptr firstThrown;
    for (std::size_t received = 0; received < count; ++received) {
        Message message;
        {
            std::unique_lock lock(mutex);
            posted.wait(lock, [&] { return !mailbox.empty(); });
            message = std::move(mailbox.front());
            mailbox.pop_front();
        }
        if (message.thrown) {
            if (!firstThrown) firstThrown = message.thrown;
            continue;
        }
        if (arrived) arrived(message.result);
        results[message.index] = std::move(message.result);
    }
    for (std::jthread& t : threads) t.join();
    if (firstThrown) std::rethrow_exception(firstThrown);
    return results;
}

}  // namespace kvclient::detail
