// Window weights: the standard estimate's windows and the configuration mode's Hann.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "model/windows.hpp"

namespace veltrin {

// The periodic window of length n (scipy.signal.get_window's, fftbins=True).
// Nothing when the window's parameter is outside its range (valid_window).
std::optional<std::vector<double>> named_window(const window_choice& window, std::size_t n);

// The modified Bessel function I0(x) of 0 <= x <= 400 (Kaiser's weights),
// within 5e-16 of its value.
double bessel_i0(double x);

// The configuration mode's window: with hanning 1 the historical Hann
// (1 - cos(6.283185307 j / (n - 1))) / 2, otherwise all ones.
std::vector<double> configuration_window(int hanning, std::size_t n);

}  // namespace veltrin
