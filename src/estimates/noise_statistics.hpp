// Time-domain noise statistics of the samples the sections cover.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "estimates/welch_estimate.hpp"

namespace veltrin {

// The moments of one series as its samples arrive, in one pass: the mean
// and the mean square from compensated sums over all samples in order, the
// central moments from blocks of samples taken about their own mean and
// merged, so that a small noise on a large offset loses nothing to
// cancellation, nor to the mean's rounding. The blocks start at the first sample: the same samples
// give the same bits however they arrive.
class series_moments {
public:
    void add(std::span<const float> x);
    struct values {
        double mean, std, rms, skewness, kurtosis, min, max;
    };
    values result() const;

private:
    void merge_block();

    static constexpr std::size_t block = 4096;
    std::vector<double> held_;  // the samples of the block not yet merged
    double count_ = 0.0;
    double sum_ = 0.0, sum_compensation_ = 0.0;
    double squares_ = 0.0, squares_compensation_ = 0.0;
    double min_ = 0.0, max_ = 0.0;
    // The blocks merged so far: their count, their compensated sum, and the
    // sums of the second, third and fourth powers of the deviations from their mean.
    double merged_count_ = 0.0, merged_sum_ = 0.0, merged_compensation_ = 0.0;
    double m2_ = 0.0, m3_ = 0.0, m4_ = 0.0;
    double m2_c_ = 0.0, m3_c_ = 0.0, m4_c_ = 0.0;  // their compensations
};

// The statistics as the covered samples and the sections arrive.
class statistics_sums {
public:
    // The next covered samples, in order.
    void add_samples(std::span<const float> v, std::span<const float> i)
    {
        v_.add(v);
        i_.add(i);
    }
    // The next section's std_v / std_i (section_std_ratio), in section order.
    void add_section_ratio(double ratio);
    // v_mean, v_std, v_rms, v_skewness, v_kurtosis, v_min, v_max, the same
    // for i, then rn = v_std / i_std, localization_index = i_std / i_rms and
    // rn_sections = the mean of the sections' ratios. Standard deviations are
    // population ones about the mean; skewness and excess kurtosis are the
    // biased moment ratios.
    std::vector<std::pair<std::string, double>> result() const;
    // The noise resistance v_std / i_std, as result() gives it.
    double rn() const { return v_.result().std / i_.result().std; }

private:
    series_moments v_;
    series_moments i_;
    double ratios_ = 0.0, ratios_compensation_ = 0.0;
    double sections_ = 0.0;
};

// The statistics' names, in the order result() gives them.
std::vector<std::string> statistics_keys();

// std_v / std_i of a section after its detrending (done on the scratch copies).
double section_std_ratio(std::span<const float> v, std::span<const float> i, detrend_mode mode,
                         std::vector<double>& v_scratch, std::vector<double>& i_scratch);

// The statistics of the samples that plan's sections cover, and of its sections.
std::vector<std::pair<std::string, double>> noise_statistics(std::span<const float> v, std::span<const float> i,
                                                             const segment_plan& plan);

}  // namespace veltrin
