// Welch's averaged periodograms in double precision.
#include "estimates/welch_estimate.hpp"

#include <algorithm>

#include "estimates/general_fft.hpp"
#include "platform/worker_team.hpp"

namespace veltrin {

std::size_t samples_covered(const segment_plan& plan)
{
    return section_layout{plan.window.size(), plan.step}.span(plan.sections);
}

void detrend(std::span<double> x, detrend_mode mode)
{
    if (mode == detrend_mode::none || x.empty()) return;
    const auto n = static_cast<double>(x.size());
    double sum = 0.0;
    for (const double value : x) sum += value;
    const double mean = sum / n;
    if (mode == detrend_mode::constant) {
        for (double& value : x) value -= mean;
        return;
    }
    // Centred abscissae t_j = j - (n - 1)/2 make the slope's sums independent of the mean's.
    const double centre = (n - 1.0) / 2.0;
    double st = 0.0;
    double tt = 0.0;
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double t = static_cast<double>(j) - centre;
        st += t * (x[j] - mean);
        tt += t * t;
    }
    const double slope = tt > 0.0 ? st / tt : 0.0;
    for (std::size_t j = 0; j < x.size(); ++j) x[j] = x[j] - mean - slope * (static_cast<double>(j) - centre);
}

double median_bias(std::size_t sections)
{
    double bias = 1.0;
    for (std::size_t k = 1; k <= (sections - 1) / 2; ++k)
        bias += 1.0 / static_cast<double>(2 * k + 1) - 1.0 / static_cast<double>(2 * k);
    return bias;
}

std::vector<double> bin_frequencies(std::size_t n, double fs)
{
    std::vector<double> f(n / 2 + 1);
    const double width = 1.0 / (static_cast<double>(n) * (1.0 / fs));
    for (std::size_t k = 0; k < f.size(); ++k) f[k] = static_cast<double>(k) * width;
    return f;
}

namespace {

double median_of(std::vector<double>& values)
{
    const std::size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half), values.end());
    const double upper = values[half];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half));
    return (lower + upper) / 2.0;
}

}  // namespace

welch_sums::welch_sums(const segment_plan& plan, double fs, average_mode average, bool with_cross)
    : plan_(plan), average_(average), with_cross_(with_cross && average == average_mode::mean)
{
    double weight_power = 0.0;
    for (const double w : plan.window) weight_power += w * w;
    scale_ = 1.0 / (fs * weight_power);
    const std::size_t bins = plan.window.size() / 2 + 1;
    sums_.psd_v.assign(bins, 0.0);
    sums_.psd_i.assign(bins, 0.0);
    if (with_cross_) sums_.cross.assign(bins, 0.0);
}

namespace {

// Sections are summed in groups of group_sections, the groups' sums then
// in group order: the same additions whatever the number of threads, and
// whatever the runs the sections arrive in.
struct group_sums {
    std::vector<double> pv;
    std::vector<double> pi;
    std::vector<std::complex<double>> cross;
};

// One thread's transforms of sections: each detrended, windowed, transformed.
struct section_transforms {
    explicit section_transforms(std::size_t n) : transform(n), v_section(n), i_section(n), V(n / 2 + 1), I(n / 2 + 1) {}

    // The transforms V and I of the section of v and i that starts at `first`.
    void of_section(std::span<const float> v, std::span<const float> i, std::size_t first, const segment_plan& plan)
    {
        const std::size_t n = plan.window.size();
        for (std::size_t j = 0; j < n; ++j) {
            v_section[j] = v[first + j];
            i_section[j] = i[first + j];
        }
        detrend(v_section, plan.detrend);
        detrend(i_section, plan.detrend);
        for (std::size_t j = 0; j < n; ++j) {
            v_section[j] *= plan.window[j];
            i_section[j] *= plan.window[j];
        }
        // A transform each, so that neither channel's rounding reaches the other.
        transform.forward(v_section.data(), V.data());
        transform.forward(i_section.data(), I.data());
    }

    real_transform transform;
    std::vector<double> v_section;
    std::vector<double> i_section;
    std::vector<std::complex<double>> V;
    std::vector<std::complex<double>> I;
};

}  // namespace

void welch_sums::add(std::span<const float> v, std::span<const float> i, std::size_t count, worker_team& team)
{
    const segment_plan& plan = plan_;
    const std::size_t n = plan.window.size();
    const std::size_t bins = n / 2 + 1;
    const double scale = scale_;
    const bool with_cross = with_cross_;
    // Every bin but 0 and, for even n, n/2 carries its negative-frequency twin.
    const std::size_t doubled_end = n % 2 == 0 ? bins - 1 : bins;
    const bool median = average_ == average_mode::median;
    const std::size_t first_section = sections_;
    if (median) {
        v_rows_.resize((first_section + count) * bins);
        i_rows_.resize((first_section + count) * bins);
    }
    constexpr std::size_t group_size = group_sections;
    // The groups this run reaches, by their number from the recording's first
    // section; the first may go on from sums an earlier run left open.
    const std::size_t first_group = first_section / group_size;
    const std::size_t end_section = first_section + count;
    const std::size_t groups = count == 0 ? 0 : (end_section - 1) / group_size + 1 - first_group;
    std::vector<group_sums> sums(median ? 0 : groups);
    const bool goes_on = first_section % group_size != 0;
    const std::size_t tasks = std::min<std::size_t>(team.size(), std::max<std::size_t>(groups, 1));
    team.run(tasks, [&](std::size_t task) {
        section_transforms section(n);
        const std::vector<std::complex<double>>& V = section.V;
        const std::vector<std::complex<double>>& I = section.I;
        for (std::size_t g = task; g < groups; g += tasks) {
            group_sums* sum = median ? nullptr : &sums[g];
            if (sum != nullptr && g == 0 && goes_on) {
                sum->pv = open_group_.psd_v;
                sum->pi = open_group_.psd_i;
                sum->cross = open_group_.cross;
            } else if (sum != nullptr) {
                sum->pv.assign(bins, 0.0);
                sum->pi.assign(bins, 0.0);
                if (with_cross) sum->cross.assign(bins, 0.0);
            }
            const std::size_t group_start = std::max(first_section, (first_group + g) * group_size);
            const std::size_t group_end = std::min(end_section, (first_group + g + 1) * group_size);
            for (std::size_t s = group_start - first_section; s < group_end - first_section; ++s) {
                section.of_section(v, i, s * plan.step, plan);
                double* const v_row = median ? &v_rows_[(first_section + s) * bins] : nullptr;
                double* const i_row = median ? &i_rows_[(first_section + s) * bins] : nullptr;
                for (std::size_t k = 0; k < bins; ++k) {
                    const double factor = k > 0 && k < doubled_end ? 2.0 * scale : scale;
                    const double pv = std::norm(V[k]) * factor;
                    const double pi = std::norm(I[k]) * factor;
                    if (median) {
                        v_row[k] = pv;
                        i_row[k] = pi;
                        continue;
                    }
                    sum->pv[k] += pv;
                    sum->pi[k] += pi;
                    if (with_cross) sum->cross[k] += std::conj(V[k]) * I[k] * factor;
                }
            }
        }
    });
    // A group the run leaves unfinished waits for the next run.
    if (!sums.empty() && end_section % group_size != 0) {
        open_group_ = {std::move(sums.back().pv), std::move(sums.back().pi), std::move(sums.back().cross)};
        sums.pop_back();
    }
    for (const group_sums& sum : sums) {
        for (std::size_t k = 0; k < bins; ++k) {
            sums_.psd_v[k] += sum.pv[k];
            sums_.psd_i[k] += sum.pi[k];
            if (with_cross) sums_.cross[k] += sum.cross[k];
        }
    }
    sections_ += count;
}

welch_spectra welch_sums::result() const
{
    const std::size_t bins = sums_.psd_v.size();
    const std::size_t sections = sections_;
    if (average_ == average_mode::median) {
        welch_spectra result{std::vector<double>(bins, 0.0), std::vector<double>(bins, 0.0), {}};
        const double bias = median_bias(sections);
        std::vector<double> values(sections);
        for (std::size_t k = 0; k < bins; ++k) {
            for (std::size_t s = 0; s < sections; ++s) values[s] = v_rows_[s * bins + k];
            result.psd_v[k] = median_of(values) / bias;
            for (std::size_t s = 0; s < sections; ++s) values[s] = i_rows_[s * bins + k];
            result.psd_i[k] = median_of(values) / bias;
        }
        return result;
    }
    welch_spectra result = sums_;
    if (sections % group_sections != 0 && !open_group_.psd_v.empty()) {
        for (std::size_t k = 0; k < bins; ++k) {
            result.psd_v[k] += open_group_.psd_v[k];
            result.psd_i[k] += open_group_.psd_i[k];
            if (!result.cross.empty()) result.cross[k] += open_group_.cross[k];
        }
    }
    const auto count = static_cast<double>(sections);
    for (std::size_t k = 0; k < bins; ++k) {
        result.psd_v[k] /= count;
        result.psd_i[k] /= count;
    }
    for (std::complex<double>& c : result.cross) c /= count;
    return result;
}

welch_spectra welch(std::span<const float> v, std::span<const float> i, double fs, const segment_plan& plan,
                    average_mode average, bool with_cross, worker_team& team)
{
    welch_sums sums(plan, fs, average, with_cross);
    sums.add(v, i, plan.sections, team);
    return sums.result();
}

}  // namespace veltrin
