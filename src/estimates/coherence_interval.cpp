// The sample coherence's distribution as a beta mixture, its incomplete
// betas by recurrence, inverted by bracketing (Boost.Math's TOMS 748).
#include "estimates/coherence_interval.hpp"

#include <boost/math/tools/roots.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <algorithm>

#include "estimates/exact_angles.hpp"

namespace veltrin {

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// Weights below this fraction of the largest, past the largest, are left out.
constexpr double negligible_weight = 1e-17;

// Incomplete betas below this are left out (the distribution's absolute error).
constexpr double least_beta = 1e-14;

// Mantissas are kept below 2^500, their binary exponents apart.
constexpr double large_mantissa = 0x1p500;

}  // namespace

double coherence_cdf(double c, double n, double g2)
{
    if (!(n > 1.0) || std::isnan(c) || !(g2 >= 0.0 && g2 < 1.0)) return not_a_number;
    if (c <= 0.0) return 0.0;
    if (c >= 1.0) return 1.0;
    const double b = n - 1.0;
    // Every logarithm and exponential of the four operations alone: the same bits on every system.
    const double log_tail = b * log_one_plus(-c);  // ln (1 - c)^b
    // I_c(1, b) = 1 - (1 - c)^b.
    double i = -exponential_minus_one(log_tail);
    if (g2 == 0.0) return i;
    // t(a) = I_c(a, b) - I_c(a + 1, b) = c^a (1 - c)^b / (a B(a, b)) as t_m 2^t_e,
    // from t(1) = b c (1 - c)^b, which may be far below the doubles' range.
    const double log_t = natural_logarithm(b * c) + log_tail;
    int t_e = static_cast<int>(std::floor(log_t / std::numbers::ln2));
    double t_m = exponential(log_t - t_e * std::numbers::ln2);
    double t_scale = std::ldexp(1.0, t_e);  // 0 while t is below the doubles' range
    // The weights relative to w_0 = (1 - g2)^n, as w 2^w_e; the sum likewise.
    double w = 1.0;
    int w_e = 0;
    double sum = i;
    double largest = 1.0;
    const double mode = b * g2 / (1.0 - g2);
    for (std::uint64_t k = 0;; ++k) {
        const double a = 1.0 + static_cast<double>(k);
        // I(a + 1) = I(a) - t(a), t(a + 1) = t(a) c (a + b) / (a + 1).
        // I falls with a: once it is below least_beta the remaining terms, whose
        // weights sum to less than 1, change the sum by less than that.
        i -= t_m * t_scale;
        if (i < least_beta) break;
        t_m *= c * (a + b) / (a + 1.0);
        if (t_m > large_mantissa) {
            t_m = std::ldexp(t_m, -500);
            t_e += 500;
            t_scale = std::ldexp(1.0, t_e);
        }
        // w_{k+1} = w_k (n + k) / (k + 1) g2.
        w *= (n + static_cast<double>(k)) / a * g2;
        sum += w * i;
        if (w > large_mantissa) {
            w = std::ldexp(w, -500);
            sum = std::ldexp(sum, -500);
            largest = std::ldexp(largest, -500);
            w_e += 500;
        }
        largest = std::max(largest, w);
        if (a > mode && w < negligible_weight * largest) break;
    }
    if (!(sum > 0.0)) return 0.0;
    return std::min(1.0, exponential(n * log_one_plus(-g2) + w_e * std::numbers::ln2 + natural_logarithm(sum)));
}

namespace {

// The sum's weights peak at k = (n - 1) g2 / (1 - g2): beyond this mode (a
// true coherence above (most_mode / (n - 1 + most_mode)) the sum would take
// too many terms, and a bound that lies there is widened to it (low) or to 1 (high).
constexpr double most_mode = 2e4;

// The true coherence g2 at which P(C <= sample | g2) = target, the
// distribution falling from its value at g2 = 0 towards 0 as g2 nears 1;
// `beyond` where it lies above the largest true coherence summed.
double true_coherence_at(double target, double n, double sample, double beyond)
{
    if (coherence_cdf(sample, n, 0.0) <= target) return 0.0;
    const auto f = [&](double g2) { return coherence_cdf(sample, n, g2) - target; };
    const double top = most_mode / (n - 1.0 + most_mode);
    if (f(top) >= 0.0) return beyond < 0.0 ? top : beyond;
    std::uintmax_t iterations = 200;
    const auto [low, high] =
        boost::math::tools::toms748_solve(f, 0.0, top, boost::math::tools::eps_tolerance<double>(40), iterations);
    return (low + high) / 2.0;
}

}  // namespace

coherence_bounds coherence_interval(double p, double nu, double sample)
{
    const double n = nu / 2.0;
    if (std::isnan(sample) || !(n > 1.0)) return {not_a_number, not_a_number};
    if (sample >= 1.0) return {1.0, 1.0};
    if (sample <= 0.0) return {0.0, 0.0};
    return {true_coherence_at((1.0 + p) / 2.0, n, sample, -1.0), true_coherence_at((1.0 - p) / 2.0, n, sample, 1.0)};
}

}  // namespace veltrin
