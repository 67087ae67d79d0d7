// Exact degrees of freedom of averaged periodograms and of their band means,
// from the quadratic forms that make them: the window, each section's
// detrending projection, the sections' step and their number.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "model/request.hpp"

namespace veltrin {

// K sections of the N weights w, starting `step` samples apart, each
// detrended (its mean or its least-squares line removed) before the window.
struct windowed_sections {
    std::span<const double> window;
    std::size_t step = 0;
    std::size_t sections = 0;
    detrend_mode detrend = detrend_mode::none;
};

// Under a Gaussian recording whose density is flat near the bins (white
// noise of unit variance), section s's transform at bin k is the linear form
// z_s(k) = sum_j a_k[j] x[s step + j], a_k = P (w exp(-2 pi i j k / N)) with P
// the detrending projection, and the averaged periodogram the quadratic form
// sum_s |z_s(k)|^2 / K. Its covariances over every pair of sections s, s + m
// are |E z_s(k) z*_{s+m}(k')|^2 + |E z_s(k) z_{s+m}(k')|^2 (Isserlis); the
// second term is what halves the degrees of freedom at bins 0 and N/2.
struct bin_freedom_table {
    // nu(k) = 2 E^2 / Var of bin k, k = 0 ... N/2; nan at bin 0 once the
    // sections are detrended, where what is left is leakage, not the density at 0.
    std::vector<double> nu;
    // E(k) / E of a bin far from 0 without detrending: the expected factor of
    // a flat density at bin k (5/6 at bin 1 under Hann with the mean removed).
    std::vector<double> expectation;
};

// Every bin's: one transform of length N per term and per section lag m
// with m step < N (O(N log N) per lag).
bin_freedom_table exact_bin_freedom(const windowed_sections& layout);

// The degrees of freedom 2 E^2 / Var of the mean of bins first ... first +
// m - 1 with the estimated densities `densities` (one a bin), taking each
// bin's density as the level of the locally flat spectrum there, so that a
// sloping band is right: Var = sum_{k,k'} D_k D_k' Cov_kk' / (E_k E_k'),
// every pair of bins over every pair of sections (pairs more than 1024
// bins apart, whose covariance a window makes negligible, are left out).
// nan for an empty band or one without power.
double exact_band_freedom(const windowed_sections& layout, std::size_t first, std::span<const double> densities);

// The same for several sets of densities over the same bins at once (the
// covariances computed once): one value a set.
std::vector<double> exact_band_freedoms(const windowed_sections& layout, std::size_t first,
                                        std::span<const std::vector<double>> densities);

// The correlation of the averaged densities of two inner bins d apart, d =
// 0 ... most (1 at 0), far from bin 0 (the detrending left out):
// sum_m c_m |U_m(d)|^2 / sum_m c_m |U_m(0)|^2, U_m the transform of
// w_j w_{j - m step}, c_0 = K, c_m = 2 (K - m).
std::vector<double> bin_correlation(const windowed_sections& layout, std::size_t most);

}  // namespace veltrin
