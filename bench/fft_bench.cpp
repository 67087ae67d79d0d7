// Time of the forward real transform at the sizes large recordings use.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "estimates/radix2_fft.hpp"

static void drealft_forward(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    std::mt19937 generator(42);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> input(n);
    for (double& x : input) x = uniform(generator);
    std::vector<double> data(n);
    for (auto _ : state) {
        state.PauseTiming();
        data = input;
        state.ResumeTiming();
        drealft(data.data(), n, 1);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(drealft_forward)->Arg(1 << 10)->Arg(1 << 14)->Arg(1 << 18)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
