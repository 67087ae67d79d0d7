// Zn's coherent interval: Goodman's quantiles against his density integrated
// with Boost.Math, and the interval's coverage by a small seeded Monte Carlo.
// (bench/coherent_coverage runs the larger one.)
#include <gtest/gtest.h>

#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <cmath>
#include <random>
#include <vector>

#include "analysis/analysis.hpp"
#include "estimates/coherent_interval.hpp"
#include "estimates/confidence_intervals.hpp"

using namespace veltrin;

namespace {

// P(u <= quantile) from the density as published, integrated over x = ln u.
double goodman_cdf(double u, double n, double g2)
{
    const double log_c = std::lgamma(2.0 * n) - 2.0 * std::lgamma(n) + n * std::log1p(-g2);
    const auto density = [&](double x) {
        const double w = std::exp(x);
        return std::exp(log_c + std::log1p(w) + (n - 1.0) * x -
                        (n + 0.5) * std::log((1.0 + w) * (1.0 + w) - 4.0 * g2 * w)) *
               w;
    };
    // Pieces split at the median (u = 1), where the density peaks for large n.
    double sum = 0.0;
    const double ends[] = {-60.0, -1.0, 0.0, std::log(u)};
    for (int k = 0; k < 3; ++k)
        sum += boost::math::quadrature::gauss_kronrod<double, 31>::integrate(density, ends[k], ends[k + 1], 12, 1e-13);
    return sum;
}

TEST(coherent_interval, goodman_quantiles_invert_the_density)
{
    const struct {
        double n, g2, q;
    } cases[] = {{8, 0.0, 0.95},   {8, 0.36, 0.05},   {16, 0.81, 0.975}, {3.3, 0.5, 0.995},
                 {2.5, 0.99, 0.9}, {200, 0.6, 0.025}, {1, 0.2, 0.8}};
    for (const auto& c : cases) {
        const double u = goodman_quantile(c.q, c.n, c.g2);
        EXPECT_NEAR(goodman_cdf(u, c.n, c.g2), c.q, 1e-10) << c.n << " " << c.g2 << " " << c.q;
    }
    // Unrelated channels: F(2n, 2n), today's interval.
    for (const double nu : {4.0, 13.36, 64.0})
        EXPECT_NEAR(std::sqrt(goodman_quantile(0.95, nu / 2.0, 0.0)), ratio_interval(0.9, nu), 1e-12 * nu);
}

// Normal deviates from the standard's own generator by Box and Muller, the
// same on every system.
struct gaussian_source {
    std::mt19937_64 bits{2026};
    double next()
    {
        const double u1 = (static_cast<double>(bits() >> 11) + 1.0) * 0x1.0p-53;
        const double u2 = static_cast<double>(bits() >> 11) * 0x1.0p-53;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * 3.14159265358979323846 * u2);
    }
};

// v = a i + e: coherence a^2 / (a^2 + 1) and Zn = sqrt(a^2 + 1) in every bin.
// 300 trials of 16 sections of 32 points, the 15 inner bins each: the
// coverage's standard error is about 0.005, the tolerance 0.03.
TEST(coherent_interval, covers_zn_at_its_nominal_probability)
{
    const struct {
        double g2;
        double overlap;
        const char* window;
    } cases[] = {{0.0, 0.0, "boxcar"}, {0.81, 0.0, "boxcar"}, {0.36, 0.5, "hann"}, {0.81, 0.5, "hann"}};
    gaussian_source gauss;
    for (const auto& c : cases) {
        analysis_request request;
        request.standard = true;
        request.window = *window_named(c.window);
        request.nbpoint_section = 32;
        request.nb_section = 16;
        request.overlap = c.overlap;
        request.confidence = 0.9;
        request.zn_interval = zn_interval_mode::coherent;
        const std::size_t length = 15 * (32 - static_cast<std::size_t>(c.overlap * 32)) + 32;
        const double a = std::sqrt(c.g2 / (1.0 - c.g2));
        const double zn = std::sqrt(a * a + 1.0);
        std::vector<float> v(length);
        std::vector<float> i(length);
        double covered = 0.0;
        double covered_independent = 0.0;
        double intervals = 0.0;
        for (int trial = 0; trial < 300; ++trial) {
            for (std::size_t t = 0; t < length; ++t) {
                const double x = gauss.next();
                i[t] = static_cast<float>(x);
                v[t] = static_cast<float>(a * x + gauss.next());
            }
            const spectrum_result result = analyse({1.0, 1.0f, v, i}, "", request, "trial");
            const double r = ratio_interval(0.9, result.nu);
            for (std::size_t k = 1; k < 16; ++k) {
                const double estimate = result.columns[3].values[k];
                covered += result.columns[8].values[k] <= zn && zn <= result.columns[9].values[k] ? 1.0 : 0.0;
                covered_independent += estimate / r <= zn && zn <= estimate * r ? 1.0 : 0.0;
                intervals += 1.0;
            }
        }
        EXPECT_NEAR(covered / intervals, 0.9, 0.03) << c.g2 << " " << c.window;
        // The interval that ignores the coherence covers far more than asked once v and i are related.
        if (c.g2 > 0.5) {
            EXPECT_GT(covered_independent / intervals, 0.98) << c.g2 << " " << c.window;
        }
    }
}

// The interval's end is Goodman's quantile at the sample coherence with
// (nu - s) / 2 complex degrees of freedom, s = 2 for a complex bin and 1 for
// a real one: checked against his density integrated, for Hann-like nu.
TEST(coherent_interval, spends_the_coherence_degrees_of_freedom)
{
    for (const double nu : {6.0, 10.0, 33.5, 58.84}) {
        for (const double sample : {0.05, 0.5, 0.93}) {
            for (const bool real : {false, true}) {
                const double spent = real ? 1.0 : 2.0;
                const double r = coherent_ratio_interval(0.9, nu, corrected_coherence(sample, nu, real), real);
                EXPECT_NEAR(goodman_cdf(r * r, (nu - spent) / 2.0, sample), 0.95, 1e-9)
                    << nu << " " << sample << " " << real;
            }
        }
    }
}

// Channels fully related (i = -3 v): the sample coherence is 1 up to
// rounding, a little above it in some bins, and Zn's coherent interval
// closes on Zn = 1/3 instead of becoming nan.
TEST(coherent_interval, fully_coherent_channels_keep_finite_intervals)
{
    gaussian_source gauss;
    std::vector<float> v(4096);
    std::vector<float> i(4096);
    for (std::size_t t = 0; t < v.size(); ++t) {
        v[t] = static_cast<float>(gauss.next());
        i[t] = -3.0f * v[t];
    }
    std::size_t above_one = 0;
    for (const char* window : {"hann", "boxcar", "blackman"}) {
        for (const std::int32_t n : {64, 128, 256}) {
            analysis_request request;
            request.standard = true;
            request.window = *window_named(window);
            request.nbpoint_section = n;
            request.overlap = 0.5;
            request.all_sections = true;
            request.confidence = 0.9;
            request.coherence = true;
            request.zn_interval = zn_interval_mode::coherent;
            request.band = frequency_band{2.0 / n, 0.25};
            const spectrum_result result = analyse({1.0, 1.0f, v, i}, "", request, "coherent");
            for (std::size_t k = 1; k < static_cast<std::size_t>(n / 2); ++k) {
                const double zn = result.columns[3].values[k];
                EXPECT_NEAR(result.columns[8].values[k], zn, 1e-5 * zn) << window << " " << n << " bin " << k;
                EXPECT_NEAR(result.columns[9].values[k], zn, 1e-5 * zn) << window << " " << n << " bin " << k;
                if (result.columns[11].values[k] > 1.0) ++above_one;
            }
            for (const auto& [key, value] : result.band) {
                if (key == "zn_band_low" || key == "zn_band_high") {
                    EXPECT_TRUE(std::isfinite(std::get<double>(value))) << window << " " << key;
                }
            }
        }
    }
    EXPECT_GT(above_one, 0u) << "no bin's coherence rounds above 1: the clamp is not tried";
}

}  // namespace
