// The configuration mode's estimate: averaged one-sided densities of v and i.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/worker_team.hpp"

struct section_settings {
    std::int32_t hanning = 0;          // 1 selects the Hann window and its 8/3 correction
    std::int32_t nb_section = 0;       // sections averaged
    std::int32_t nbpoint_section = 0;  // points per section
};

struct density_pair {
    std::vector<float> psd_v;  // bins 0 ... nbpoint_section / 2
    std::vector<float> psd_i;
};

// Checks the sectioning against the number of samples per channel. The
// errors name `file`; `advice` is the second line of the too-few-points
// message, which says where the settings come from.
void check_sectioning(const section_settings& settings, std::size_t samples, const std::string& file,
                      const std::string& advice);

// Averages the periodograms of nb_section consecutive sections of
// nbpoint_section samples, means removed, optionally Hann-windowed, and
// scales them to a density with deltat. The sectioning must have been
// checked. The team's threads transform sections at once; the result does
// not depend on them.
density_pair estimate_spectra(const section_settings& settings, float deltat, std::span<const float> v,
                              std::span<const float> i, worker_team& team);
