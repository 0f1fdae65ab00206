// kvhistory::ThreadedJournal: the store on a thread of its own, for the window, whose GUI
// thread never waits for a disk.
//
// record() queues the entry and returns at once; the worker commits the entries in the order
// they came and hands each `done` to `post`, which runs it where the owner wants it (the
// window: on its event loop; tests: at once, or on a queue of their own). query() runs work on
// the worker, in order with the records (the window reads lists and entries this way and posts
// the result itself). The worker never touches the GUI toolkit.
//
// Destruction finishes everything queued, then joins the worker: a `done` posted by then may
// still run later, so what it refers to must outlive it (or `post` drops it).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "history/Store.h"
#include "ops/History.h"

namespace kvhistory {

class ThreadedJournal : public kvops::Journal {
public:
    using Post = std::function<void(std::function<void()>)>;

    ThreadedJournal(std::unique_ptr<Store> store, Post post);
    ~ThreadedJournal() override;
    ThreadedJournal(const ThreadedJournal&) = delete;
    ThreadedJournal& operator=(const ThreadedJournal&) = delete;

    void record(kvops::HistoryEntry entry, Done done) override;
    // Runs `work` on the worker with the store, after everything queued before it.
    void query(std::function<void(Store&)> work);

private:
    void enqueue(std::function<void()> job);
    void run();

    std::unique_ptr<Store> store_;
    Post post_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread worker_;  // last: started once everything above is there
};

}  // namespace kvhistory
