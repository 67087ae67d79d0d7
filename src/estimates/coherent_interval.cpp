// Goodman's ratio distribution through Student's t (Boost.Math).
#include "estimates/coherent_interval.hpp"

#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>

namespace veltrin {

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// sqrt(u) at probability q where sinh(ln u / 2) = sqrt(scale) t, t Student's
// t with `freedom` degrees of freedom.
double root_ratio_quantile(double q, double freedom, double scale)
{
    if (!(freedom > 0.0)) return not_a_number;
    // A coherence that rounds to just above 1 is 1.
    if (scale < 0.0) scale = 0.0;
    const boost::math::students_t distribution(freedom);
    const double a = boost::math::quantile(distribution, q) * std::sqrt(scale);
    // sinh^-1 written so that neither tail subtracts nearly equal numbers.
    // sqrt, unlike the C libraries' hypot, is rounded alike everywhere; a stays far below overflow.
    const double h = std::sqrt(1.0 + a * a);
    return a >= 0.0 ? a + h : 1.0 / (h - a);
}

double spent(bool real_bin)
{
    return real_bin ? 1.0 : 2.0;
}

}  // namespace

double goodman_quantile(double q, double n, double g2)
{
    const double r = root_ratio_quantile(q, 2.0 * n, (1.0 - g2) / (2.0 * n));
    return r * r;
}

double corrected_coherence(double sample, double nu, bool real_bin)
{
    const double s = spent(real_bin);
    return (nu * sample - s) / (nu - s);
}

double coherent_ratio_interval(double p, double nu, double corrected, bool real_bin)
{
    return root_ratio_quantile((1.0 + p) / 2.0, nu - spent(real_bin), (1.0 - corrected) / nu);
}

std::vector<double> sample_coherence(const welch_spectra& spectra, std::size_t first, std::size_t last)
{
    std::vector<double> coherence;
    for (std::size_t k = first; k <= last; ++k) {
        const bool silent = spectra.psd_v[k] == 0.0 || spectra.psd_i[k] == 0.0;
        coherence.push_back(silent ? not_a_number
                                   : std::norm(spectra.cross[k]) / (spectra.psd_v[k] * spectra.psd_i[k]));
    }
    return coherence;
}

}  // namespace veltrin
