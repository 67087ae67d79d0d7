// The interval of the true magnitude-squared coherence from the sample
// coherence: the exact distribution of the estimate (Goodman 1963; Carter,
// Knapp and Nuttall 1973), inverted for the true value.
#pragma once

namespace veltrin {

// P(C <= c) for the sample coherence C of n > 1 averaged complex degrees of
// freedom of a bivariate complex Gaussian of true coherence g2 in [0, 1).
// Its density (n - 1) (1 - g2)^n (1 - c)^(n-2) 2F1(n, n; 1; g2 c) is a
// mixture of Beta(1 + k, n - 1) with negative binomial weights
// Gamma(n + k) / (Gamma(n) k!) g2^k (1 - g2)^n, which holds for any real n > 1:
// the sum of the weights times the regularised incomplete beta, from the
// weights' mode outwards until they no longer count. nan for n <= 1.
double coherence_cdf(double c, double n, double g2);

struct coherence_bounds {
    double low;
    double high;
};

// The interval at probability p of the true coherence from a sample
// coherence with nu degrees of freedom (n = nu / 2 complex ones): low
// solves P(C <= sample | low) = (1 + p) / 2 and high P(C <= sample | high)
// = (1 - p) / 2, each 0 where even a true coherence of 0 makes the sample
// that large that seldom (the distribution falls as the true coherence
// grows); [1, 1] for a sample of 1. nan for a sample that is nan or nu <= 2.
// A bound at a true coherence above 2e4 / (n - 1 + 2e4), where the mixture
// would need too many terms, is widened (low to that value, high to 1): the
// interval then covers more than p.
coherence_bounds coherence_interval(double p, double nu, double sample);

}  // namespace veltrin
