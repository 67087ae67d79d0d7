// Window weights. The named windows are the symmetric windows of length n + 1
// without their last point (periodic, as used for spectral estimation).
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

}  // namespace

std::optional<std::vector<double>> named_window(const std::string& name, std::size_t n)
{
    if (name == "hann") return cosine_sum({0.5, 0.5}, n);
    if (name == "hamming") return cosine_sum({0.54, 0.46}, n);
    if (name == "blackman") return cosine_sum({0.42, 0.50, 0.08}, n);
    if (name == "blackmanharris") return cosine_sum({0.35875, 0.48829, 0.14128, 0.01168}, n);
    if (name == "flattop") return cosine_sum({0.21557895, 0.41663158, 0.277263158, 0.083578947, 0.006947368}, n);
    if (name == "bartlett") {
        std::vector<double> w(n);
        const double half = static_cast<double>(n) / 2.0;
        for (std::size_t j = 0; j < n; ++j) {
            const double x = static_cast<double>(j);
            w[j] = x <= half ? 2.0 * x / static_cast<double>(n) : 2.0 - 2.0 * x / static_cast<double>(n);
        }
        return w;
    }
    if (name == "boxcar") return std::vector<double>(n, 1.0);
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
