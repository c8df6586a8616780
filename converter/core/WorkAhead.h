#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kv::converter {

// Worker threads that do numbered tasks in order, at most two per worker ahead of the one the
// caller takes next, and hand each result over once, in order.
template <class Result> class WorkAhead
{
public:
    // work(i) does task i on a worker thread; failures belong in its Result, since it must not
    // throw.
    WorkAhead(std::size_t count, int workers, std::function<Result(std::size_t)> work)
        : work_(std::move(work)), results_(count), ahead_(2 * std::size_t(workers))
    {
        for (int i = 0; i < workers && std::size_t(i) < count; ++i) {
            threads_.emplace_back([this] { Work(); });
        }
    }

    // Waits for the tasks in hand; the rest are left undone.
    ~WorkAhead()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread &thread : threads_) {
            thread.join();
        }
    }

    WorkAhead(const WorkAhead &) = delete;
    WorkAhead &operator=(const WorkAhead &) = delete;

    // The tasks taken so far: the number of the one TakeNext gives.
    std::size_t Taken() const { return next_; }

    // The result of the next task once it is ready (there must be one).
    Result TakeNext()
    {
        std::unique_lock lock(mutex_);
        const std::size_t task = next_++;
        changed_.notify_all();
        changed_.wait(lock, [&] { return results_[task].has_value(); });
        Result result = std::move(*results_[task]);
        results_[task].reset();
        return result;
    }

private:
    void Work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] {
                return stopping_ || started_ >= results_.size() || started_ < next_ + ahead_;
            });
            if (stopping_ || started_ >= results_.size()) {
                return;
            }
            const std::size_t task = started_++;
            lock.unlock();
            Result result = work_(task);
            lock.lock();
            results_[task] = std::move(result);
            changed_.notify_all();
        }
    }

    const std::function<Result(std::size_t)> work_;
    std::vector<std::optional<Result>> results_;
    const std::size_t ahead_;
    std::size_t started_ = 0; // tasks a worker has begun
    std::size_t next_ = 0;    // the task the caller takes next
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> threads_;
};

} // namespace kv::converter
