// The standard estimate's pieces against closed forms: transforms of any
// length, windows, detrending, densities, median bias, degrees of freedom,
// quantiles and statistics; and both estimates whole, over every window: a
// silent channel, channels that must not reach each other.
// (tests/end_to_end/scipy_agreement.py checks whole runs against scipy.)
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <map>
#include <random>
#include <string_view>
#include <vector>

#include "analysis/analysis.hpp"
#include "estimates/confidence_intervals.hpp"
#include "estimates/general_fft.hpp"
#include "estimates/welch_estimate.hpp"
#include "test_files.hpp"
#include "estimates/noise_statistics.hpp"
#include "estimates/window_functions.hpp"
#include "model/request.hpp"

using namespace veltrin;

namespace {

TEST(general_fft, matches_a_direct_dft_for_any_length)
{
    // 97 and 4099 have a large prime factor: they go through Bluestein's algorithm.
    for (const std::size_t n : {1, 2, 3, 5, 7, 12, 97, 1000, 4099}) {
        std::mt19937 generator(static_cast<unsigned>(n));
        std::normal_distribution<double> gauss;
        std::vector<double> x(n);
        for (double& value : x) value = gauss(generator);
        std::vector<std::complex<double>> X(n / 2 + 1);
        real_transform(n).forward(x.data(), X.data());
        double worst = 0.0;
        for (std::size_t k = 0; k <= n / 2; ++k) {
            std::complex<long double> sum = 0.0L;
            for (std::size_t j = 0; j < n; ++j) {
                const long double angle = -2.0L * std::numbers::pi_v<long double> *
                                          static_cast<long double>((j * k) % n) / static_cast<long double>(n);
                sum += static_cast<long double>(x[j]) * std::complex<long double>(std::cos(angle), std::sin(angle));
            }
            worst = std::max(worst, std::abs(X[k] - std::complex<double>(sum)));
        }
        EXPECT_LT(worst, 1e-12 * std::sqrt(static_cast<double>(n)) * 10) << n;
    }
    EXPECT_EQ(largest_prime_factor(4099), 4099u);
    EXPECT_EQ(largest_prime_factor(1000), 5u);
}

// The weights of a window as the options write it.
std::optional<std::vector<double>> named_window(const char* text, std::size_t n)
{
    const std::optional<window_choice> window = window_named(text);
    if (!window) return std::nullopt;
    return veltrin::named_window(*window, n);
}

TEST(windows, closed_forms_and_names)
{
    const std::vector<double> hann = *named_window("hann", 4);
    const std::vector<double> bartlett = *named_window("bartlett", 4);
    const std::vector<double> expected = {0.0, 0.5, 1.0, 0.5};
    for (std::size_t j = 0; j < 4; ++j) {
        EXPECT_NEAR(hann[j], expected[j], 1e-16);
        EXPECT_DOUBLE_EQ(bartlett[j], expected[j]);
    }
    EXPECT_NEAR((*named_window("hamming", 2))[0], 0.08, 1e-16);
    EXPECT_NEAR((*named_window("blackman", 2))[0], 0.0, 1e-16);
    EXPECT_NEAR((*named_window("flattop", 4))[2], 1.000000003, 1e-12);  // its peak at the centre
    EXPECT_NEAR((*named_window("blackmanharris", 2))[1], 1.0, 1e-12);
    EXPECT_EQ((*named_window("boxcar", 3)), std::vector<double>(3, 1.0));
    EXPECT_FALSE(named_window("Hann", 4));
    EXPECT_FALSE(named_window("hann:1", 4));  // no parameter to a window without one
    EXPECT_FALSE(named_window("kaiser", 4));  // nor none to one with one
    EXPECT_FALSE(named_window("kaiser:8x", 4));
    EXPECT_FALSE(named_window("kaiser:400.5", 4));
    EXPECT_TRUE(named_window("kaiser:400", 4));
    EXPECT_FALSE(named_window("gaussian:0.09", 4));
    EXPECT_FALSE(named_window("tukey:-0.1", 4));
    EXPECT_FALSE(named_window("general_hamming:1.5", 4));
    // Every row has its weights, as written and read back.
    for (const window_row& row : window_rows) {
        const window_choice window{row.kind, row.least};
        EXPECT_EQ(window_named(window_text(window)), window) << row.name;
        EXPECT_TRUE(veltrin::named_window(window, 4)) << row.name;
    }
    EXPECT_EQ(window_text({window_kind::kaiser, 8.0}), "kaiser:8");
    EXPECT_EQ(window_text({window_kind::tukey, 0.25}), "tukey:0.25");
    // The configuration mode's Hann: zero at both ends.
    const std::vector<double> historical = configuration_window(1, 8);
    EXPECT_EQ(historical.front(), 0.0);
    EXPECT_NEAR(historical.back(), 0.0, 1e-19);
}

// The windows with a parameter against scipy.signal.get_window((NAME, P), n)
// (fftbins=True), computed once by scipy 1.10 and written exactly.
const struct {
    const char* window;
    std::vector<double> weights;
} scipy_windows[] = {
    {"kaiser:8",
     {0x1.328e21204b91dp-9, 0x1.52e6fbfb895e3p-4, 0x1.79d3fc43011bep-2, 0x1.93d75c559eb32p-1, 0x1.0000000000000p+0,
      0x1.93d75c559eb32p-1, 0x1.79d3fc43011bep-2, 0x1.52e6fbfb895e3p-4}},
    {"kaiser:14",
     {0x1.034547dd02151p-17, 0x1.2652c90b42cb2p-6, 0x1.17518fa07d910p-2, 0x1.bdd9fc98ae664p-1, 0x1.bdd9fc98ae664p-1,
      0x1.17518fa07d910p-2, 0x1.2652c90b42cb2p-6}},
    {"kaiser:0.5",
     {0x1.e16fd0391066ep-1, 0x1.f4e33ea3cae1bp-1, 0x1.fec258f3e690cp-1, 0x1.fec258f3e690cp-1, 0x1.f4e33ea3cae1bp-1}},
    {"kaiser:400",
     {0x1.7bd45e651e850p-572, 0x1.f6aaed649acadp-215, 0x1.d857f780200cap-98, 0x1.06fd6d0b61f8ap-33,
      0x1.592e68d37ced4p-4, 0x1.592e68d37ced4p-4, 0x1.06fd6d0b61f8ap-33, 0x1.d857f780200cap-98,
      0x1.f6aaed649acadp-215}},
    {"tukey:0.5",
     {0x0.0p+0, 0x1.0000000000000p-1, 0x1.0000000000000p+0, 0x1.0000000000000p+0, 0x1.0000000000000p+0,
      0x1.0000000000000p+0, 0x1.0000000000000p+0, 0x1.0000000000000p-1}},
    {"tukey:0.25",
     {0x0.0p+0, 0x1.a7a4f3fbbac44p-1, 0x1.0000000000000p+0, 0x1.0000000000000p+0, 0x1.0000000000000p+0,
      0x1.0000000000000p+0, 0x1.0000000000000p+0, 0x1.0000000000000p+0, 0x1.0000000000000p+0, 0x1.0000000000000p+0,
      0x1.a7a4f3fbbac46p-1}},
    {"tukey:0.9",
     {0x0.0p+0, 0x1.d46ec09084b00p-3, 0x1.694a1c91366a2p-1, 0x1.fd24045be9e0cp-1, 0x1.fd24045be9e0cp-1,
      0x1.694a1c91366a4p-1, 0x1.d46ec09084b0cp-3}},
    {"gaussian:2.5",
     {0x1.1cb5cf620ef1fp-2, 0x1.f26f2ef268c13p-2, 0x1.73c9ce7c81bcep-1, 0x1.d8a2b4ac44685p-1, 0x1.0000000000000p+0,
      0x1.d8a2b4ac44685p-1, 0x1.73c9ce7c81bcep-1, 0x1.f26f2ef268c13p-2}},
    {"gaussian:0.1",
     {0x1.46205c3efe1bap-884, 0x1.1d96f12e8ef52p-451, 0x1.9ef43eeb7c4c7p-163, 0x1.f42ed3f68e6a0p-19,
      0x1.f42ed3f68e6a0p-19, 0x1.9ef43eeb7c4c7p-163, 0x1.1d96f12e8ef52p-451}},
    {"gaussian:40",
     {0x1.fcc52dca9d54dp-1, 0x1.fe0b32fd2d188p-1, 0x1.ff003ff556aa9p-1, 0x1.ffa3df551bdbep-1, 0x1.fff5c2a992df3p-1,
      0x1.fff5c2a992df3p-1, 0x1.ffa3df551bdbep-1, 0x1.ff003ff556aa9p-1, 0x1.fe0b32fd2d188p-1}},
    {"general_hamming:0.6",
     {0x1.9999999999998p-3, 0x1.44c4e1467035cp-2, 0x1.3333333333333p-1, 0x1.c403f5c32e4b8p-1, 0x1.0000000000000p+0,
      0x1.c403f5c32e4b8p-1, 0x1.3333333333333p-1, 0x1.44c4e1467035cp-2}},
    {"general_hamming:0",
     {-0x1.0000000000000p+0, -0x1.3c6ef372fe94fp-2, 0x1.9e3779b97f4a9p-1, 0x1.9e3779b97f4a9p-1, -0x1.3c6ef372fe94fp-2}},
};

TEST(windows, with_a_parameter_are_scipys_to_1e_15)
{
    for (const auto& c : scipy_windows) {
        const std::vector<double> w = *named_window(c.window, c.weights.size());
        for (std::size_t j = 0; j < w.size(); ++j) {
            // Relative, and absolute for the weights of the tapers' feet.
            EXPECT_LE(std::fabs(w[j] - c.weights[j]), 1e-15 * std::max(std::fabs(c.weights[j]), 1e-3))
                << c.window << " n=" << w.size() << " j=" << j << ": " << w[j] << " against " << c.weights[j];
        }
    }
}

TEST(windows, kaisers_bessel_i0_is_scipys_to_1e_15)
{
    // scipy.special.i0(x), written exactly.
    const std::pair<double, double> cases[] = {
        {0.5, 0x1.104072392c7ffp+0},       {3.2, 0x1.6fd23e1811b41p+2},
        {8.0, 0x1.ab9069e3504f9p+8},       {20.0, 0x1.4c52c5479f734p+25},
        {50.0, 0x1.fcb78c9d0a576p+67},     {100.0, 0x1.8a6f2011ec0d2p+139},
        {23.991, 0x1.00407b18fba4fp+31},   {34.616, 0x1.0b7621c62aaa7p+46},
        {150.043, 0x1.70e9879600d80p+211}, {276.445, 0x1.5c925c1697b92p+393},
        {312.383, 0x1.270413fda9d62p+445}, {397.5231959999626, 0x1.d14b88cd72f8cp+567},
        {400.0, 0x1.5914c23d9ced2p+571},
    };
    for (const auto& [x, i0] : cases) EXPECT_LE(std::fabs(bessel_i0(x) - i0), 1e-15 * i0) << x;
    EXPECT_EQ(bessel_i0(0.0), 1.0);
}

TEST(detrending, removes_a_line_exactly_and_a_mean_only)
{
    std::vector<double> ramp(1000);
    for (std::size_t j = 0; j < ramp.size(); ++j) ramp[j] = 3.0 + 0.25 * static_cast<double>(j);
    std::vector<double> linear = ramp;
    detrend(linear, detrend_mode::linear);
    for (const double value : linear) EXPECT_NEAR(value, 0.0, 1e-12);
    std::vector<double> constant = ramp;
    detrend(constant, detrend_mode::constant);
    EXPECT_NEAR(constant.front(), -0.25 * 999 / 2, 1e-12);
    std::vector<double> none = ramp;
    detrend(none, detrend_mode::none);
    EXPECT_EQ(none, ramp);
}

segment_plan plan_of(std::vector<double> window, std::size_t step, std::size_t sections, detrend_mode detrend)
{
    return segment_plan{std::move(window), step, sections, detrend};
}

TEST(welch, sinusoid_at_a_bin_and_parseval)
{
    // A cosine of amplitude A exactly at bin 5 of 64, boxcar: A^2 n / (2 fs) at bin 5, 0 elsewhere.
    const std::size_t n = 64;
    const double fs = 8.0;
    std::vector<float> v(n * 3);
    std::vector<float> i(n * 3);
    for (std::size_t j = 0; j < v.size(); ++j) {
        v[j] = static_cast<float>(2.0 * std::cos(2.0 * std::numbers::pi * 5.0 * static_cast<double>(j) / n));
        i[j] = static_cast<float>(std::sin(0.37 * static_cast<double>(j)) + 1.5);
    }
    const welch_spectra s = welch(v, i, fs, plan_of(std::vector<double>(n, 1.0), n, 3, detrend_mode::constant),
                                  average_mode::mean, false, team_of(1));
    for (std::size_t k = 0; k <= n / 2; ++k) EXPECT_NEAR(s.psd_v[k], k == 5 ? 4.0 * n / (2.0 * fs) : 0.0, 1e-5) << k;
    // One section, boxcar, mean removed: the density integrates to the variance.
    const welch_spectra one = welch(i, i, fs, plan_of(std::vector<double>(n, 1.0), n, 1, detrend_mode::constant),
                                    average_mode::mean, false, team_of(1));
    double mean = 0.0;
    for (std::size_t j = 0; j < n; ++j) mean += i[j];
    mean /= n;
    double variance = 0.0;
    for (std::size_t j = 0; j < n; ++j) variance += (i[j] - mean) * (i[j] - mean);
    variance /= n;
    double integral = 0.0;
    for (const double p : one.psd_v) integral += p * fs / n;
    EXPECT_NEAR(integral, variance, 1e-14);
    EXPECT_EQ(bin_frequencies(n, fs)[5], 5.0 * fs / n);
}

TEST(welch, median_of_identical_sections_is_their_value_over_the_bias)
{
    std::vector<float> v(30);
    for (std::size_t j = 0; j < v.size(); ++j) v[j] = static_cast<float>(j % 10) * 0.5f;
    const auto plan = plan_of(std::vector<double>(10, 1.0), 10, 3, detrend_mode::constant);
    const welch_spectra mean = welch(v, v, 1.0, plan, average_mode::mean, false, team_of(1));
    const welch_spectra median = welch(v, v, 1.0, plan, average_mode::median, false, team_of(1));
    for (std::size_t k = 0; k < mean.psd_v.size(); ++k)
        EXPECT_NEAR(median.psd_v[k], mean.psd_v[k] / (1.0 + 1.0 / 3.0 - 0.5), 1e-15 * (1 + mean.psd_v[k]));
    EXPECT_EQ(median_bias(1), 1.0);
    EXPECT_EQ(median_bias(2), 1.0);
    EXPECT_DOUBLE_EQ(median_bias(5), 1.0 + 1.0 / 3 - 0.5 + 0.2 - 0.25);
}

TEST(confidence, degrees_of_freedom_and_quantiles)
{
    const std::vector<double> boxcar(100, 1.0);
    EXPECT_EQ(equivalent_degrees_of_freedom(boxcar, 100, 7), 14.0);  // no overlap: exactly 2K
    // Half-overlapped boxcar: rho = 1/2, so 2K / (1 + 2 (1 - 1/K) / 4) with K = 2.
    EXPECT_DOUBLE_EQ(equivalent_degrees_of_freedom(boxcar, 50, 2), 4.0 / 1.25);
    // Periodic Hann at half overlap: rho = 1/6.
    EXPECT_NEAR(equivalent_degrees_of_freedom(*named_window("hann", 1000), 500, 2), 4.0 / (1.0 + 1.0 / 36.0), 1e-12);
    // Quantiles as scipy.stats gives them (chi2.ppf, f.ppf), integer and not.
    const struct {
        double nu, chi_high, chi_low, f_high;
    } cases[] = {{10, 20.483177350807388, 3.2469727802368413, 3.7167918645973654},
                 {13.363636363636365, 25.24034700356309, 5.23254828498219, 3.06278455446441},
                 {1e6, 1002773.701467926, 997230.0871432901, 1.0039276231783103}};
    for (const auto& c : cases) {
        const interval_factors f = density_interval(0.95, c.nu);
        EXPECT_NEAR(f.low, c.nu / c.chi_high, 1e-9 * f.low) << c.nu;
        EXPECT_NEAR(f.high, c.nu / c.chi_low, 1e-9 * f.high) << c.nu;
        EXPECT_NEAR(ratio_interval(0.95, c.nu), std::sqrt(c.f_high), 1e-9) << c.nu;
    }
}

TEST(statistics, small_noise_on_a_large_offset_loses_nothing)
{
    // 1 + 1e-6 (+1, -1, ...): std 1e-6 (to float rounding), skewness 0, kurtosis -2.
    std::vector<float> v(1000);
    std::vector<float> i(1000);
    for (std::size_t j = 0; j < v.size(); ++j) {
        v[j] = j % 2 == 0 ? 1.0f + 1e-6f : 1.0f - 1e-6f;
        i[j] = j % 2 == 0 ? 2e-3f : -2e-3f;
    }
    const auto stats = noise_statistics(v, i, plan_of(std::vector<double>(100, 1.0), 100, 10, detrend_mode::constant));
    std::map<std::string, double> s(stats.begin(), stats.end());
    const double spread = (static_cast<double>(1.0f + 1e-6f) - static_cast<double>(1.0f - 1e-6f)) / 2.0;
    EXPECT_NEAR(s["v_std"], spread, 1e-18);
    EXPECT_NEAR(s["v_skewness"], 0.0, 1e-9);
    EXPECT_NEAR(s["v_kurtosis"], -2.0, 1e-9);
    EXPECT_NEAR(s["i_mean"], 0.0, 1e-18);
    EXPECT_NEAR(s["localization_index"], 1.0, 1e-15);
    EXPECT_NEAR(s["rn"], spread / static_cast<double>(2e-3f), 1e-12);
    EXPECT_NEAR(s["rn_sections"], s["rn"], 1e-12);
    EXPECT_EQ(s["v_max"], static_cast<double>(1.0f + 1e-6f));
    EXPECT_EQ(stats.size(), 17u);
}

// Many blocks of a skewed noise on an offset with a drift: the one pass
// against a two-pass reference in long double, and alike however the
// samples arrive.
TEST(noise_statistics, one_pass_over_many_blocks_agrees_with_two_passes_whatever_the_runs)
{
    std::mt19937 generator(11);
    std::exponential_distribution<double> skewed;
    const std::size_t count = 100003;
    std::vector<float> v(count);
    std::vector<float> i(count);
    for (std::size_t j = 0; j < count; ++j) {
        v[j] = static_cast<float>(1.0 + 1e-6 * skewed(generator) + 1e-12 * static_cast<double>(j));
        i[j] = static_cast<float>(2e-3 * (skewed(generator) - 1.0));
    }
    const auto reference = [](const std::vector<float>& x) {
        // The mean summed about the first value (exact in long double) and
        // rounded to the double reported; the second pass about it.
        const long double shift = x[0];
        long double sum = 0.0L;
        for (const float value : x) sum += value - shift;
        const long double mean = static_cast<double>(shift + sum / x.size());
        long double m2 = 0.0L, m3 = 0.0L, m4 = 0.0L, squares = 0.0L;
        for (const float value : x) {
            const long double d = value - mean;
            m2 += d * d;
            m3 += d * d * d;
            m4 += d * d * d * d;
            squares += static_cast<long double>(value) * value;
        }
        const long double n = x.size();
        return std::vector<double>{static_cast<double>(mean), static_cast<double>(std::sqrt(m2 / n)),
                                   static_cast<double>(std::sqrt(squares / n)),
                                   static_cast<double>((m3 / n) / std::pow(m2 / n, 1.5L)),
                                   static_cast<double>((m4 / n) / (m2 / n * (m2 / n)) - 3.0L)};
    };
    std::vector<std::vector<double>> results;
    for (const std::size_t run : {count, std::size_t{4096}, std::size_t{7}, std::size_t{1}}) {
        statistics_sums sums;
        for (std::size_t at = 0; at < count; at += run) {
            const std::size_t n = std::min(run, count - at);
            sums.add_samples(std::span<const float>(v).subspan(at, n), std::span<const float>(i).subspan(at, n));
        }
        sums.add_section_ratio(1.0);
        std::vector<double> values;
        for (const auto& [key, value] : sums.result()) values.push_back(value);
        results.push_back(values);
    }
    for (std::size_t k = 1; k < results.size(); ++k) EXPECT_EQ(results[k], results[0]) << "run " << k;
    const std::vector<double> expected_v = reference(v);
    const std::vector<double> expected_i = reference(i);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_NEAR(results[0][k], expected_v[k], 1e-12 * std::abs(expected_v[k])) << "v " << k;
        EXPECT_NEAR(results[0][7 + k], expected_i[k], 1e-12 * std::abs(expected_i[k])) << "i " << k;
    }
    EXPECT_GT(results[0][3], 1.5);  // the exponential's skewness, 2: the digits of the noise were kept
}

}  // namespace

namespace {

TEST(threads, give_the_same_bits_for_every_count)
{
    std::mt19937 generator(3);
    std::normal_distribution<float> gauss;
    std::vector<float> v(50000);
    std::vector<float> i(50000);
    for (std::size_t j = 0; j < v.size(); ++j) {
        v[j] = gauss(generator);
        i[j] = gauss(generator) + 0.5f * v[j];
    }
    const segment_plan plan{*named_window("hann", 1000), 500, 99, detrend_mode::linear};
    const welch_spectra one = welch(v, i, 10.0, plan, average_mode::mean, true, team_of(1));
    for (const unsigned threads : {2u, 3u, 7u}) {
        const welch_spectra many = welch(v, i, 10.0, plan, average_mode::mean, true, team_of(threads));
        EXPECT_EQ(many.psd_v, one.psd_v) << threads;
        EXPECT_EQ(many.psd_i, one.psd_i) << threads;
        EXPECT_EQ(many.cross, one.cross) << threads;
        EXPECT_EQ(welch(v, i, 10.0, plan, average_mode::median, false, team_of(threads)).psd_v,
                  welch(v, i, 10.0, plan, average_mode::median, false, team_of(1)).psd_v);
    }
}

}  // namespace

namespace {

// Both estimates as a run computes them, over the windows and the modes.
struct estimate_case {
    std::string_view name;
    bool standard;
    std::int32_t hanning;     // the configuration estimate's
    std::string_view window;  // the standard estimate's
    detrend_mode detrend;
    average_mode average;
    std::int32_t n;
};

// The configuration estimate; the standard one with each window of the table
// that takes no parameter; other lengths, detrendings and the median.
std::vector<estimate_case> all_estimate_cases()
{
    std::vector<estimate_case> cases = {
        {"configuration", false, 0, "hann", detrend_mode::constant, average_mode::mean, 256},
        {"configuration Hann", false, 1, "hann", detrend_mode::constant, average_mode::mean, 256},
    };
    for (const window_row& row : window_rows)
        if (row.parameter.empty())
            cases.push_back({row.name, true, 0, row.name, detrend_mode::constant, average_mode::mean, 256});
    cases.push_back({"odd length, linear", true, 0, "hann", detrend_mode::linear, average_mode::mean, 255});
    cases.push_back({"Bluestein length, no detrend", true, 0, "hann", detrend_mode::none, average_mode::mean, 202});
    cases.push_back({"median, linear", true, 0, "flattop", detrend_mode::linear, average_mode::median, 256});
    return cases;
}

const std::vector<estimate_case> estimate_cases = all_estimate_cases();

spectrum_result run_case(const estimate_case& c, const std::vector<float>& v, const std::vector<float>& i)
{
    analysis_request s;
    s.standard = c.standard;
    s.hanning = c.hanning;
    s.all_sections = true;
    s.nbpoint_section = c.n;
    s.window = *window_named(c.window);
    s.overlap = c.standard ? 0.5 : 0.0;
    s.detrend = c.detrend;
    s.average = c.average;
    s.coherence = c.average == average_mode::mean;  // the cross spectrum is computed too
    return analyse({250.0, 0.004f, v, i}, "r.xml", s, "r.xml", 2);
}

const std::vector<double>& column(const spectrum_result& result, const std::string& name)
{
    for (const result_column& c : result.columns)
        if (c.name == name) return c.values;
    static const std::vector<double> none;
    ADD_FAILURE() << "no column " << name;
    return none;
}

std::vector<float> gaussian_noise(std::size_t count, unsigned seed, float scale)
{
    std::mt19937 generator(seed);
    std::normal_distribution<float> gauss(0.0f, scale);
    std::vector<float> x(count);
    for (float& value : x) value = gauss(generator);
    return x;
}

constexpr std::size_t case_samples = 4096;

TEST(silent_channel, has_a_density_of_exactly_zero_and_no_coherence_or_phase)
{
    const std::vector<float> v = gaussian_noise(case_samples, 1, 1.0f);
    std::vector<float> line(case_samples);
    for (std::size_t j = 0; j < line.size(); ++j) line[j] = 0.25f * static_cast<float>(j) - 3.0f;
    for (const estimate_case& c : estimate_cases) {
        // What each detrending removes exactly: zeros always, a constant, a line.
        std::vector<std::vector<float>> silent = {std::vector<float>(case_samples, 0.0f)};
        if (c.detrend != detrend_mode::none) silent.emplace_back(case_samples, 1e-3f);
        if (c.detrend == detrend_mode::linear) silent.push_back(line);
        for (const std::vector<float>& i : silent) {
            const spectrum_result r = run_case(c, v, i);
            const std::vector<double>& psd_v = column(r, "psd_v");
            for (std::size_t k = 0; k < psd_v.size(); ++k) {
                EXPECT_EQ(column(r, "psd_i")[k], 0.0) << c.name << " bin " << k << " i[1] " << i[1];
                const double zn = column(r, "zn")[k];
                EXPECT_TRUE(psd_v[k] > 0.0 ? zn == INFINITY : std::isnan(zn)) << c.name << " bin " << k;
                if (c.average == average_mode::median) continue;
                EXPECT_TRUE(std::isnan(column(r, "coherence")[k])) << c.name << " bin " << k << " i[1] " << i[1];
                EXPECT_TRUE(std::isnan(column(r, "phase")[k])) << c.name << " bin " << k << " i[1] " << i[1];
            }
        }
    }
}

TEST(channels, do_not_reach_each_other)
{
    const std::vector<float> i = gaussian_noise(case_samples, 2, 1e-6f);
    const std::vector<float> quiet(case_samples, 0.0f);
    const std::vector<float> loud = gaussian_noise(case_samples, 3, 1e6f);
    const auto agree = [](const std::vector<double>& alone, const std::vector<double>& beside, std::string_view name) {
        for (std::size_t k = 0; k < alone.size(); ++k)
            EXPECT_NEAR(beside[k], alone[k], 1e-12 * alone[k]) << name << " bin " << k;
    };
    for (const estimate_case& c : estimate_cases) {
        agree(column(run_case(c, quiet, i), "psd_i"), column(run_case(c, loud, i), "psd_i"), c.name);
        agree(column(run_case(c, loud, quiet), "psd_v"), column(run_case(c, loud, i), "psd_v"), c.name);
    }
}

TEST(channels, in_proportion_are_fully_coherent_in_phase)
{
    // i = 2^-40 v exactly: PSD_i = 2^-80 PSD_v, coherence 1 and phase 0 in every bin with power.
    const std::vector<float> v = gaussian_noise(case_samples, 4, 1.0f);
    std::vector<float> i(v.size());
    for (std::size_t j = 0; j < v.size(); ++j) i[j] = std::ldexp(v[j], -40);
    for (const estimate_case& c : estimate_cases) {
        const spectrum_result r = run_case(c, v, i);
        const std::vector<double>& psd_v = column(r, "psd_v");
        for (std::size_t k = 0; k < psd_v.size(); ++k) {
            EXPECT_NEAR(column(r, "psd_i")[k], std::ldexp(psd_v[k], -80), 1e-12 * std::ldexp(psd_v[k], -80))
                << c.name << " bin " << k;
            if (c.average == average_mode::median || psd_v[k] == 0.0) continue;
            EXPECT_NEAR(column(r, "coherence")[k], 1.0, 1e-12) << c.name << " bin " << k;
            EXPECT_NEAR(column(r, "phase")[k], 0.0, 1e-9) << c.name << " bin " << k;
        }
    }
}

}  // namespace
