// The coherence's interval: the distribution of the sample coherence against
// Goodman's density integrated (its 2F1 summed term by term), the bounds
// against the distribution, and the coverage by a small seeded Monte Carlo.
// (bench/coherence_coverage.py runs the large one with numpy.)
#include <gtest/gtest.h>

#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <cmath>
#include <random>
#include <vector>

#include "analysis/analysis.hpp"
#include "estimates/coherence_interval.hpp"

using namespace veltrin;

namespace {

// (n - 1) (1 - g2)^n (1 - c)^(n - 2) 2F1(n, n; 1; g2 c), integrated from 0 to c.
double goodman_coherence_cdf(double c, double n, double g2)
{
    const auto density = [&](double x) {
        double term = 1.0;
        double sum = 1.0;
        for (int k = 0; k < 100000 && term > 1e-18 * sum; ++k) {
            term *= (n + k) * (n + k) / ((k + 1.0) * (k + 1.0)) * g2 * x;
            sum += term;
        }
        return (n - 1.0) * std::pow(1.0 - g2, n) * std::pow(1.0 - x, n - 2.0) * sum;
    };
    return boost::math::quadrature::gauss_kronrod<double, 61>::integrate(density, 0.0, c, 15, 1e-13);
}

}  // namespace

TEST(coherence_interval, distribution_integrates_goodmans_density)
{
    const struct {
        double c, n, g2;
    } cases[] = {{0.3, 8, 0.0},   {0.3, 8, 0.5},    {0.05, 8, 0.1},     {0.7, 4.5, 0.81}, {0.95, 16, 0.9},
                 {0.2, 2.3, 0.3}, {0.5, 29.4, 0.4}, {0.99, 29.4, 0.95}, {0.6, 1.5, 0.6}};
    for (const auto& k : cases)
        EXPECT_NEAR(coherence_cdf(k.c, k.n, k.g2), goodman_coherence_cdf(k.c, k.n, k.g2), 1e-10)
            << k.c << " " << k.n << " " << k.g2;
    // Unrelated channels: 1 - (1 - c)^(n - 1).
    EXPECT_NEAR(coherence_cdf(0.2, 10.0, 0.0), 1.0 - std::pow(0.8, 9.0), 1e-14);
    EXPECT_TRUE(std::isnan(coherence_cdf(0.5, 1.0, 0.5)));
}

TEST(coherence_interval, bounds_invert_the_distribution)
{
    for (const double nu : {6.0, 16.0, 58.8, 300.0}) {
        for (const double sample : {0.02, 0.3, 0.7, 0.97}) {
            const coherence_bounds b = coherence_interval(0.9, nu, sample);
            ASSERT_LE(b.low, b.high) << nu << " " << sample;
            if (b.low > 0.0) {
                EXPECT_NEAR(coherence_cdf(sample, nu / 2.0, b.low), 0.95, 1e-9) << nu << " " << sample;
            } else {
                EXPECT_LE(coherence_cdf(sample, nu / 2.0, 0.0), 0.95) << nu << " " << sample;
            }
            if (b.high > 0.0) {
                EXPECT_NEAR(coherence_cdf(sample, nu / 2.0, b.high), 0.05, 1e-9) << nu << " " << sample;
            }
        }
    }
    // No degrees of freedom to spare (one section), a sample of 1, and nan.
    EXPECT_TRUE(std::isnan(coherence_interval(0.9, 2.0, 0.5).low));
    EXPECT_EQ(coherence_interval(0.9, 20.0, 1.0).low, 1.0);
    EXPECT_TRUE(std::isnan(coherence_interval(0.9, 20.0, std::nan("")).high));
}

// v = a i + e: coherence g2 = a^2 / (a^2 + 1) in every bin; 150 trials of 12
// sections of 32 points, the 15 inner bins each (standard error about 0.006).
TEST(coherence_interval, covers_the_true_coherence)
{
    std::mt19937_64 bits{35};
    std::normal_distribution<double> normal;
    for (const auto& [g2, window, overlap] :
         {std::tuple{0.1, "boxcar", 0.0}, std::tuple{0.5, "hann", 0.5}, std::tuple{0.9, "hann", 0.0}}) {
        analysis_request request;
        request.standard = true;
        request.window = *window_named(window);
        request.overlap = overlap;
        request.nbpoint_section = 32;
        request.nb_section = 12;
        request.confidence = 0.9;
        request.coherence = true;
        const auto step = static_cast<std::size_t>(32 - static_cast<int>(overlap * 32));
        const std::size_t length = 11 * step + 32;
        const double a = std::sqrt(g2 / (1.0 - g2));
        std::vector<float> v(length);
        std::vector<float> i(length);
        double covered = 0.0;
        double count = 0.0;
        for (int trial = 0; trial < 150; ++trial) {
            for (std::size_t t = 0; t < length; ++t) {
                const double x = normal(bits);
                i[t] = static_cast<float>(x);
                v[t] = static_cast<float>(a * x + normal(bits));
            }
            const spectrum_result result = analyse({1.0, 1.0f, v, i}, "", request, "trial");
            const std::vector<double>& low = result.columns[13].values;
            const std::vector<double>& high = result.columns[14].values;
            ASSERT_EQ(result.columns[13].name, "coherence_low");
            EXPECT_TRUE(std::isnan(low[0]) && std::isnan(high[16]));  // the real bins
            for (std::size_t k = 1; k < 16; ++k) {
                covered += low[k] <= g2 && g2 <= high[k] ? 1.0 : 0.0;
                count += 1.0;
            }
        }
        EXPECT_NEAR(covered / count, 0.9, 0.025) << g2 << " " << window << " " << overlap;
    }
}
