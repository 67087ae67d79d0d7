// Times the raw binary reader alone on a file in the page cache: one warm-up
// reading, then RUNS timed readings, each of the whole file into the series.
//
// usage: raw_binary_read FILE [THREADS] [RUNS] [f32le|f64le|f32be|f64be]
//        (prints the pairs, the median seconds and the GB/s, 10^9 bytes a
//        second; default: 2 threads, 5 runs, f32le)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "input/raw_binary.hpp"
#include "model/error.hpp"
#include "platform/platform.hpp"

using namespace veltrin;

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 5) {
        std::fputs("usage: raw_binary_read FILE [THREADS] [RUNS] [f32le|f64le|f32be|f64be]\n", stderr);
        return 2;
    }
    reading_options options;
    options.threads = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 2;
    const int runs = argc > 3 ? std::max(std::atoi(argv[3]), 1) : 5;
    raw_layout layout;
    layout.sampling_frequency = 500.0;
    if (argc > 4) {
        const char* const names[] = {"f32le", "f64le", "f32be", "f64be"};
        const sample_encoding encodings[] = {sample_encoding::f32le, sample_encoding::f64le, sample_encoding::f32be,
                                             sample_encoding::f64be};
        const auto at = std::find_if(std::begin(names), std::end(names),
                                     [&](const char* n) { return std::strcmp(n, argv[4]) == 0; });
        if (at == std::end(names)) {
            std::fprintf(stderr, "unknown encoding %s\n", argv[4]);
            return 2;
        }
        layout.encoding = encodings[at - std::begin(names)];
    }
    std::vector<double> seconds;
    std::uint64_t bytes = 0;
    std::size_t pairs = 0;
    for (int run = 0; run <= runs; ++run) {
        open_outcome outcome;
        std::FILE* file = open_for_reading(argv[1], outcome);
        if (file == nullptr) {
            std::perror(argv[1]);
            return 1;
        }
        std::uint64_t position = 0;
        regular_file_extent(file, bytes, position);
        const auto start = std::chrono::steady_clock::now();
        try {
            const recording r = read_raw_binary(file, argv[1], options, layout);
            pairs = r.v.size();
        } catch (const analysis_error& error) {
            std::fprintf(stderr, "%s\n", error.what());
            return 1;
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fclose(file);
        if (run > 0) seconds.push_back(elapsed);  // the first reading fills the page cache
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("%zu %.4f %.2f\n", pairs, median, static_cast<double>(bytes) / median / 1e9);
    return 0;
}
