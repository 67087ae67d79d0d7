// The exact degrees of freedom against the quadratic forms written out as
// matrices over the whole recording (2 E^2 / (2 tr M^2) for x^T M x, x white),
// and a small seeded Monte Carlo of the band mean.
// (bench/degrees_of_freedom.py runs the large Monte Carlo with numpy.)
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "estimates/degrees_of_freedom.hpp"
#include "estimates/welch_estimate.hpp"
#include "estimates/window_functions.hpp"

using namespace veltrin;

namespace {

// The real symmetric matrix M of sum_s |z_s(k)|^2 over the recording's L samples.
std::vector<double> form_of_bin(const std::vector<double>& w, std::size_t step, std::size_t sections, detrend_mode mode,
                                std::size_t k)
{
    const std::size_t n = w.size();
    const std::size_t length = (sections - 1) * step + n;
    // a_k = P (w f_k): the detrending applied to each column of the identity, then the window.
    std::vector<std::complex<double>> a(n, 0.0);
    for (std::size_t j = 0; j < n; ++j) {
        std::vector<double> e(n, 0.0);
        e[j] = 1.0;
        detrend(e, mode);  // P e_j (P symmetric): a_k[j] = sum_i P_ji w_i f_k[i]
        for (std::size_t i = 0; i < n; ++i)
            a[j] += e[i] * w[i] *
                    std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(i * k) / static_cast<double>(n));
    }
    std::vector<double> m(length * length, 0.0);
    for (std::size_t s = 0; s < sections; ++s)
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = 0; j < n; ++j)
                m[(s * step + i) * length + s * step + j] += (std::conj(a[i]) * a[j]).real();
    return m;
}

double trace(const std::vector<double>& m)
{
    const auto length = static_cast<std::size_t>(std::sqrt(static_cast<double>(m.size())) + 0.5);
    double t = 0.0;
    for (std::size_t i = 0; i < length; ++i) t += m[i * length + i];
    return t;
}

double trace_of_square(const std::vector<double>& m)
{
    double t = 0.0;
    for (const double x : m) t += x * x;  // M symmetric: tr M^2 = sum of squares
    return t;
}

struct layout_case {
    const char* window;
    std::size_t n, step, sections;
    detrend_mode detrend;
};

const layout_case cases[] = {
    {"hann", 24, 12, 5, detrend_mode::constant}, {"hann", 24, 6, 6, detrend_mode::none},
    {"hann", 25, 7, 4, detrend_mode::linear},    {"boxcar", 20, 20, 3, detrend_mode::constant},
    {"boxcar", 20, 10, 4, detrend_mode::linear}, {"blackman", 16, 4, 7, detrend_mode::constant},
    {"hann", 16, 16, 1, detrend_mode::constant},
};

}  // namespace

TEST(degrees_of_freedom, every_bin_equals_its_quadratic_form)
{
    for (const layout_case& c : cases) {
        const std::vector<double> w = *named_window(*window_named(c.window), c.n);
        const bin_freedom_table table = exact_bin_freedom({w, c.step, c.sections, c.detrend});
        double power = 0.0;
        for (const double x : w) power += x * x;
        for (std::size_t k = 0; k <= c.n / 2; ++k) {
            const std::vector<double> m = form_of_bin(w, c.step, c.sections, c.detrend, k);
            const double e = trace(m);
            const double nu = e * e / trace_of_square(m);
            if (k == 0 && c.detrend != detrend_mode::none)
                EXPECT_TRUE(std::isnan(table.nu[k])) << c.window << " " << c.n;
            else
                EXPECT_NEAR(table.nu[k], nu, 1e-9 * nu) << c.window << " " << c.n << " " << c.step << " bin " << k;
            EXPECT_NEAR(table.expectation[k], e / static_cast<double>(c.sections) / power, 1e-12)
                << c.window << " bin " << k;
        }
    }
}

TEST(degrees_of_freedom, band_means_equal_their_quadratic_forms)
{
    for (const layout_case& c : cases) {
        const std::vector<double> w = *named_window(*window_named(c.window), c.n);
        const windowed_sections layout{w, c.step, c.sections, c.detrend};
        // A band of three bins from bin 1 with sloping densities (the weights D_k / E_k).
        const std::size_t first = 1;
        const std::vector<double> densities = {4.0, 1.5, 0.5};
        std::vector<double> sum;
        double e_sum = 0.0;
        for (std::size_t b = 0; b < densities.size(); ++b) {
            const std::vector<double> m = form_of_bin(w, c.step, c.sections, c.detrend, first + b);
            const double e = trace(m);
            if (sum.empty()) sum.assign(m.size(), 0.0);
            for (std::size_t i = 0; i < m.size(); ++i) sum[i] += densities[b] / e * m[i];
            e_sum += densities[b];
        }
        const double nu = e_sum * e_sum / trace_of_square(sum);
        EXPECT_NEAR(exact_band_freedom(layout, first, densities), nu, 1e-9 * nu) << c.window << " " << c.step;
    }
}

TEST(degrees_of_freedom, welch_values_far_from_the_ends)
{
    // Without detrending the inner bins of Hann at 50 % are close to Welch's
    // 2K / (1 + 2 sum ...), bin N/2 about half of theirs, and boxcar without overlap exactly 2K.
    const std::vector<double> hann = *named_window(*window_named("hann"), 256);
    const bin_freedom_table t = exact_bin_freedom({hann, 128, 20, detrend_mode::none});
    EXPECT_NEAR(t.nu[64], 40.0 / (1.0 + 2.0 * (19.0 / 20.0) / 36.0), 1e-6);
    EXPECT_NEAR(t.nu[128], t.nu[64] / 2.0, 1e-3 * t.nu[64]);
    const std::vector<double> boxcar(64, 1.0);
    const bin_freedom_table b = exact_bin_freedom({boxcar, 64, 9, detrend_mode::constant});
    for (std::size_t k = 1; k < 32; ++k) EXPECT_NEAR(b.nu[k], 18.0, 1e-9) << k;
    EXPECT_NEAR(b.nu[32], 9.0, 1e-9);
    // Hann with the mean removed: bin 1 expects 5/6 of a flat density.
    const bin_freedom_table h = exact_bin_freedom({hann, 256, 4, detrend_mode::constant});
    EXPECT_NEAR(h.expectation[1], 5.0 / 6.0, 1e-12);
    EXPECT_NEAR(h.expectation[2], 1.0, 1e-12);
}
