// The configuration mode's estimate: averaged one-sided densities of v and i.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/request.hpp"
#include "platform/worker_team.hpp"

struct density_pair {
    std::vector<float> psd_v;  // bins 0 ... nbpoint_section / 2
    std::vector<float> psd_i;
};

// Averages the periodograms of nb_section consecutive sections of
// nbpoint_section samples, means removed, Hann-windowed when hanning is 1,
// and scales them to a density with deltat. The request must have passed
// check_request and the samples must hold the sections. The team's
// threads transform sections at once; the result does not depend on them.
density_pair estimate_spectra(const analysis_request& request, float deltat, std::span<const float> v,
                              std::span<const float> i, worker_team& team);
