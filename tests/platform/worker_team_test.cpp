// The team of threads that the reader keeps for its steps.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/worker_team.hpp"

using namespace veltrin;

namespace {

TEST(worker_team, runs_every_task_once_per_step_and_passes_on_a_failure)
{
    for (const unsigned size : {1u, 2u, 3u, 7u}) {
        worker_team team(size);
        for (int step = 0; step < 3; ++step) {
            for (std::size_t count = 0; count <= size + 2; ++count) {  // beyond its size too
                std::vector<std::atomic<int>> runs(count);
                team.run(count, [&](std::size_t k) { ++runs[k]; });
                for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(runs[k], 1) << size << " threads, task " << k;
            }
        }
        // The other tasks end before the failure reaches the caller, and the team stays usable.
        std::atomic<unsigned> ended = 0;
        EXPECT_THROW(team.run(size,
                              [&](std::size_t k) {
                                  if (k + 1 == size) throw std::runtime_error("task failed");
                                  ++ended;
                              }),
                     std::runtime_error);
        EXPECT_EQ(ended, size - 1);
        team.run(size, [&](std::size_t) { ++ended; });
        EXPECT_EQ(ended, 2 * size - 1);
    }
}

// A thread held up in one task leaves the step's other tasks to the others.
TEST(worker_team, hands_the_tasks_of_a_held_up_thread_to_the_others)
{
    for (const unsigned size : {2u, 3u}) {
        worker_team team(size);
        const std::size_t count = 4 * size;
        std::atomic<std::size_t> ended = 0;
        bool others_ended = false;
        team.run(count, [&](std::size_t k) {
            if (k != 0) {
                ++ended;
                return;
            }
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (ended < count - 1 && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
            others_ended = ended == count - 1;
        });
        EXPECT_TRUE(others_ended) << size << " threads";
    }
}

}  // namespace
