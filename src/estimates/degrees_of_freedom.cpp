// The covariances of the sections' transforms under white noise, by
// transforms of products of the weights, one section lag at a time.
#include "estimates/degrees_of_freedom.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>

#include "estimates/exact_angles.hpp"
#include "estimates/general_fft.hpp"

namespace veltrin {

namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();
using spectrum = std::vector<std::complex<double>>;

// Bin pairs further apart than this are left out of a band's variance.
constexpr std::size_t most_pair_distance = 1024;

// An orthonormal basis q_p of what the detrending removes: none, the constant
// 1/sqrt(N), and for the linear detrending the centred ramp too.
std::vector<std::vector<double>> removed_basis(std::size_t n, detrend_mode mode)
{
    std::vector<std::vector<double>> q;
    if (mode == detrend_mode::none || n == 0) return q;
    q.emplace_back(n, 1.0 / std::sqrt(static_cast<double>(n)));
    if (mode == detrend_mode::linear && n > 1) {
        std::vector<double> t(n);
        const double centre = (static_cast<double>(n) - 1.0) / 2.0;
        double tt = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            t[j] = static_cast<double>(j) - centre;
            tt += t[j] * t[j];
        }
        for (double& x : t) x /= std::sqrt(tt);
        q.push_back(std::move(t));
    }
    return q;
}

// The terms of one section lag L = m step:
//   C_m(k, k') = E z_s(k) z*_{s+m}(k')
//              = e^{-2 pi i L k'/N} U(k - k') - sum_p W*_p(k') G_p(k) - sum_p W_p(k) H*_p(k')
//                + sum_{p,p'} W_p(k) W*_p'(k') S_pp',
//   R_m(k, k') = E z_s(k) z_{s+m}(k')
//              = e^{+2 pi i L k'/N} U(k + k') - sum_p W_p(k') G_p(k) - sum_p W_p(k) H_p(k')
//                + sum_{p,p'} W_p(k) W_p'(k') S_pp',
// with U, G_p, H_p the transforms of w_j w_{j-L}, w_j q_p[j-L] (j >= L) and
// q_p[j+L] w_j (j < N - L), W_p that of q_p w, S_pp' = sum_{j>=L} q_p[j] q_p'[j-L].
class section_covariances {
public:
    explicit section_covariances(const windowed_sections& layout)
        : w_(layout.window), n_(layout.window.size()), q_(removed_basis(n_, layout.detrend)), transform_(n_)
    {
        std::vector<double> x(n_);
        for (const std::vector<double>& q : q_) {
            for (std::size_t j = 0; j < n_; ++j) x[j] = q[j] * w_[j];
            W_.push_back(transformed(x));
        }
        std::size_t lags = 0;
        while (lags < layout.sections && (lags == 0 || (layout.step > 0 && lags * layout.step < n_))) ++lags;
        lags_ = lags;
    }

    std::size_t lags() const { return lags_; }
    std::size_t size() const { return n_; }

    void set_lag(std::size_t lag)
    {
        lag_ = lag;
        std::vector<double> x(n_, 0.0);
        for (std::size_t j = lag; j < n_; ++j) x[j] = w_[j] * w_[j - lag];
        U_ = transformed(x);
        G_.clear();
        H_.clear();
        for (std::size_t p = 0; p < q_.size(); ++p) {
            std::fill(x.begin(), x.end(), 0.0);
            for (std::size_t j = lag; j < n_; ++j) x[j] = w_[j] * q_[p][j - lag];
            G_.push_back(transformed(x));
            std::fill(x.begin(), x.end(), 0.0);
            for (std::size_t j = 0; j + lag < n_; ++j) x[j] = q_[p][j + lag] * w_[j];
            H_.push_back(transformed(x));
            for (std::size_t r = 0; r < q_.size(); ++r) {
                double s = 0.0;
                for (std::size_t j = lag; j < n_; ++j) s += q_[p][j] * q_[r][j - lag];
                S_[p][r] = s;
            }
        }
    }

    // C_m(k, k') and R_m(k, k') at the lag set; k, k' from 0 to N/2.
    std::complex<double> C(std::size_t k, std::size_t kk) const
    {
        std::complex<double> c = std::conj(turn(kk)) * U(static_cast<std::int64_t>(k) - static_cast<std::int64_t>(kk));
        for (std::size_t p = 0; p < q_.size(); ++p) {
            c -= std::conj(W_[p][kk]) * G_[p][k] + W_[p][k] * std::conj(H_[p][kk]);
            for (std::size_t r = 0; r < q_.size(); ++r) c += W_[p][k] * std::conj(W_[r][kk]) * S_[p][r];
        }
        return c;
    }
    std::complex<double> R(std::size_t k, std::size_t kk) const
    {
        std::complex<double> c = turn(kk) * U(static_cast<std::int64_t>(k + kk));
        for (std::size_t p = 0; p < q_.size(); ++p) {
            c -= W_[p][kk] * G_[p][k] + W_[p][k] * H_[p][kk];
            for (std::size_t r = 0; r < q_.size(); ++r) c += W_[p][k] * W_[r][kk] * S_[p][r];
        }
        return c;
    }
    // |C|^2 + |R|^2: the covariance of |z_s(k)|^2 and |z_{s+m}(k')|^2.
    double T(std::size_t k, std::size_t kk) const { return std::norm(C(k, kk)) + std::norm(R(k, kk)); }

private:
    spectrum transformed(const std::vector<double>& x)
    {
        spectrum X(n_ / 2 + 1);
        transform_.forward(x.data(), X.data());
        return X;
    }
    // U at any whole index, from bins 0 ... N/2 of a real sequence's transform.
    std::complex<double> U(std::int64_t i) const
    {
        const auto n = static_cast<std::int64_t>(n_);
        i %= n;
        if (i < 0) i += n;
        return i <= n / 2 ? U_[static_cast<std::size_t>(i)] : std::conj(U_[static_cast<std::size_t>(n - i)]);
    }
    // exp(2 pi i L k / N).
    std::complex<double> turn(std::size_t k) const
    {
        const auto n = static_cast<std::uint64_t>(n_);
        return unit_turn((lag_ % n) * (k % n) % n, n);
    }

    std::span<const double> w_;
    std::size_t n_;
    std::vector<std::vector<double>> q_;
    real_transform transform_;
    std::vector<spectrum> W_;
    std::size_t lags_ = 0;
    std::size_t lag_ = 0;
    spectrum U_;
    std::vector<spectrum> G_;
    std::vector<spectrum> H_;
    double S_[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
};

// The pairs of sections m apart: K at m = 0, both orders of K - m pairs beyond.
double pairs_at(std::size_t m, std::size_t sections)
{
    const auto k = static_cast<double>(sections);
    return m == 0 ? k : k - static_cast<double>(m);
}

}  // namespace

bin_freedom_table exact_bin_freedom(const windowed_sections& layout)
{
    const std::size_t n = layout.window.size();
    const std::size_t bins = n / 2 + 1;
    bin_freedom_table table{std::vector<double>(bins, not_a_number), std::vector<double>(bins, not_a_number)};
    if (n == 0 || layout.sections == 0) return table;
    section_covariances cov(layout);
    std::vector<double> mean(bins);
    std::vector<double> variance(bins, 0.0);
    for (std::size_t m = 0; m < cov.lags(); ++m) {
        cov.set_lag(m * layout.step);
        const double pairs = pairs_at(m, layout.sections);
        for (std::size_t k = 0; k < bins; ++k) {
            if (m == 0) mean[k] = cov.C(k, k).real();
            // Lag -m gives the same as +m at one bin.
            variance[k] += (m == 0 ? 1.0 : 2.0) * pairs * cov.T(k, k);
        }
    }
    double power = 0.0;
    for (const double w : layout.window) power += w * w;
    const auto sections = static_cast<double>(layout.sections);
    for (std::size_t k = 0; k < bins; ++k) {
        const double expectation = sections * mean[k];
        table.nu[k] = 2.0 * expectation * expectation / variance[k];
        table.expectation[k] = mean[k] / power;
    }
    if (layout.detrend != detrend_mode::none) table.nu[0] = not_a_number;
    return table;
}

double exact_band_freedom(const windowed_sections& layout, std::size_t first, std::span<const double> densities)
{
    const std::vector<double> one(densities.begin(), densities.end());
    return exact_band_freedoms(layout, first, std::span<const std::vector<double>>(&one, 1))[0];
}

std::vector<double> exact_band_freedoms(const windowed_sections& layout, std::size_t first,
                                        std::span<const std::vector<double>> densities)
{
    const std::size_t sets = densities.size();
    std::vector<double> nu(sets, not_a_number);
    if (sets == 0) return nu;
    const std::size_t m = densities[0].size();
    const std::size_t n = layout.window.size();
    if (m == 0 || n == 0 || layout.sections == 0 || first + m > n / 2 + 1) return nu;
    // The densities relative to their largest: nu does not depend on their scale,
    // and neither their squares nor their products leave the doubles' range.
    std::vector<std::vector<double>> d(sets, std::vector<double>(m, 0.0));
    std::vector<bool> usable(sets, false);
    for (std::size_t set = 0; set < sets; ++set) {
        double largest = 0.0;
        for (const double x : densities[set]) largest = std::max(largest, x);
        usable[set] = largest > 0.0 && std::isfinite(largest);
        if (usable[set])
            for (std::size_t a = 0; a < m; ++a) d[set][a] = densities[set][a] / largest;
    }
    section_covariances cov(layout);
    std::vector<double> mean(m);
    std::vector<double> variance(sets, 0.0);
    for (std::size_t lag = 0; lag < cov.lags(); ++lag) {
        cov.set_lag(lag * layout.step);
        if (lag == 0)
            for (std::size_t a = 0; a < m; ++a) mean[a] = cov.C(first + a, first + a).real();
        const double pairs = pairs_at(lag, layout.sections);
        for (std::size_t a = 0; a < m; ++a) {
            const std::size_t b_end = std::min(m, a + most_pair_distance + 1);
            const std::size_t b_first = a > most_pair_distance ? a - most_pair_distance : 0;
            for (std::size_t b = b_first; b < b_end; ++b) {
                // Lag -m between bins a and b is lag m between b and a.
                double t = cov.T(first + a, first + b);
                if (lag > 0) t += cov.T(first + b, first + a);
                const double scaled = pairs * t / (mean[a] * mean[b]);
                for (std::size_t set = 0; set < sets; ++set) variance[set] += scaled * d[set][a] * d[set][b];
            }
        }
    }
    const auto sections = static_cast<double>(layout.sections);
    for (std::size_t set = 0; set < sets; ++set) {
        double sum = 0.0;
        for (const double x : d[set]) sum += x;
        // Var of sum_k D_k (sum_s |z_s(k)|^2 / (K E_k)): the pairs' sum over K^2.
        const double v = variance[set] / (sections * sections);
        if (usable[set] && sum > 0.0 && v > 0.0) nu[set] = 2.0 * sum * sum / v;
    }
    return nu;
}

std::vector<double> bin_correlation(const windowed_sections& layout, std::size_t most)
{
    const std::size_t n = layout.window.size();
    std::vector<double> rho(most + 1, 0.0);
    if (n == 0 || layout.sections == 0) return rho;
    const windowed_sections plain{layout.window, layout.step, layout.sections, detrend_mode::none};
    section_covariances cov(plain);
    std::vector<double> sum(most + 1, 0.0);
    // Far from bin 0, C_m(k + d, k) = e^{...} U_m(d) for every k: bin n/4 stands for them all.
    const std::size_t k = n / 4;
    for (std::size_t m = 0; m < cov.lags(); ++m) {
        cov.set_lag(m * layout.step);
        const double pairs = (m == 0 ? 1.0 : 2.0) * pairs_at(m, layout.sections);
        for (std::size_t d = 0; d <= most && k + d <= n / 2; ++d) sum[d] += pairs * std::norm(cov.C(k + d, k));
    }
    for (std::size_t d = 0; d <= most; ++d) rho[d] = sum[0] > 0.0 ? sum[d] / sum[0] : 0.0;
    return rho;
}

}  // namespace veltrin
