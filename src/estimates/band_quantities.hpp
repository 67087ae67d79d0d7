// The numbers a corrosion-noise report takes from the spectra: the
// low-frequency band's densities and Zn with its interval, the densities'
// roll-off slopes, and the shot-noise parameters.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/request.hpp"

namespace veltrin {

// One estimate's rows, whatever estimate made them.
struct band_spectra {
    std::span<const double> frequency;  // increasing, Hz
    std::span<const double> psd_v;
    std::span<const double> psd_i;
    std::size_t inner_first = 0;  // the rows of the inner bins (not bin 0, not N/2): [inner_first, inner_end)
    std::size_t inner_end = 0;
    std::span<const double> window;     // the sections' N weights
    double nu = 0.0;                    // Welch's degrees of freedom of the inner bins, with a confidence
    std::span<const double> coherence;  // the rows' sample coherence, for the coherent interval
    std::optional<double> rn;           // the noise resistance, with the statistics
    // The sections, for the band's exact degrees of freedom and the slopes' errors.
    std::size_t first_bin = 0;  // the bin of row 0
    std::size_t step = 0;       // samples between section starts
    std::size_t sections = 0;   // K
    detrend_mode detrend = detrend_mode::none;
};

// Counts as whole numbers, the rest as doubles.
using named_values = std::vector<std::pair<std::string, setting_value>>;

// The first band of the request (--band, then --slope-band) that holds no
// inner bin. The default bands are never a problem: an empty one gives nan.
std::optional<request_problem> check_bands(const analysis_request& request, const band_spectra& spectra);

// band_low, band_high, band_bins, psd_v_band, psd_i_band, zn_band; with a
// confidence nu_band, zn_band_low, zn_band_high; slope_band_low,
// slope_band_high, slope_bins, slope_v, slope_i, slope_v_stderr,
// slope_i_stderr; with B q, fn, i_corr and, with rn, i_corr_rn.
named_values band_quantities(const analysis_request& request, const band_spectra& spectra);

// The names band_quantities gives for the request, in its order (i_corr_rn
// with B when the statistics are asked, which give rn).
std::vector<std::string> band_keys(const analysis_request& request);

// The band's degrees of freedom: those of psd_v_band and psd_i_band
// (exact_band_freedom, each bin weighted by its density), combined as
// 2 / (1 / nu_v + 1 / nu_i), which gives the log of their ratio its variance
// (each of them when the two channels' spectra have one shape).
double band_degrees_of_freedom(const band_spectra& spectra, std::size_t first_row, std::size_t rows);

}  // namespace veltrin
