// Running a few tasks at once on threads of their own.
#pragma once

#include <cstddef>
#include <functional>

// Runs task(0) ... task(count - 1), each on its own thread (task 0 on the
// calling one), and waits for all. A thread that cannot be started leaves
// its task to the calling thread. The first exception a task throws is
// rethrown once every task has ended.
void run_in_parallel(std::size_t count, const std::function<void(std::size_t)>& task);
