// Tasks on threads, with the calling thread as the fallback.
#include "platform/worker_team.hpp"

#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace veltrin {

namespace {

// About 50 microseconds of polling.
constexpr int poll_rounds = 2000;

void pause_briefly()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

template <class Condition>
void worker_team::poll_while(Condition still) const
{
    for (int round = 0; polls_ && round < poll_rounds && still(); ++round) pause_briefly();
}

worker_team::worker_team(unsigned size) : polls_(size <= std::max(1u, std::thread::hardware_concurrency()))
{
    for (unsigned k = 1; k < size; ++k) {
        try {
            workers_.emplace_back([this, worker = k] { serve(worker); });
        } catch (const std::system_error&) {
            break;  // the calling thread takes the tasks of the missing ones
        }
    }
}

worker_team::~worker_team()
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        closing_ = true;
    }
    step_started_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void worker_team::take_tasks(std::size_t worker, std::exception_ptr& failure)
{
    for (std::size_t k; (k = next_task_.fetch_add(1, std::memory_order_relaxed)) < count_;) {
        try {
            (*task_)(k, worker);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
}

void worker_team::serve(std::size_t worker)
{
    std::uint64_t seen = 0;
    for (;;) {
        poll_while([&] { return step_seen_.load(std::memory_order_acquire) == seen; });
        std::unique_lock<std::mutex> hold(lock_);
        step_started_.wait(hold, [&] { return closing_ || step_ != seen; });
        if (closing_) return;
        seen = step_;
        hold.unlock();
        std::exception_ptr failure;
        take_tasks(worker, failure);
        hold.lock();
        if (failure && !failure_) failure_ = failure;
        busy_seen_.store(busy_ - 1, std::memory_order_release);
        if (--busy_ == 0) step_done_.notify_one();
    }
}

void worker_team::run(std::size_t count, const std::function<void(std::size_t)>& task)
{
    run(count, [&task](std::size_t k, std::size_t) { task(k); });
}

void worker_team::run(std::size_t count, const std::function<void(std::size_t, std::size_t)>& task)
{
    {
        const std::lock_guard<std::mutex> hold(lock_);
        count_ = count;
        task_ = &task;
        next_task_.store(0, std::memory_order_relaxed);
        busy_ = workers_.size();
        failure_ = nullptr;
        ++step_;
        busy_seen_.store(busy_, std::memory_order_relaxed);
        step_seen_.store(step_, std::memory_order_release);
    }
    step_started_.notify_all();
    std::exception_ptr failure;
    take_tasks(0, failure);
    poll_while([&] { return busy_seen_.load(std::memory_order_acquire) != 0; });
    std::unique_lock<std::mutex> hold(lock_);
    step_done_.wait(hold, [&] { return busy_ == 0; });
    if (!failure) failure = failure_;
    hold.unlock();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace veltrin
