// Time of the transforms the two estimates run on each section: the
// configuration estimate's planned radix-2 real transform, and the standard
// estimate's transform of any length (a power of two, a smooth length and a
// prime one, which goes through the chirp convolution).
#include <benchmark/benchmark.h>

#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "estimates/general_fft.hpp"
#include "estimates/radix2_fft.hpp"
#include "reference_transforms.hpp"

using namespace veltrin;

namespace {

std::vector<double> noise(std::size_t n)
{
    std::mt19937 generator(42);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<double> values(n);
    for (double& x : values) x = uniform(generator);
    return values;
}

void configuration_transform(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const real_transform_plan plan = plan_drealft(n);
    const std::vector<double> input = noise(n);
    std::vector<double> data(n);
    for (auto _ : state) {
        data = input;
        drealft(data.data(), plan);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void standard_transform(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    real_transform transform(n);
    const std::vector<double> input = noise(n);
    std::vector<std::complex<double>> bins(n / 2 + 1);
    for (auto _ : state) {
        transform.forward(input.data(), bins.data());
        benchmark::DoNotOptimize(bins.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(configuration_transform)
    ->Arg(1 << 10)
    ->Arg(1 << 12)
    ->Arg(1 << 14)
    ->Arg(1 << 18)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(standard_transform)->Arg(1 << 12)->Arg(3000)->Arg(4099)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
