// Moments in one pass: compensated sums for the mean and the mean square,
// central moments of blocks merged in order.
#include "estimates/noise_statistics.hpp"

#include <algorithm>
#include <cmath>

namespace veltrin {

namespace {

// Neumaier's compensated sum: adds x to sum, the lost low part to compensation.
void add_accurately(double& sum, double& compensation, double x)
{
    const double t = sum + x;
    compensation += std::abs(sum) >= std::abs(x) ? (sum - t) + x : (x - t) + sum;
    sum = t;
}

// An infinite term leaves the compensation nan; the sum itself is then the answer.
double accurate_value(double sum, double compensation)
{
    return std::isfinite(sum) ? sum + compensation : sum;
}

// The mean of n values whose compensated sum is (sum, compensation), as a
// pair hi + lo that holds it to twice the double's digits, so that
// deviations from it lose nothing to the mean's rounding.
struct precise_mean {
    double hi, lo;
};
precise_mean mean_of(double sum, double compensation, double n)
{
    const double hi = (sum + compensation) / n;
    return {hi, (std::fma(-hi, n, sum) + compensation) / n};
}

// The population standard deviation about the accurately summed mean.
double population_std(std::span<const double> x)
{
    const auto n = static_cast<double>(x.size());
    double sum = 0.0, sum_c = 0.0;
    for (const double value : x) add_accurately(sum, sum_c, value);
    const double mean = accurate_value(sum, sum_c) / n;
    double m2 = 0.0, m2_c = 0.0;
    for (const double value : x) {
        const double d = value - mean;
        add_accurately(m2, m2_c, d * d);
    }
    return std::sqrt(accurate_value(m2, m2_c) / n);
}

}  // namespace

void series_moments::add(std::span<const float> x)
{
    for (const float f : x) {
        const double value = f;
        if (count_ == 0.0) min_ = max_ = value;
        min_ = std::min(min_, value);
        max_ = std::max(max_, value);
        count_ += 1.0;
        add_accurately(sum_, sum_compensation_, value);
        add_accurately(squares_, squares_compensation_, value * value);
        held_.push_back(value);
        if (held_.size() == block) merge_block();
    }
}

void series_moments::merge_block()
{
    if (held_.empty()) return;
    const auto nb = static_cast<double>(held_.size());
    double sum = 0.0, sum_c = 0.0;
    for (const double value : held_) add_accurately(sum, sum_c, value);
    const precise_mean mean = mean_of(sum, sum_c, nb);
    double s2 = 0.0, s2_c = 0.0, s3 = 0.0, s3_c = 0.0, s4 = 0.0, s4_c = 0.0;
    for (const double value : held_) {
        const double d = (value - mean.hi) - mean.lo;
        add_accurately(s2, s2_c, d * d);
        add_accurately(s3, s3_c, d * d * d);
        add_accurately(s4, s4_c, d * d * d * d);
    }
    const double b2 = accurate_value(s2, s2_c);
    const double b3 = accurate_value(s3, s3_c);
    const double b4 = accurate_value(s4, s4_c);
    held_.clear();
    const double na = merged_count_;
    if (na > 0.0) {
        // The pairwise update of central sums (Chan, Golub and LeVeque; Pébay),
        // each sum kept compensated over the many blocks of a long recording.
        const precise_mean merged = mean_of(merged_sum_, merged_compensation_, na);
        const double a2 = accurate_value(m2_, m2_c_);
        const double a3 = accurate_value(m3_, m3_c_);
        const double n = na + nb;
        const double delta = (mean.hi - merged.hi) + (mean.lo - merged.lo);
        const double d_n = delta / n;
        const double d_n2 = d_n * d_n;
        const double term = delta * d_n * na * nb;
        add_accurately(m4_, m4_c_, b4);
        add_accurately(m4_, m4_c_,
                       term * d_n2 * (na * na - na * nb + nb * nb) + 6.0 * d_n2 * (na * na * b2 + nb * nb * a2) +
                           4.0 * d_n * (na * b3 - nb * a3));
        add_accurately(m3_, m3_c_, b3);
        add_accurately(m3_, m3_c_, term * d_n * (na - nb) + 3.0 * d_n * (na * b2 - nb * a2));
        add_accurately(m2_, m2_c_, b2);
        add_accurately(m2_, m2_c_, term);
    } else {
        m2_ = b2;
        m3_ = b3;
        m4_ = b4;
    }
    merged_count_ = na + nb;
    add_accurately(merged_sum_, merged_compensation_, sum);
    add_accurately(merged_sum_, merged_compensation_, sum_c);
}

series_moments::values series_moments::result() const
{
    series_moments all = *this;
    all.merge_block();
    const double n = count_;
    // The moments about the mean as reported (rounded to a double), which
    // is what the deviations of a second pass would be taken from.
    const double mean = accurate_value(sum_, sum_compensation_) / n;
    const precise_mean exact = mean_of(all.merged_sum_, all.merged_compensation_, n);
    const double shift = (mean - exact.hi) - exact.lo;
    const double c2 = accurate_value(all.m2_, all.m2_c_);
    const double c3 = accurate_value(all.m3_, all.m3_c_);
    const double c4 = accurate_value(all.m4_, all.m4_c_);
    const double m2 = c2 + n * shift * shift;
    const double m3 = c3 - 3.0 * shift * c2 - n * shift * shift * shift;
    const double m4 = c4 - 4.0 * shift * c3 + 6.0 * shift * shift * c2 + n * shift * shift * shift * shift;
    const double variance = m2 / n;
    return {mean,
            std::sqrt(variance),
            std::sqrt(accurate_value(squares_, squares_compensation_) / n),
            (m3 / n) / std::pow(variance, 1.5),
            (m4 / n) / (variance * variance) - 3.0,
            min_,
            max_};
}

void statistics_sums::add_section_ratio(double ratio)
{
    add_accurately(ratios_, ratios_compensation_, ratio);
    sections_ += 1.0;
}

std::vector<std::string> statistics_keys()
{
    std::vector<std::string> keys;
    for (const char* prefix : {"v_", "i_"})
        for (const char* name : {"mean", "std", "rms", "skewness", "kurtosis", "min", "max"})
            keys.push_back(std::string(prefix) + name);
    keys.insert(keys.end(), {"rn", "localization_index", "rn_sections"});
    return keys;
}

std::vector<std::pair<std::string, double>> statistics_sums::result() const
{
    const series_moments::values mv = v_.result();
    const series_moments::values mi = i_.result();
    const double values[] = {mv.mean,
                             mv.std,
                             mv.rms,
                             mv.skewness,
                             mv.kurtosis,
                             mv.min,
                             mv.max,
                             mi.mean,
                             mi.std,
                             mi.rms,
                             mi.skewness,
                             mi.kurtosis,
                             mi.min,
                             mi.max,
                             mv.std / mi.std,
                             mi.std / mi.rms,
                             accurate_value(ratios_, ratios_compensation_) / sections_};
    std::vector<std::pair<std::string, double>> result;
    const std::vector<std::string> keys = statistics_keys();
    for (std::size_t k = 0; k < keys.size(); ++k) result.emplace_back(keys[k], values[k]);
    return result;
}

double section_std_ratio(std::span<const float> v, std::span<const float> i, detrend_mode mode,
                         std::vector<double>& v_scratch, std::vector<double>& i_scratch)
{
    v_scratch.assign(v.begin(), v.end());
    i_scratch.assign(i.begin(), i.end());
    detrend(v_scratch, mode);
    detrend(i_scratch, mode);
    return population_std(v_scratch) / population_std(i_scratch);
}

std::vector<std::pair<std::string, double>> noise_statistics(std::span<const float> v, std::span<const float> i,
                                                             const segment_plan& plan)
{
    statistics_sums sums;
    const std::size_t covered = samples_covered(plan);
    sums.add_samples(v.first(covered), i.first(covered));
    const std::size_t n = plan.window.size();
    std::vector<double> v_scratch;
    std::vector<double> i_scratch;
    for (std::size_t s = 0; s < plan.sections; ++s)
        sums.add_section_ratio(section_std_ratio(v.subspan(s * plan.step, n), i.subspan(s * plan.step, n), plan.detrend,
                                                 v_scratch, i_scratch));
    return sums.result();
}

}  // namespace veltrin
