// The configuration mode's estimate: averaged one-sided densities of v and i.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "estimates/radix2_fft.hpp"
#include "model/request.hpp"
#include "platform/worker_team.hpp"

namespace veltrin {

struct density_pair {
    std::vector<float> psd_v;  // bins 0 ... nbpoint_section / 2
    std::vector<float> psd_i;
};

// The periodograms' sums as the sections arrive, for a recording read as
// it goes: add() takes a run of consecutive sections, result() scales the
// sums as estimate_spectra does. The request must have passed check_request.
class configuration_sums {
public:
    configuration_sums(const analysis_request& request, unsigned threads);
    // Adds `count` sections of nbpoint_section samples, the first at v[0] and i[0].
    void add(std::span<const float> v, std::span<const float> i, std::size_t count, worker_team& team);
    std::size_t sections() const { return sections_; }
    // The densities of the sections added, which must be nb_section.
    density_pair result(const analysis_request& request, float deltat) const;

private:
    std::size_t n_;
    int hanning_;
    std::size_t sections_ = 0;
    std::vector<double> weights_;
    real_transform_plan plan_;
    std::size_t batch_;
    density_pair sums_;
};

// Averages the periodograms of nb_section consecutive sections of
// nbpoint_section samples, means removed, Hann-windowed when hanning is 1,
// and scales them to a density with deltat. The request must have passed
// check_request and the samples must hold the sections. The team's
// threads transform sections at once; the result does not depend on them.
density_pair estimate_spectra(const analysis_request& request, float deltat, std::span<const float> v,
                              std::span<const float> i, worker_team& team);

}  // namespace veltrin
