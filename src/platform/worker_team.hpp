// Running a few tasks at once on threads of their own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrin {

// Threads kept for a series of parallel steps, so that a step does not pay
// for starting its own: run(count, task) runs task(0) ... task(count - 1)
// and waits for all; the first exception a task throws is rethrown once
// every task has ended. The calling thread works too (worker 0). Each
// thread takes the next task not yet taken, so that a thread the system
// holds back for a moment leaves its share to the others instead of
// holding up the step. A thread that cannot be started leaves its tasks to
// the others. The one way the program runs work on threads.
class worker_team {
public:
    explicit worker_team(unsigned size);
    ~worker_team();
    worker_team(const worker_team&) = delete;
    worker_team& operator=(const worker_team&) = delete;

    unsigned size() const { return static_cast<unsigned>(workers_.size()) + 1; }
    // Tasks for a step whose work divides freely: a few per thread, so that a
    // thread held up for a moment leaves part of its share to the others.
    std::size_t tasks() const { return size() == 1 ? 1 : std::size_t{4} * size(); }
    void run(std::size_t count, const std::function<void(std::size_t)>& task);
    // The same, telling each task the worker that runs it (0 ... size() - 1),
    // for scratch memory of its own.
    void run(std::size_t count, const std::function<void(std::size_t task, std::size_t worker)>& task);

private:
    void serve(std::size_t worker);
    // Runs tasks not yet taken until none is left; keeps the first failure.
    void take_tasks(std::size_t worker, std::exception_ptr& failure);
    // Polls for a while (where polls_) as long as still() holds.
    template <class Condition>
    void poll_while(Condition still) const;

    std::vector<std::thread> workers_;
    std::mutex lock_;
    std::condition_variable step_started_;
    std::condition_variable step_done_;
    std::uint64_t step_ = 0;  // counts the steps started
    std::size_t busy_ = 0;    // workers still in the current step
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_task_{0};
    const std::function<void(std::size_t, std::size_t)>* task_ = nullptr;
    bool closing_ = false;
    std::exception_ptr failure_;
    // step_ and busy_ as seen without the lock, for waiting a moment by
    // polling before sleeping: steps follow each other within microseconds,
    // and waking a thread that sleeps costs tens of them.
    std::atomic<std::uint64_t> step_seen_{0};
    std::atomic<std::size_t> busy_seen_{0};
    bool polls_ = false;  // only where every thread has a core of its own
};

}  // namespace veltrin
