// Band quantities on power-law spectra, whose slopes and band means have
// closed forms.
// (tests/end_to_end/scipy_agreement.py checks every key of whole runs against numpy.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "estimates/band_quantities.hpp"
#include "model/error.hpp"
#include "output/result_formats.hpp"

using namespace veltrin;

namespace {

// 64 points at 32 Hz: bins 0 ... 32 every 0.5 Hz; psd_v = 4 / f^2, psd_i = 1 / f
// (-20 and -10 dB per decade), the boxcar window, 8 degrees of freedom.
struct power_law {
    std::vector<double> f, v, i, window = std::vector<double>(64, 1.0);
    power_law()
    {
        for (int k = 0; k <= 32; ++k) {
            f.push_back(0.5 * k);
            v.push_back(k == 0 ? 0.0 : 4.0 / (f.back() * f.back()));
            i.push_back(k == 0 ? 0.0 : 1.0 / f.back());
        }
    }
    // Four sections without overlap, their means removed.
    band_spectra spectra() const
    {
        return {f, v, i, 1, 32, window, 8.0, {}, std::nullopt, 0, 64, 4, detrend_mode::constant};
    }
};

std::map<std::string, double> by_key(const named_values& values)
{
    std::map<std::string, double> keys;
    for (const auto& [key, value] : values)
        keys[key] = std::holds_alternative<double>(value) ? std::get<double>(value)
                                                          : static_cast<double>(std::get<std::int64_t>(value));
    return keys;
}

TEST(band_quantities, power_laws_by_default_bands)
{
    power_law law;
    law.v[12] = 0.0;  // a bin without power in the slope band: left out of the fit, not -inf
    analysis_request request;
    request.confidence = 0.9;
    std::map<std::string, double> got = by_key(band_quantities(request, law.spectra()));
    // 2 f1 ... 10 f1: bins 2 ... 10; mean of 4 / (k/2)^2 and of 1 / (k/2).
    double v_mean = 0.0;
    double i_mean = 0.0;
    double v_squares = 0.0;
    double i_squares = 0.0;
    for (int k = 2; k <= 10; ++k) {
        v_mean += 16.0 / (k * k) / 9.0;
        i_mean += 2.0 / k / 9.0;
        v_squares += 256.0 / (k * k * k * k);
        i_squares += 4.0 / (k * k);
    }
    EXPECT_EQ(got["band_low"], 1.0);
    EXPECT_EQ(got["band_high"], 5.0);
    EXPECT_EQ(got["band_bins"], 9.0);
    EXPECT_NEAR(got["psd_v_band"], v_mean, 1e-14 * v_mean);
    EXPECT_NEAR(got["zn_band"], std::sqrt(v_mean / i_mean), 1e-14);
    // The boxcar's bins are uncorrelated, 8 degrees of freedom each: a mean
    // weighted by the densities has 8 (sum D)^2 / sum D^2, and the band the
    // harmonic mean of v's and i's.
    const double nu_v = 8.0 * (9.0 * v_mean) * (9.0 * v_mean) / v_squares;
    const double nu_i = 8.0 * (9.0 * i_mean) * (9.0 * i_mean) / i_squares;
    EXPECT_NEAR(got["nu_band"], 2.0 / (1.0 / nu_v + 1.0 / nu_i), 1e-9);
    // 10 f1 ... fs/4: bins 10 ... 16, the one at 8 Hz included.
    EXPECT_EQ(got["slope_band_low"], 5.0);
    EXPECT_EQ(got["slope_band_high"], 8.0);
    EXPECT_EQ(got["slope_bins"], 7.0);
    EXPECT_NEAR(got["slope_v"], -20.0, 1e-12);
    EXPECT_NEAR(got["slope_i"], -10.0, 1e-12);
    EXPECT_LT(got["slope_v_stderr"], 1e-12);
    EXPECT_EQ(got.count("q"), 0u);

    // Two bins: a slope without a standard error; one bin: neither.
    for (const auto& [high, slope] : {std::pair{5.5, -20.0}, std::pair{5.0, std::nan("")}}) {
        request.slope_band = frequency_band{5.0, high};
        got = by_key(band_quantities(request, law.spectra()));
        if (std::isnan(slope))
            EXPECT_TRUE(std::isnan(got["slope_v"])) << high;
        else
            EXPECT_NEAR(got["slope_v"], slope, 1e-12) << high;
        EXPECT_TRUE(std::isnan(got["slope_v_stderr"])) << high;
    }
}

// B and A anywhere in their range keep q, fn and i_corr finite for every
// band density from the largest a recording gives (float32 samples at
// 1e-37 Hz: about 1e125) down to 6e-198.
TEST(band_quantities, shot_noise_parameters_stay_finite_over_the_range_of_b_and_a)
{
    const double least = least_shot_noise_setting;
    const double most = most_shot_noise_setting;
    for (const auto& [v, i] :
         {std::pair{1e125, 1e125}, std::pair{1e125, 6e-198}, std::pair{6e-198, 1e125}, std::pair{6e-198, 6e-198}}) {
        power_law flat;
        std::fill(flat.v.begin(), flat.v.end(), v);
        std::fill(flat.i.begin(), flat.i.end(), i);
        for (const auto& [b, a] :
             {std::pair{least, least}, std::pair{least, most}, std::pair{most, least}, std::pair{most, most}}) {
            analysis_request request;
            request.stern_geary = b;
            request.area = a;
            std::map<std::string, double> got = by_key(band_quantities(request, flat.spectra()));
            for (const char* key : {"q", "fn", "i_corr"})
                EXPECT_TRUE(std::isfinite(got[key])) << key << ": " << v << ", " << i << ", B " << b << ", A " << a;
        }
    }
}

// One noisy electrode against a quiet counter electrode: q is half and fn
// twice the two-electrode values; the rule takes 1 or 2 only, and the
// settings say which cell the values are for.
TEST(band_quantities, one_electrode_halves_q_and_doubles_fn)
{
    const power_law law;
    analysis_request request;
    request.stern_geary = 0.026;
    request.area = 2.0;
    std::map<std::string, double> two = by_key(band_quantities(request, law.spectra()));
    request.electrodes = 1;
    std::map<std::string, double> one = by_key(band_quantities(request, law.spectra()));
    EXPECT_EQ(one["q"], two["q"] / 2.0);
    EXPECT_EQ(one["fn"], 2.0 * two["fn"]);
    EXPECT_EQ(one["i_corr"], two["i_corr"]);
    request.nbpoint_section = 8;
    request.nb_section = 1;
    EXPECT_FALSE(check_request(request).has_value());
    for (const int electrodes : {0, 3, -1}) {
        request.electrodes = electrodes;
        EXPECT_TRUE(check_setting(request, setting_id::electrodes).has_value()) << electrodes;
        const std::optional<request_problem> problem = check_request(request);
        ASSERT_TRUE(problem.has_value()) << electrodes;
        EXPECT_EQ(problem->setting, setting_id::electrodes);
        EXPECT_EQ(problem->rule, request_rule::outside_range);
        EXPECT_EQ(std::get<std::int64_t>(problem->value), electrodes);
    }
}

// In process, a whole analysis: the result's settings carry the cell.
TEST(band_quantities, the_settings_name_the_shot_noise_cell)
{
    std::vector<float> v(4096);
    std::vector<float> i(4096);
    for (std::size_t t = 0; t < v.size(); ++t) {
        v[t] = static_cast<float>(std::sin(0.37 * static_cast<double>(t * t % 1013)));
        i[t] = static_cast<float>(std::cos(0.91 * static_cast<double>(t * t % 997)));
    }
    analysis_request request;
    request.nbpoint_section = 256;
    request.nb_section = 16;
    request.stern_geary = 0.026;
    const auto cell = [&](int electrodes) {
        request.electrodes = electrodes;
        const spectrum_result result = analyse({1.0, 1.0f, v, i}, "", request, "cell");
        std::string named;
        for (const auto& [key, value] : settings_of(result))
            if (key == "shot_noise_cell") named = std::get<std::string>(value);
        return std::pair{named, by_key(result.band)};
    };
    const auto [two_name, two] = cell(2);
    const auto [one_name, one] = cell(1);
    EXPECT_EQ(two_name, "two identical electrodes");
    EXPECT_EQ(one_name, "one electrode");
    EXPECT_EQ(one.at("q"), two.at("q") / 2.0);
    EXPECT_EQ(one.at("fn"), 2.0 * two.at("fn"));
    request.electrodes = 3;
    EXPECT_THROW(analyse({1.0, 1.0f, v, i}, "", request, "cell"), analysis_error);
}

// Hann without overlap correlates the densities of neighbouring bins by
// (2/3)^2 and of bins two apart by (1/6)^2: the slope's error is the
// sandwich sigma^2 c' R c with sigma^2 = e'e / tr((I - H) R), here written
// with whole matrices, on densities with residuals about the power law.
TEST(band_quantities, slope_errors_take_the_correlation_of_neighbouring_bins)
{
    power_law law;
    const std::vector<double> hann = [] {
        std::vector<double> w(64);
        for (std::size_t j = 0; j < 64; ++j)
            w[j] = 0.5 - 0.5 * std::cos(2.0 * 3.14159265358979323846 * static_cast<double>(j) / 64.0);
        return w;
    }();
    for (std::size_t k = 1; k <= 32; ++k) law.v[k] *= 1.0 + 0.3 * std::sin(static_cast<double>(k * k));
    band_spectra spectra = law.spectra();
    spectra.window = hann;
    analysis_request request;
    request.slope_band = frequency_band{1.0, 15.5};  // bins 2 ... 31
    std::map<std::string, double> got = by_key(band_quantities(request, spectra));
    const std::size_t m = 30;
    std::vector<double> x(m), y(m);
    for (std::size_t a = 0; a < m; ++a) {
        x[a] = std::log10(law.f[a + 2]);
        y[a] = 10.0 * std::log10(law.v[a + 2]);
    }
    const auto rho = [](std::size_t a, std::size_t b) {
        const std::size_t d = a > b ? a - b : b - a;
        return d == 0 ? 1.0 : d == 1 ? 4.0 / 9.0 : d == 2 ? 1.0 / 36.0 : 0.0;
    };
    double x_mean = 0.0, y_mean = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        x_mean += x[a] / m;
        y_mean += y[a] / m;
    }
    double sxx = 0.0, sxy = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        sxx += (x[a] - x_mean) * (x[a] - x_mean);
        sxy += (x[a] - x_mean) * (y[a] - y_mean);
    }
    const double slope = sxy / sxx;
    double ee = 0.0, crc = 0.0, trace = 0.0;
    for (std::size_t a = 0; a < m; ++a) {
        const double e = y[a] - y_mean - slope * (x[a] - x_mean);
        ee += e * e;
        for (std::size_t b = 0; b < m; ++b) {
            crc += (x[a] - x_mean) * (x[b] - x_mean) / (sxx * sxx) * rho(a, b);
            // (I - H)_ab with H_ab = 1/m + x~_a x~_b / Sxx; tr((I - H) R) = sum_ab (I - H)_ab R_ba.
            const double h = 1.0 / m + (x[a] - x_mean) * (x[b] - x_mean) / sxx;
            trace += ((a == b ? 1.0 : 0.0) - h) * rho(b, a);
        }
    }
    EXPECT_NEAR(got["slope_v"], slope, 1e-9);
    const double expected = std::sqrt(ee / trace * crc);
    EXPECT_NEAR(got["slope_v_stderr"], expected, 1e-9 * expected);
    // The ordinary error would be about 1.3 times smaller.
    EXPECT_GT(got["slope_v_stderr"], 1.2 * std::sqrt(ee / (m - 2) / sxx));
}

}  // namespace
