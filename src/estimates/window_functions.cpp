// Window weights. The named windows are the symmetric windows of length n + 1
// without their last point (periodic, as used for spectral estimation). Only
// the four operations, sqrt and the exact_angles functions: every system
// gives the same bits.
#include "estimates/window_functions.hpp"

#include <cmath>
#include <cstdint>
#include <numbers>

#include "estimates/exact_angles.hpp"

namespace veltrin {

namespace {

// a0 - a1 cos(2 pi j / n) + a2 cos(4 pi j / n) - ..., written as the sum of
// a_k cos(k phi) over phi = -pi + 2 pi j / n. k phi is the turn
// (2 k j - k n) / 2n, taken in whole numbers so that every system gives the
// same weights.
std::vector<double> cosine_sum(std::initializer_list<double> a, std::size_t n)
{
    std::vector<double> w(n, 0.0);
    const std::uint64_t turn = 2 * static_cast<std::uint64_t>(n);
    for (std::size_t j = 0; j < n; ++j) {
        std::uint64_t k = 0;
        for (const double coefficient : a) {
            // k n is 0 or n modulo 2n.
            const std::uint64_t half_turns = k % 2 == 0 ? 0 : n;
            const std::uint64_t angle = (2 * k * j % turn + turn - half_turns) % turn;
            w[j] += coefficient * unit_turn(angle, turn).real();
            ++k;
        }
    }
    return w;
}

std::vector<double> bartlett(std::size_t n)
{
    std::vector<double> w(n);
    const double half = static_cast<double>(n) / 2.0;
    for (std::size_t j = 0; j < n; ++j) {
        const double x = static_cast<double>(j);
        w[j] = x <= half ? 2.0 * x / static_cast<double>(n) : 2.0 - 2.0 * x / static_cast<double>(n);
    }
    return w;
}

}  // namespace

namespace {

// Double-double numbers (hi + lo, |lo| <= ulp(hi) / 2) made of the four
// operations alone (Dekker's), for a sum whose roundings must not add up.
struct double_double {
    double hi = 0.0;
    double lo = 0.0;
};

double_double exact_sum(double a, double b)
{
    const double s = a + b;
    const double v = s - a;
    return {s, (a - (s - v)) + (b - v)};
}

// a = high + low, each with 26 bits (|a| below 1e300).
void split(double a, double& high, double& low)
{
    const double c = 134217729.0 * a;  // 2^27 + 1
    high = c - (c - a);
    low = a - high;
}

double_double exact_product(double a, double b)
{
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

double_double operator+(double_double a, double_double b)
{
    const double_double s = exact_sum(a.hi, b.hi);
    return exact_sum(s.hi, s.lo + a.lo + b.lo);
}

double_double operator*(double_double a, double_double b)
{
    const double_double p = exact_product(a.hi, b.hi);
    return exact_sum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

double_double operator/(double_double a, double d)
{
    const double q = a.hi / d;
    const double_double p = exact_product(q, d);
    const double r = ((a.hi - p.hi) - p.lo + a.lo) / d;
    return exact_sum(q, r);
}

}  // namespace

// The series sum of ((x / 2)^k / k!)^2 in double-double: terms of one sign,
// about x / 2 + 10 sqrt(x) of them, and a last rounding within 2e-16 of the
// value. libstdc++'s std::cyl_bessel_i is up to 2e-15 off from x = 3 on and
// goes through the C library's exp, whose last bit differs between systems;
// the series in plain doubles drifts to 1e-14 by x = 300.
double bessel_i0(double x)
{
    const double_double quarter_square = exact_product(x, x) / 4.0;
    double_double term{1.0, 0.0};
    double_double sum{1.0, 0.0};
    for (int k = 1; term.hi > sum.hi * 1e-33; ++k) {
        term = term * quarter_square / (static_cast<double>(k) * static_cast<double>(k));
        sum = sum + term;
    }
    return sum.hi + sum.lo;
}

namespace {

// The windows with a parameter as scipy computes them, on m = n + 1 points
// of which the last is dropped, and with its operations in its order.
std::vector<double> kaiser(double beta, std::size_t n)
{
    std::vector<double> w(n);
    const double alpha = static_cast<double>(n) / 2.0;  // (m - 1) / 2
    const double scale = bessel_i0(beta);
    // w[n - j] = w[j]: j - alpha and alpha - j are exact, so the mirrored
    // weight is the same bits, at half the series' cost.
    for (std::size_t j = 0; j <= n / 2; ++j) {
        const double r = (static_cast<double>(j) - alpha) / alpha;
        w[j] = bessel_i0(beta * std::sqrt(1.0 - r * r)) / scale;
        if (j > 0) w[n - j] = w[j];
    }
    return w;
}

std::vector<double> tukey(double alpha, std::size_t n)
{
    if (alpha <= 0.0) return std::vector<double>(n, 1.0);
    if (alpha >= 1.0) return cosine_sum({0.5, 0.5}, n);  // hann
    std::vector<double> w(n, 1.0);
    const std::size_t m = n + 1;
    const double last = static_cast<double>(m - 1);
    const auto width = static_cast<std::size_t>(std::floor(alpha * last / 2.0));
    constexpr double pi = std::numbers::pi;
    for (std::size_t j = 0; j <= width; ++j)
        w[j] = 0.5 * (1.0 + cosine(pi * (-1.0 + 2.0 * static_cast<double>(j) / alpha / last)));
    for (std::size_t j = m - width - 1; j < n; ++j)
        w[j] = 0.5 * (1.0 + cosine(pi * (-2.0 / alpha + 1.0 + 2.0 * static_cast<double>(j) / alpha / last)));
    return w;
}

std::vector<double> gaussian(double std_dev, std::size_t n)
{
    std::vector<double> w(n);
    const double centre = static_cast<double>(n) / 2.0;  // (m - 1) / 2
    const double sig2 = 2.0 * std_dev * std_dev;
    for (std::size_t j = 0; j < n; ++j) {
        const double x = static_cast<double>(j) - centre;
        w[j] = exponential(-(x * x) / sig2);
    }
    return w;
}

}  // namespace

std::optional<std::vector<double>> named_window(const window_choice& window, std::size_t n)
{
    if (!valid_window(window)) return std::nullopt;
    const double p = window.parameter;
    switch (window.kind) {
    case window_kind::hann:
        return cosine_sum({0.5, 0.5}, n);
    case window_kind::hamming:
        return cosine_sum({0.54, 0.46}, n);
    case window_kind::blackman:
        return cosine_sum({0.42, 0.50, 0.08}, n);
    case window_kind::blackmanharris:
        return cosine_sum({0.35875, 0.48829, 0.14128, 0.01168}, n);
    case window_kind::flattop:
        return cosine_sum({0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368}, n);
    case window_kind::bartlett:
        return bartlett(n);
    case window_kind::boxcar:
        return std::vector<double>(n, 1.0);
    case window_kind::kaiser:
        return kaiser(p, n);
    case window_kind::tukey:
        return tukey(p, n);
    case window_kind::gaussian:
        return gaussian(p, n);
    case window_kind::general_hamming:
        return cosine_sum({p, 1.0 - p}, n);
    }
    return std::nullopt;
}

std::vector<double> configuration_window(int hanning, std::size_t n)
{
    if (hanning != 1) return std::vector<double>(n, 1.0);
    // The ten-digit 6.283185307 and n - 1 are the window's historical
    // definition: both end weights are 0 and w_j, w_(n-1-j) agree to ~1e-10.
    std::vector<double> w(n);
    const double step = 6.283185307 / static_cast<double>(n - 1);
    for (std::size_t j = 0; j < n; ++j) w[j] = (1.0 - std::cos(step * static_cast<double>(j))) / 2.0;
    return w;
}

}  // namespace veltrin
