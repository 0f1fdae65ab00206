#include "history/ThreadedJournal.h"

#include <utility>

namespace kvhistory {

ThreadedJournal::ThreadedJournal(std::unique_ptr<Store> store, Post post)
    : store_(std::move(store)), post_(std::move(post)), worker_([this] { run(); }) {}

ThreadedJournal::~ThreadedJournal() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void ThreadedJournal::record(kvops::HistoryEntry entry, Done done) {
    enqueue([this, entry = std::move(entry), done = std::move(done)]() mutable {
        kvops::Error error;
        const std::int64_t id = store_->add(entry, error);
        if (done) post_([done = std::move(done), id, error] { done(id, error); });
    });
}

void ThreadedJournal::query(std::function<void(Store&)> work) {
    enqueue([this, work = std::move(work)] { work(*store_); });
}

void ThreadedJournal::enqueue(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void ThreadedJournal::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left
        std::function<void()> job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

}  // namespace kvhistory
