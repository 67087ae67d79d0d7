// Chi-square and F quantiles from Boost.Math.
#include "estimates/confidence_intervals.hpp"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>
#include <cmath>

namespace veltrin {

double equivalent_degrees_of_freedom(std::span<const double> w, std::size_t step, std::size_t sections)
{
    double power = 0.0;
    for (const double weight : w) power += weight * weight;
    const auto k = static_cast<double>(sections);
    double correlation = 0.0;
    for (std::size_t m = 1; m < sections; ++m) {
        const std::size_t lag = m * step;
        if (lag >= w.size()) break;  // sections that do not overlap are independent
        double rho = 0.0;
        for (std::size_t j = 0; j + lag < w.size(); ++j) rho += w[j] * w[j + lag];
        rho /= power;
        correlation += (1.0 - static_cast<double>(m) / k) * rho * rho;
    }
    return 2.0 * k / (1.0 + 2.0 * correlation);
}

interval_factors density_interval(double p, double nu)
{
    const boost::math::chi_squared distribution(nu);
    return {nu / boost::math::quantile(distribution, (1.0 + p) / 2.0),
            nu / boost::math::quantile(distribution, (1.0 - p) / 2.0)};
}

double ratio_interval(double p, double nu)
{
    const boost::math::fisher_f distribution(nu, nu);
    return std::sqrt(boost::math::quantile(distribution, (1.0 + p) / 2.0));
}

}  // namespace veltrin
