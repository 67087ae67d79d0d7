// Zn's interval when v and i are related: Goodman's distribution of the
// ratio of two averaged densities at a given coherence, in closed form.
#pragma once

#include <cstddef>
#include <vector>

#include "estimates/welch_estimate.hpp"

namespace veltrin {

// The quantile at probability q of u = (P_v_hat / P_i_hat) / (P_v / P_i) for
// n averaged complex degrees of freedom of a bivariate Gaussian of coherence
// g2 < 1, whose density is Gamma(2n) / Gamma(n)^2 (1 - g2)^n (1 + u) u^(n-1) /
// ((1 + u)^2 - 4 g2 u)^(n + 1/2). With x = ln u / 2 the density is that of
// sinh(x) = sqrt((1 - g2) / 2n) t, t Student's t with 2n degrees of freedom,
// which gives the quantile without integrating. At g2 = 0 it is F(2n, 2n)'s.
double goodman_quantile(double q, double n, double g2);

// The sample coherence |S_vi|^2 / (S_v S_i) of a bin with nu degrees of
// freedom less its bias: (nu g - s) / (nu - s), s = 2 for a complex bin and
// 1 for a real one (bin 0, N/2). Unbiased where v and i are unrelated, exact
// where they are proportional; it may fall below 0 and is kept so.
double corrected_coherence(double sample, double nu, bool real_bin);

// r of Zn's interval [zn / r, zn r] at probability p: Goodman's u with
// n = nu / 2 at the corrected coherence, its t taking nu - s degrees of
// freedom since the coherence comes from the same sections. For sections
// that do not overlap this makes the interval exact whatever the true
// coherence. nan without a degree of freedom left (one section).
double coherent_ratio_interval(double p, double nu, double corrected, bool real_bin);

// The sample coherence of bins first ... last; nan where a channel has no power.
std::vector<double> sample_coherence(const welch_spectra& spectra, std::size_t first, std::size_t last);

}  // namespace veltrin
