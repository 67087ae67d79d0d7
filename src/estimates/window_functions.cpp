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

// I0(x), x >= 0, by its series: terms of one sign, so that its few roundings
// stay within 5e-16 of the value up to x = 400 (libstdc++'s
// std::cyl_bessel_i is 2e-15 off from x = 3 on, and goes through exp).
double bessel_i0(double x)
{
    const double quarter_square = x * x / 4.0;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; term > sum * 1e-17; ++k) {
        term *= quarter_square / (static_cast<double>(k) * static_cast<double>(k));
        sum += term;
    }
    return sum;
}

// The windows with a parameter as scipy computes them, on m = n + 1 points
// of which the last is dropped, and with its operations in its order.
std::vector<double> kaiser(double beta, std::size_t n)
{
    std::vector<double> w(n);
    const double alpha = static_cast<double>(n) / 2.0;  // (m - 1) / 2
    const double scale = bessel_i0(beta);
    for (std::size_t j = 0; j < n; ++j) {
        const double r = (static_cast<double>(j) - alpha) / alpha;
        w[j] = bessel_i0(beta * std::sqrt(1.0 - r * r)) / scale;
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
