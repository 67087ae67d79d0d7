// Window weights: the standard estimate's named windows and the configuration mode's Hann.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace veltrin {

// The periodic window of length n by its name, one of window_kinds
// (model/request.hpp). Nothing for another name.
std::optional<std::vector<double>> named_window(const std::string& name, std::size_t n);

// The configuration mode's window: with hanning 1 the historical Hann
// (1 - cos(6.283185307 j / (n - 1))) / 2, otherwise all ones.
std::vector<double> configuration_window(int hanning, std::size_t n);

}  // namespace veltrin
