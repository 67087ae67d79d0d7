// Tasks on threads, with the calling thread as the fallback.
#include "parallel.hpp"

#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

void run_in_parallel(std::size_t count, const std::function<void(std::size_t)>& task)
{
    std::exception_ptr first_failure;
    std::mutex failure_lock;
    const auto guarded = [&](std::size_t k) {
        try {
            task(k);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failure_lock);
            if (!first_failure) first_failure = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    std::size_t started = 1;
    for (; started < count; ++started) {
        try {
            threads.emplace_back(guarded, started);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the rest runs here
        }
    }
    if (count > 0) guarded(0);
    for (std::size_t k = started; k < count; ++k) guarded(k);
    for (std::thread& thread : threads) thread.join();
    if (first_failure) std::rethrow_exception(first_failure);
}
