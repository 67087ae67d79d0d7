// Time-domain noise statistics of the samples the sections cover.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "estimates/welch_estimate.hpp"

// v_mean, v_std, v_rms, v_skewness, v_kurtosis, v_min, v_max, the same for
// i, then rn = v_std / i_std, localization_index = i_std / i_rms and
// rn_sections = the mean over the sections of std_v / std_i after each
// section's detrending. Standard deviations are population ones about the
// mean; skewness and excess kurtosis are the biased moment ratios.
std::vector<std::pair<std::string, double>> noise_statistics(std::span<const float> v, std::span<const float> i,
                                                             const segment_plan& plan);
