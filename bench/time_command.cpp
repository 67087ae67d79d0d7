// Runs a command several times; prints the median wall time in seconds and the
// largest peak resident memory in KiB, from the kernel's own accounting.
//
// usage: time_command RUNS COMMAND [ARGS...]   (the command's output is discarded)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: time_command RUNS COMMAND [ARGS...]\n", stderr);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    std::vector<double> seconds;
    long peak_kib = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s failed\n", argv[2]);
            return 1;
        }
        peak_kib = std::max(peak_kib, usage.ru_maxrss);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%.4f %ld\n", seconds[seconds.size() / 2], peak_kib);
    return 0;
}
