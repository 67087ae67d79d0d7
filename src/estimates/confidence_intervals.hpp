// Confidence intervals of averaged densities and of their ratio's square root.
#pragma once

#include <cstddef>
#include <span>

namespace veltrin {

// Equivalent degrees of freedom of K averaged sections of the window w
// starting `step` samples apart: 2K / (1 + 2 sum_{m=1}^{K-1} (1 - m/K) rho(m step)^2),
// rho(l) = sum_j w_j w_{j+l} / sum_j w_j^2 (0 for l >= n). Without overlap, 2K.
double equivalent_degrees_of_freedom(std::span<const double> w, std::size_t step, std::size_t sections);

// Factors that turn a density into the ends of its interval at probability p
// with nu degrees of freedom: nu / chi2.ppf((1 + p)/2, nu) and nu / chi2.ppf((1 - p)/2, nu).
struct interval_factors {
    double low;
    double high;
};
interval_factors density_interval(double p, double nu);

// sqrt(f.ppf((1 + p)/2, nu, nu)): Zn's interval is [zn / it, zn * it].
double ratio_interval(double p, double nu);

}  // namespace veltrin
