// Averaged periodograms with any window, overlap, detrending and averaging:
// the definitions of scipy.signal.welch, csd and coherence.
#pragma once

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

#include "model/request.hpp"
#include "platform/worker_team.hpp"

namespace veltrin {

struct segment_plan {
    std::vector<double> window;  // n weights
    std::size_t step = 0;        // n - noverlap: the distance between section starts
    std::size_t sections = 0;    // K
    detrend_mode detrend = detrend_mode::constant;
};

// Samples covered by K sections: (K - 1) step + n (0 for no section).
std::size_t samples_covered(const segment_plan& plan);

struct welch_spectra {
    std::vector<double> psd_v;  // bins 0 ... n/2, one-sided density
    std::vector<double> psd_i;
    std::vector<std::complex<double>> cross;  // csd(v, i), mean-averaged; empty unless asked
};

// The densities of v and i (x = the single-precision values in double) with
// sampling frequency fs: each section detrended, windowed, transformed,
// scaled by 1 / (fs sum w^2), doubled except at bin 0 and (even n) bin n/2,
// then averaged (median: divided by its bias for K sections). The team's
// threads transform sections at once; the result does not depend on them.
welch_spectra welch(std::span<const float> v, std::span<const float> i, double fs, const segment_plan& plan,
                    average_mode average, bool with_cross, worker_team& team);

// Welch's sums as the sections arrive, for a recording read as it goes:
// add() takes the next run of sections, any number; result() gives what
// welch() gives for all the sections added.
class welch_sums {
public:
    static constexpr std::size_t group_sections = 32;

    // plan.sections is not used: the sections are those added.
    welch_sums(const segment_plan& plan, double fs, average_mode average, bool with_cross);
    // Adds `count` sections, the first starting at v[0] and i[0], each
    // plan.step after the one before; v and i hold them all.
    void add(std::span<const float> v, std::span<const float> i, std::size_t count, worker_team& team);
    std::size_t sections() const { return sections_; }
    welch_spectra result() const;

private:
    segment_plan plan_;  // its own: the caller's may change
    double scale_ = 0.0;
    average_mode average_;
    bool with_cross_;
    std::size_t sections_ = 0;
    welch_spectra sums_;
    welch_spectra open_group_;  // the sums of a group that the last run left unfinished
    // The median needs every section's value of each bin: section s's bins at s (n/2 + 1).
    std::vector<double> v_rows_;
    std::vector<double> i_rows_;
};

// Removes the section's mean, or its least-squares line, in place.
void detrend(std::span<double> x, detrend_mode mode);

// The median's bias for K values of a chi-square with 2 degrees of freedom:
// 1 + sum over k = 1 ... (K-1)/2 of 1/(2k+1) - 1/(2k).
double median_bias(std::size_t sections);

// Frequencies of bins 0 ... n/2: k / (n / fs).
std::vector<double> bin_frequencies(std::size_t n, double fs);

}  // namespace veltrin
