// Band means, the band's degrees of freedom and Zn interval, least-squares
// slopes and the shot-noise parameters over one estimate's rows.
#include "estimates/band_quantities.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "estimates/coherent_interval.hpp"
#include "estimates/exact_angles.hpp"
#include "estimates/confidence_intervals.hpp"
#include "estimates/degrees_of_freedom.hpp"

namespace veltrin {

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// The inner rows [first, end) whose frequency lies in the band.
struct rows {
    std::size_t first = 0;
    std::size_t end = 0;
    std::size_t count() const { return end - first; }
};

rows rows_in(const band_spectra& s, const frequency_band& band)
{
    rows r{s.inner_first, s.inner_first};
    while (r.first < s.inner_end && s.frequency[r.first] < band.low) ++r.first;
    r.end = r.first;
    while (r.end < s.inner_end && s.frequency[r.end] <= band.high) ++r.end;
    return r;
}

// The first bin frequency above 0: the bins' spacing.
double first_frequency(const band_spectra& s)
{
    if (s.frequency.empty()) return not_a_number;
    return s.frequency[0] > 0.0 || s.frequency.size() == 1 ? s.frequency[0] : s.frequency[1];
}

// The defaults: 2 f1 ... 10 f1, and 10 f1 ... fs/4 written as f1 N/4 so that
// a bin at fs/4 is in whatever the rounding of f1. The low band leaves out the
// first bin, which each section's detrending biases (5/6 of a flat density
// under Hann with the mean removed) and whose degrees of freedom are fewer.
frequency_band default_band(const band_spectra& s)
{
    const double f1 = first_frequency(s);
    return {2.0 * f1, 10.0 * f1};
}

frequency_band default_slope_band(const band_spectra& s)
{
    const double f1 = first_frequency(s);
    return {10.0 * f1, f1 * (static_cast<double>(s.window.size()) / 4.0)};
}

double mean_over(std::span<const double> x, rows r)
{
    double sum = 0.0;
    for (std::size_t k = r.first; k < r.end; ++k) sum += x[k];
    return sum / static_cast<double>(r.count());
}

struct fitted_slope {
    double slope = not_a_number;
    double standard_error = not_a_number;
};

// The farthest bins apart whose correlation the slopes' errors take.
constexpr std::size_t most_slope_distance = 256;

// 10 log10(psd) against log10(f) over the rows with a positive density: the
// least-squares slope (dB per decade) and its standard error with the known
// correlation rho(d) of the log-densities of bins d apart (the sandwich
// estimator): Var = sigma^2 sum_{k,k'} c_k c_k' rho(|k - k'|), c = (x - mean x) / Sxx,
// sigma^2 = sum e^2 / (m - tr(H R)), the residuals' expected sum of squares
// being sigma^2 tr((I - H) R) for the hat matrix H. With rho = 1, 0, 0, ...
// the ordinary error (tr(H R) = 2).
fitted_slope slope_of(std::span<const double> frequency, std::span<const double> psd, rows r,
                      std::span<const double> rho)
{
    std::vector<double> x;
    std::vector<double> y;
    std::vector<std::size_t> at;  // the rows used
    for (std::size_t k = r.first; k < r.end; ++k) {
        if (!(psd[k] > 0.0)) continue;
        // The same bits on every system: the C libraries' log10 differ in the last place.
        x.push_back(decimal_logarithm(frequency[k]));
        y.push_back(10.0 * decimal_logarithm(psd[k]));
        at.push_back(k);
    }
    const std::size_t m = x.size();
    if (m < 2) return {};
    double x_sum = 0.0;
    double y_sum = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        x_sum += x[k];
        y_sum += y[k];
    }
    const double x_mean = x_sum / static_cast<double>(m);
    const double y_mean = y_sum / static_cast<double>(m);
    double sxx = 0.0;
    double sxy = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        sxx += (x[k] - x_mean) * (x[k] - x_mean);
        sxy += (x[k] - x_mean) * (y[k] - y_mean);
    }
    fitted_slope fit;
    fit.slope = sxy / sxx;
    if (m < 3) return fit;
    double residuals = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        const double e = y[k] - y_mean - fit.slope * (x[k] - x_mean);
        residuals += e * e;
    }
    // sum c c' rho, and tr(H R) = sum rho / m + sum x~ x~' rho / Sxx.
    double spread = 0.0;
    double ones = 0.0;
    double ramps = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        for (std::size_t b = a; b < m && at[b] - at[a] < rho.size(); ++b) {
            const double weight = (a == b ? 1.0 : 2.0) * rho[at[b] - at[a]];
            ones += weight;
            ramps += weight * (x[a] - x_mean) * (x[b] - x_mean);
        }
    }
    spread = ramps / (sxx * sxx);
    const double hat_trace = ones / static_cast<double>(m) + ramps / sxx;
    const double residual_freedom = static_cast<double>(m) - hat_trace;
    fit.standard_error = std::sqrt(residuals / residual_freedom * spread);
    return fit;
}

}  // namespace

double band_degrees_of_freedom(const band_spectra& s, std::size_t first_row, std::size_t rows)
{
    const windowed_sections layout{s.window, s.step, s.sections, s.detrend};
    const std::size_t first = s.first_bin + first_row;
    // A channel without power in the band (or with a density that is not
    // finite) counts as flat there.
    const std::vector<std::vector<double>> sets = {
        std::vector<double>(s.psd_v.begin() + static_cast<std::ptrdiff_t>(first_row),
                            s.psd_v.begin() + static_cast<std::ptrdiff_t>(first_row + rows)),
        std::vector<double>(s.psd_i.begin() + static_cast<std::ptrdiff_t>(first_row),
                            s.psd_i.begin() + static_cast<std::ptrdiff_t>(first_row + rows)),
        std::vector<double>(rows, 1.0)};
    const std::vector<double> nu = exact_band_freedoms(layout, first, sets);
    const double nu_v = std::isnan(nu[0]) ? nu[2] : nu[0];
    const double nu_i = std::isnan(nu[1]) ? nu[2] : nu[1];
    return 2.0 / (1.0 / nu_v + 1.0 / nu_i);
}

std::optional<request_problem> check_bands(const analysis_request& request, const band_spectra& spectra)
{
    for (const auto& [setting, band] :
         {std::pair{setting_id::band, request.band}, std::pair{setting_id::slope_band, request.slope_band}}) {
        if (band && rows_in(spectra, *band).count() == 0) {
            request_problem problem{setting, request_rule::no_bin, band_text(*band)};
            problem.bin_spacing = first_frequency(spectra);
            return problem;
        }
    }
    return std::nullopt;
}

std::vector<std::string> band_keys(const analysis_request& request)
{
    std::vector<std::string> keys = {"band_low", "band_high", "band_bins", "psd_v_band", "psd_i_band", "zn_band"};
    if (request.confidence) keys.insert(keys.end(), {"nu_band", "zn_band_low", "zn_band_high"});
    keys.insert(keys.end(), {"slope_band_low", "slope_band_high", "slope_bins", "slope_v", "slope_i", "slope_v_stderr",
                             "slope_i_stderr"});
    if (request.stern_geary) keys.insert(keys.end(), {"q", "fn", "i_corr"});
    if (request.stern_geary && request.statistics) keys.emplace_back("i_corr_rn");
    return keys;
}

named_values band_quantities(const analysis_request& request, const band_spectra& s)
{
    named_values out;
    const frequency_band band = request.band.value_or(default_band(s));
    const rows in_band = rows_in(s, band);
    const double psd_v = mean_over(s.psd_v, in_band);
    const double psd_i = mean_over(s.psd_i, in_band);
    const double zn = std::sqrt(psd_v / psd_i);
    out.insert(out.end(), {{"band_low", band.low},
                           {"band_high", band.high},
                           {"band_bins", static_cast<std::int64_t>(in_band.count())},
                           {"psd_v_band", psd_v},
                           {"psd_i_band", psd_i},
                           {"zn_band", zn}});
    if (request.confidence) {
        const double p = *request.confidence;
        double r = not_a_number;
        double nu = not_a_number;
        if (in_band.count() > 0) {
            nu = band_degrees_of_freedom(s, in_band.first, in_band.count());
            if (request.zn_interval == zn_interval_mode::coherent) {
                double coherence = 0.0;
                for (std::size_t k = in_band.first; k < in_band.end; ++k)
                    coherence += corrected_coherence(s.coherence[k], s.nu, false);
                r = coherent_ratio_interval(p, nu, coherence / static_cast<double>(in_band.count()), false);
            } else {
                r = ratio_interval(p, nu);
            }
        }
        out.insert(out.end(), {{"nu_band", nu}, {"zn_band_low", zn / r}, {"zn_band_high", zn * r}});
    }

    const frequency_band slope_band = request.slope_band.value_or(default_slope_band(s));
    const rows in_slope_band = rows_in(s, slope_band);
    // The correlation of bins d apart; without the sections' layout, none.
    const std::vector<double> rho =
        s.sections == 0
            ? std::vector<double>{1.0}
            : bin_correlation({s.window, s.step, s.sections, s.detrend},
                              std::min(most_slope_distance, std::max<std::size_t>(in_slope_band.count(), 1) - 1));
    const fitted_slope v = slope_of(s.frequency, s.psd_v, in_slope_band, rho);
    const fitted_slope i = slope_of(s.frequency, s.psd_i, in_slope_band, rho);
    out.insert(out.end(), {{"slope_band_low", slope_band.low},
                           {"slope_band_high", slope_band.high},
                           {"slope_bins", static_cast<std::int64_t>(in_slope_band.count())},
                           {"slope_v", v.slope},
                           {"slope_i", i.slope},
                           {"slope_v_stderr", v.standard_error},
                           {"slope_i_stderr", i.standard_error}});

    if (request.stern_geary) {
        // psi_E and psi_I are the band means: the low-frequency plateau of the shot-noise model.
        // Two identical electrodes each give half of v's and i's noise: for one
        // noisy electrode against a quiet counter electrode q is half, fn twice.
        const double b = *request.stern_geary;
        const double area = request.area.value_or(1.0);
        const bool one = request.electrodes == 1;
        const double q = std::sqrt(psd_v * psd_i) / b;
        const double fn = b * b / (psd_v * area);
        out.insert(out.end(), {{"q", one ? q / 2.0 : q}, {"fn", one ? 2.0 * fn : fn}, {"i_corr", b / zn}});
        if (s.rn) out.emplace_back("i_corr_rn", b / *s.rn);
    }
    return out;
}

}  // namespace veltrin
