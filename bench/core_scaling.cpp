// How much faster the machine itself does independent work on all its cores:
// the same fixed integer work on one thread, then on every core at once.
// Virtual machines whose cores are shared with others fall short of the core
// count; the reader's own speed-up can be judged against this one.
//
// usage: core_scaling [THREADS]   (prints one_thread_s all_s speed-up, best of three
//                                  turns each; default: all cores)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// Eight independent chains, so that the work keeps the integer units busy.
std::uint64_t work(std::uint64_t seed)
{
    std::uint64_t a = seed, b = seed + 1, c = seed + 2, d = seed + 3;
    for (std::uint64_t i = 0; i < 200000000; ++i) {
        a += i;
        b ^= i;
        c += i * 3;
        d ^= i + a;
        asm volatile("" : "+r"(a), "+r"(b), "+r"(c), "+r"(d));
    }
    return a ^ b ^ c ^ d;
}

// Seconds for `threads` threads to do one unit of work each.
double seconds_for(unsigned threads)
{
    std::vector<std::uint64_t> results(threads);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> running;
    for (unsigned t = 0; t < threads; ++t) running.emplace_back([&results, t] { results[t] = work(t); });
    for (std::thread& thread : running) thread.join();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::uint64_t sink = 0;
    for (std::uint64_t r : results) sink ^= r;
    if (sink == 42) std::puts("");  // keeps the work from being dropped
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned threads = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : (cores > 0 ? cores : 1);
    // The best of three turns each, taken in turn, so that a slow spell hits both.
    double one = 1e9;
    double all = 1e9;
    for (int turn = 0; turn < 3; ++turn) {
        one = std::min(one, seconds_for(1));
        all = std::min(all, seconds_for(threads));
    }
    // All threads did `threads` units in `all` seconds; one did one unit in `one`.
    std::printf("%.3f %.3f %.2f\n", one, all, one * threads / all);
}
