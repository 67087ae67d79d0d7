// Averaged one-sided power spectral densities of the v and i series.
#pragma once

#include <vector>

#include "run_config.hpp"

struct density_pair {
    std::vector<float> psd_v;  // bins 0 ... nbpoint_section / 2
    std::vector<float> psd_i;
};

// Checks the sectioning against nbpoint_acqui (fatal stop when it does not
// fit), then averages the periodograms of nb_section consecutive sections of
// nbpoint_section samples, means removed, optionally Hann-windowed, and scales
// them to a density with deltat.
density_pair estimate_spectra(const run_config& config, const std::vector<float>& v,
                              const std::vector<float>& i);
