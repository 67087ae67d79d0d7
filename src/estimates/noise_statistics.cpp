// Moments in two passes about an accurately summed mean, so that a small
// noise on a large offset loses nothing to cancellation.
#include "estimates/noise_statistics.hpp"

#include <algorithm>
#include <cmath>

namespace {

// Neumaier's compensated sum.
struct accurate_sum {
    double sum = 0.0;
    double compensation = 0.0;
    void add(double x)
    {
        const double t = sum + x;
        compensation += std::abs(sum) >= std::abs(x) ? (sum - t) + x : (x - t) + sum;
        sum = t;
    }
    // An infinite term leaves the compensation nan; the sum itself is then the answer.
    double value() const { return std::isfinite(sum) ? sum + compensation : sum; }
};

struct moments {
    double mean, std, rms, skewness, kurtosis, min, max;
};

moments moments_of(std::span<const double> x)
{
    const auto n = static_cast<double>(x.size());
    accurate_sum sum;
    accurate_sum squares;
    for (const double value : x) {
        sum.add(value);
        squares.add(value * value);
    }
    const double mean = sum.value() / n;
    accurate_sum m2;
    accurate_sum m3;
    accurate_sum m4;
    for (const double value : x) {
        const double d = value - mean;
        m2.add(d * d);
        m3.add(d * d * d);
        m4.add(d * d * d * d);
    }
    const double variance = m2.value() / n;
    const auto [low, high] = std::minmax_element(x.begin(), x.end());
    return {mean,
            std::sqrt(variance),
            std::sqrt(squares.value() / n),
            (m3.value() / n) / std::pow(variance, 1.5),
            (m4.value() / n) / (variance * variance) - 3.0,
            *low,
            *high};
}

double population_std(std::span<const double> x)
{
    return moments_of(x).std;
}

}  // namespace

std::vector<std::pair<std::string, double>> noise_statistics(std::span<const float> v, std::span<const float> i,
                                                             const segment_plan& plan)
{
    const std::size_t covered = samples_covered(plan);
    const std::vector<double> v_used(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(covered));
    const std::vector<double> i_used(i.begin(), i.begin() + static_cast<std::ptrdiff_t>(covered));
    const moments mv = moments_of(v_used);
    const moments mi = moments_of(i_used);

    const std::size_t n = plan.window.size();
    std::vector<double> v_section(n);
    std::vector<double> i_section(n);
    accurate_sum ratios;
    for (std::size_t s = 0; s < plan.sections; ++s) {
        const std::size_t first = s * plan.step;
        std::copy_n(v_used.begin() + static_cast<std::ptrdiff_t>(first), n, v_section.begin());
        std::copy_n(i_used.begin() + static_cast<std::ptrdiff_t>(first), n, i_section.begin());
        detrend(v_section, plan.detrend);
        detrend(i_section, plan.detrend);
        ratios.add(population_std(v_section) / population_std(i_section));
    }

    std::vector<std::pair<std::string, double>> result;
    for (const auto& [prefix, m] : {std::pair{"v_", mv}, std::pair{"i_", mi}}) {
        const std::string p = prefix;
        result.insert(result.end(), {{p + "mean", m.mean},
                                     {p + "std", m.std},
                                     {p + "rms", m.rms},
                                     {p + "skewness", m.skewness},
                                     {p + "kurtosis", m.kurtosis},
                                     {p + "min", m.min},
                                     {p + "max", m.max}});
    }
    result.emplace_back("rn", mv.std / mi.std);
    result.emplace_back("localization_index", mi.std / mi.rms);
    result.emplace_back("rn_sections", ratios.value() / static_cast<double>(plan.sections));
    return result;
}
