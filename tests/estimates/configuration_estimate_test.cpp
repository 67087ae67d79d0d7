// The densities against closed forms and a direct DFT.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "estimates/configuration_estimate.hpp"
#include "test_files.hpp"

using namespace veltrin;

namespace {

analysis_request config_of(std::int32_t hanning, std::int32_t nb_section, std::int32_t nbpoint_section)
{
    analysis_request request;
    request.hanning = hanning;
    request.nb_section = nb_section;
    request.nbpoint_section = nbpoint_section;
    return request;
}

density_pair densities(std::int32_t hanning, std::int32_t sections, std::int32_t n, const std::vector<float>& v,
                       const std::vector<float>& i)
{
    return estimate_spectra(config_of(hanning, sections, n), 0.002f, v, i, team_of(1));
}

// One-sided density of a real signal, from a direct DFT in long double,
// with the same window and scaling as the program.
std::vector<long double> direct_density(const std::vector<float>& x, std::int32_t sections, std::size_t n, bool window)
{
    const long double two_pi = 6.283185307179586476925286766559L;
    std::vector<long double> sum(n / 2 + 1, 0.0L);
    for (std::int32_t s = 0; s < sections; ++s) {
        std::vector<long double> y(n);
        long double mean = 0.0L;
        for (std::size_t j = 0; j < n; ++j) mean += y[j] = x[static_cast<std::size_t>(s) * n + j];
        mean /= static_cast<long double>(n);
        for (std::size_t j = 0; j < n; ++j) {
            y[j] -= mean;
            if (window) y[j] *= (1.0L - std::cos(6.283185307L / static_cast<long double>(n - 1) * j)) / 2.0L;
        }
        for (std::size_t k = 0; k <= n / 2; ++k) {
            long double re = 0.0L;
            long double im = 0.0L;
            for (std::size_t j = 0; j < n; ++j) {
                const long double angle = two_pi * static_cast<long double>((j * k) % n) / static_cast<long double>(n);
                re += y[j] * std::cos(angle);
                im -= y[j] * std::sin(angle);
            }
            sum[k] += re * re + im * im;
        }
    }
    const long double scale = 2.0L * 0.002f / static_cast<long double>(n) * (window ? 8.0L / 3.0L : 1.0L);
    for (long double& value : sum) value *= scale / sections;
    return sum;
}

std::vector<float> noise(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    std::vector<float> x(count);
    float walk = 0.0f;
    for (float& value : x) value = walk += gauss(generator);  // a random walk: a steep spectrum
    return x;
}

TEST(spectra, match_a_direct_dft_with_and_without_the_window)
{
    const std::size_t n = 256;
    const std::int32_t sections = 3;
    const std::vector<float> v = noise(n * sections + 17, 1);
    const std::vector<float> i = noise(n * sections + 17, 2);
    for (std::int32_t hanning : {0, 1, 2}) {
        const density_pair got = densities(hanning, sections, n, v, i);
        const std::vector<long double> want_v = direct_density(v, sections, n, hanning == 1);
        const std::vector<long double> want_i = direct_density(i, sections, n, hanning == 1);
        // Per-bin comparison relative to the bin, floored at the spectrum's
        // smallest meaningful level (the high bins of a random walk are small).
        long double peak = 0.0L;
        for (long double x : want_v) peak = std::max(peak, x);
        for (std::size_t k = 1; k <= n / 2; ++k) {
            const auto wv = static_cast<double>(want_v[k]);
            const auto wi = static_cast<double>(want_i[k]);
            const auto floor = static_cast<double>(1e-9L * peak);
            EXPECT_NEAR(got.psd_v[k], wv, 1e-5 * wv + floor) << "v bin " << k << " hanning " << hanning;
            EXPECT_NEAR(got.psd_i[k], wi, 1e-5 * wi + floor) << "i bin " << k << " hanning " << hanning;
        }
    }
}

TEST(spectra, cosine_at_a_bin_without_window)
{
    const std::size_t n = 64;
    const double amplitude = 3.0;
    const std::size_t bin = 5;
    std::vector<float> v(2 * n);
    for (std::size_t j = 0; j < v.size(); ++j)
        v[j] = static_cast<float>(amplitude * std::cos(6.283185307179586 * static_cast<double>(bin * j) / n));
    const density_pair got = densities(0, 2, n, v, v);
    const double expected = static_cast<double>(0.002f) * amplitude * amplitude * n / 2;
    EXPECT_NEAR(got.psd_v[bin], expected, 1e-5 * expected);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        if (k != bin) {
            EXPECT_LT(got.psd_v[k], 1e-9 * expected) << k;
        }
    }
}

TEST(spectra, constant_signal_and_two_point_window_give_zero)
{
    const density_pair constant = densities(1, 2, 16, std::vector<float>(40, 4.75f), std::vector<float>(40, -1.0f));
    for (std::size_t k = 0; k <= 8; ++k) {
        EXPECT_EQ(constant.psd_v[k], 0.0f);
        EXPECT_EQ(constant.psd_i[k], 0.0f);
    }
    const density_pair two = densities(1, 3, 2, {1, 5, -2, 7, 3, 3}, {0, 1, 2, 3, 4, 5});
    for (std::size_t k = 0; k <= 1; ++k) {
        EXPECT_EQ(two.psd_v[k], 0.0f);
        EXPECT_EQ(two.psd_i[k], 0.0f);
    }
}

TEST(spectra, parseval_without_window)
{
    // Sum over bins of the density times the bin width equals the mean
    // section variance, bins 0 and N/2 counted at half weight.
    const std::size_t n = 512;
    const std::int32_t sections = 4;
    const std::vector<float> v = noise(n * sections, 5);
    const density_pair got = densities(0, sections, n, v, v);
    const double bin_width = 1.0 / (static_cast<double>(0.002f) * n);
    double power = 0.5 * (got.psd_v[0] + got.psd_v[n / 2]);
    for (std::size_t k = 1; k < n / 2; ++k) power += got.psd_v[k];
    power *= bin_width;
    double variance = 0.0;
    for (std::int32_t s = 0; s < sections; ++s) {
        double mean = 0.0;
        for (std::size_t j = 0; j < n; ++j) mean += v[static_cast<std::size_t>(s) * n + j];
        mean /= n;
        for (std::size_t j = 0; j < n; ++j) {
            const double d = v[static_cast<std::size_t>(s) * n + j] - mean;
            variance += d * d;
        }
    }
    variance /= static_cast<double>(n) * sections;
    EXPECT_NEAR(power, variance, 1e-5 * variance);
}

}  // namespace

namespace {

TEST(spectra, every_thread_count_gives_the_same_bits)
{
    const std::vector<float> v = noise(65536, 5);
    const std::vector<float> i = noise(65536, 6);
    for (const std::int32_t hanning : {0, 1}) {
        const density_pair one = estimate_spectra(config_of(hanning, 63, 1024), 0.002f, v, i, team_of(1));
        for (const unsigned threads : {2u, 3u, 7u}) {
            const density_pair many = estimate_spectra(config_of(hanning, 63, 1024), 0.002f, v, i, team_of(threads));
            EXPECT_EQ(many.psd_v, one.psd_v) << threads;
            EXPECT_EQ(many.psd_i, one.psd_i) << threads;
        }
    }
}

}  // namespace
