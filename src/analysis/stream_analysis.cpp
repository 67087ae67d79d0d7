// Sections summed as they arrive; the result made at the end, with its
// intervals, coherence and statistics.
#include "analysis/stream_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "estimates/band_quantities.hpp"
#include "estimates/coherence_interval.hpp"
#include "estimates/coherent_interval.hpp"
#include "estimates/confidence_intervals.hpp"
#include "estimates/degrees_of_freedom.hpp"
#include "estimates/exact_angles.hpp"
#include "estimates/window_functions.hpp"
#include "model/error.hpp"

namespace veltrin {

// How many degrees of freedom a bin has: the inner bins nu, the real bins 0
// and N/2 nu/2, bin 0 after detrending none left.
enum class bin_freedom { inner, real, none };

// The rows of one estimate, bins first_bin ... , before they become named columns.
struct estimate_rows {
    std::vector<double> frequency;
    std::vector<double> psd_v;
    std::vector<double> psd_i;
    std::vector<double> zn;
    std::size_t first_bin = 0;
    std::size_t nyquist_bin = 0;  // the real bin N/2 of an even N; past the last row for an odd one
    bool detrended = false;       // each section's mean or line removed: bin 0 holds no density
    std::size_t band_first = 0;   // the rows of the inner bins: [band_first, band_end)
    std::size_t band_end = 0;
    welch_spectra cross;  // the cross spectrum's sums, for the coherence; empty unless asked

    std::size_t last_bin() const { return first_bin + psd_v.size() - 1; }
    // The inner bins have nu degrees of freedom, the real bins 0 and N/2 nu/2,
    // bin 0 after detrending none left.
    bin_freedom freedom_of(std::size_t k) const
    {
        if (k == 0) return detrended ? bin_freedom::none : bin_freedom::real;
        return k == nyquist_bin ? bin_freedom::real : bin_freedom::inner;
    }
};

namespace {

constexpr std::uint64_t all_that_come = std::numeric_limits<std::uint64_t>::max();

// The samples a batch of sections spans at most (unless one section is longer): 8 MiB of both series.
constexpr std::size_t most_batch_samples = std::size_t{1} << 20;

// Sections of points that the recording cannot hold.
[[noreturn]] void too_few_samples(const std::string& shown_name, const analysis_request& s)
{
    fail_settings(shown_name, {setting_id::sections, request_rule::too_few_samples, s.nb_section});
}

// The request's first broken rule, raised for the data file it was applied to.
void check(const analysis_request& s, const std::string& shown_name)
{
    if (std::optional<request_problem> problem = check_request(s)) fail_settings(shown_name, std::move(*problem));
}

// Intervals of psd_v, psd_i and zn at probability p with nu degrees of
// freedom; with the rows' sample coherence, Zn's interval is the coherent one.
void add_intervals(spectrum_result& result, const estimate_rows& rows, std::span<const double> coherence)
{
    const double p = *result.settings.confidence;
    result_column v_low{"psd_v_low", {}}, v_high{"psd_v_high", {}}, i_low{"psd_i_low", {}}, i_high{"psd_i_high", {}},
        z_low{"zn_low", {}}, z_high{"zn_high", {}};
    double factors_nu = std::numeric_limits<double>::quiet_NaN();
    interval_factors factors{};
    double independent_r = 0.0;
    for (std::size_t row = 0; row < rows.psd_v.size(); ++row) {
        const bin_freedom kind = rows.freedom_of(rows.first_bin + row);
        if (kind == bin_freedom::none) {
            for (result_column* column : {&v_low, &v_high, &i_low, &i_high, &z_low, &z_high})
                column->values.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        const bool real = kind == bin_freedom::real;
        const double nu = real ? result.nu / 2.0 : result.nu;
        // Every inner bin has the same nu: its quantiles are computed once.
        if (nu != factors_nu) {
            factors_nu = nu;
            factors = density_interval(p, nu);
            independent_r = coherence.empty() ? ratio_interval(p, nu) : 0.0;
        }
        const interval_factors f = factors;
        const double r = coherence.empty()
                             ? independent_r
                             : coherent_ratio_interval(p, nu, corrected_coherence(coherence[row], nu, real), real);
        v_low.values.push_back(rows.psd_v[row] * f.low);
        v_high.values.push_back(rows.psd_v[row] * f.high);
        i_low.values.push_back(rows.psd_i[row] * f.low);
        i_high.values.push_back(rows.psd_i[row] * f.high);
        z_low.values.push_back(rows.zn[row] / r);
        z_high.values.push_back(rows.zn[row] * r);
    }
    for (result_column* column : {&v_low, &v_high, &i_low, &i_high, &z_low, &z_high})
        result.columns.push_back(std::move(*column));
}

// The band quantities of the rows' inner bins; a band that holds no bin is
// the options' fault.
void add_band(spectrum_result& result, const segment_plan& plan, const estimate_rows& rows,
              std::span<const double> coherence, std::optional<double> rn, const std::string& shown_name)
{
    const band_spectra spectra{rows.frequency, rows.psd_v, rows.psd_i, rows.band_first, rows.band_end, plan.window,
                               result.nu,      coherence,  rn,         rows.first_bin,  plan.step,     plan.sections,
                               plan.detrend};
    if (std::optional<request_problem> problem = check_bands(result.settings, spectra))
        fail_settings(shown_name, std::move(*problem));
    result.band = band_quantities(result.settings, spectra);
}

// The sample coherence of bins first, ... and the cross spectrum's phase there in degrees, (-180, 180].
void add_coherence(spectrum_result& result, const welch_spectra& spectra, const std::vector<double>& sample,
                   std::size_t first)
{
    result_column coherence{"coherence", sample};
    result_column phase{"phase", {}};
    for (std::size_t k = first; k < first + sample.size(); ++k) {
        // A channel without power in the bin has no phase against the other.
        if (spectra.psd_v[k] == 0.0 || spectra.psd_i[k] == 0.0) {
            phase.values.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        const std::complex<double> c = spectra.cross[k];
        double degrees = arc_tangent(c.imag(), c.real()) * (180.0 / std::numbers::pi);
        if (degrees <= -180.0) degrees = 180.0;
        phase.values.push_back(degrees);
    }
    result.columns.push_back(std::move(coherence));
    result.columns.push_back(std::move(phase));
}

// The true coherence's interval at each row from the row's sample coherence
// and exact degrees of freedom; nan at a real bin (0, N/2), whose coherence
// has another distribution, and where there is no degree of freedom.
void add_coherence_interval(spectrum_result& result, const estimate_rows& rows, std::span<const double> sample,
                            std::span<const double> nu_bins)
{
    const double p = *result.settings.confidence;
    result_column low{"coherence_low", {}};
    result_column high{"coherence_high", {}};
    for (std::size_t row = 0; row < sample.size(); ++row) {
        const bool real = rows.freedom_of(rows.first_bin + row) != bin_freedom::inner;
        const coherence_bounds bounds =
            real ? coherence_bounds{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()}
                 : coherence_interval(p, nu_bins[row], sample[row]);
        low.values.push_back(bounds.low);
        high.values.push_back(bounds.high);
    }
    result.columns.push_back(std::move(low));
    result.columns.push_back(std::move(high));
}

}  // namespace

stream_analysis::stream_analysis(const analysis_request& request, std::string data_file, std::string shown_name,
                                 unsigned threads)
    : request_(request), data_file_(std::move(data_file)), shown_name_(std::move(shown_name)),
      threads_(std::max(threads, 1u))
{
    // A request that breaks a rule gets its message at the end, after the
    // samples are counted: a recording too short is told first.
    settings_broken_ = check_request(request_).has_value();
    if (settings_broken_) return;
    layout_ = layout_of(request_);
    most_sections_ = request_.all_sections ? all_that_come : static_cast<std::uint64_t>(request_.nb_section);
    // Enough sections at once to keep the threads busy (the standard
    // estimate shares whole groups of sections between them), few enough
    // that a batch stays small beside the recording.
    if (request_.standard)
        batch_ = threads_ * welch_sums::group_sections * std::max<std::size_t>(1, 4096 / layout_.n);
    else
        batch_ = threads_ * std::max<std::size_t>(1, (std::size_t{256} << 10) / (2 * (layout_.n + 2)));
    // Many threads or long sections: a batch spans at most about most_batch_samples.
    batch_ = std::clamp<std::size_t>(batch_, 1, std::max<std::size_t>(1, most_batch_samples / layout_.step));
}

void stream_analysis::begin(double sampling_frequency, float deltat, const input_description& input)
{
    fs_ = sampling_frequency;
    deltat_ = deltat;
    input_ = input;
}

void stream_analysis::take(std::span<const float> v, std::span<const float> i)
{
    taken_ += v.size();
    if (settings_broken_) return;
    // The samples the sections asked for end at; the rest are only counted.
    const std::uint64_t wanted_end = most_sections_ == all_that_come ? all_that_come : layout_.span(most_sections_);
    const std::size_t most_held = std::max<std::size_t>(layout_.span(batch_), std::size_t{1} << 16);
    // Reserved at once, up to what a batch of short sections holds: a long
    // section costs memory only as its samples come.
    if (v_held_.capacity() < std::min(most_held, most_batch_samples)) {
        v_held_.reserve(std::min(most_held, most_batch_samples));
        i_held_.reserve(std::min(most_held, most_batch_samples));
    }
    while (!v.empty()) {
        const std::uint64_t held_end = held_first_ + v_held_.size();
        if (held_end >= wanted_end) return;
        const std::size_t room = most_held > v_held_.size() ? most_held - v_held_.size() : 1;
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>({v.size(), wanted_end - held_end, room}));
        v_held_.insert(v_held_.end(), v.begin(), v.begin() + static_cast<std::ptrdiff_t>(count));
        i_held_.insert(i_held_.end(), i.begin(), i.begin() + static_cast<std::ptrdiff_t>(count));
        v = v.subspan(count);
        i = i.subspan(count);
        sum_sections(false);
    }
}

void stream_analysis::make_sums(std::size_t first_batch)
{
    // No more threads than the first batch can use: a short recording starts none.
    const std::size_t useful =
        request_.standard ? (first_batch + welch_sums::group_sections - 1) / welch_sums::group_sections : first_batch;
    team_ = std::make_unique<worker_team>(static_cast<unsigned>(std::clamp<std::size_t>(useful, 1, threads_)));
    if (request_.standard) {
        plan_ = {*named_window(request_.window, layout_.n), layout_.step, 0, request_.detrend};
        welch_ = std::make_unique<welch_sums>(plan_, fs_, request_.average, request_.coherence || coherent_interval());
    } else {
        plan_ = {configuration_window(request_.hanning, layout_.n), layout_.n, 0, detrend_mode::constant};
        configuration_ = std::make_unique<configuration_sums>(request_, team_->size());
        // The density's scale cancels in the coherence and the phase.
        if (request_.coherence || coherent_interval())
            welch_ = std::make_unique<welch_sums>(plan_, 1.0, average_mode::mean, true);
    }
    if (request_.statistics) {
        statistics_ = std::make_unique<statistics_sums>();
        scratch_.resize(std::size_t{2} * team_->size());
    }
}

void stream_analysis::sum_sections(bool last)
{
    const std::uint64_t held_end = held_first_ + v_held_.size();
    const std::uint64_t complete = std::min<std::uint64_t>(layout_.fitting(held_end), most_sections_);
    while (complete > sections_done_ && (last || complete - sections_done_ >= batch_)) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(batch_, complete - sections_done_));
        if (!team_) make_sums(count);
        const auto offset = static_cast<std::size_t>(sections_done_ * layout_.step - held_first_);
        const std::size_t length = layout_.span(count);
        const std::span<const float> v = std::span<const float>(v_held_).subspan(offset, length);
        const std::span<const float> i = std::span<const float>(i_held_).subspan(offset, length);
        if (configuration_) configuration_->add(v, i, count, *team_);
        if (welch_) welch_->add(v, i, count, *team_);
        if (statistics_) {
            std::vector<double> ratios(count);
            team_->run(count, [&](std::size_t b, std::size_t worker) {
                ratios[b] =
                    section_std_ratio(v.subspan(b * layout_.step, layout_.n), i.subspan(b * layout_.step, layout_.n),
                                      plan_.detrend, scratch_[2 * worker], scratch_[2 * worker + 1]);
            });
            for (const double ratio : ratios) statistics_->add_section_ratio(ratio);
            // The samples the sections cover, each once.
            const std::uint64_t covered_end = sections_done_ * layout_.step + length;
            const auto from = static_cast<std::size_t>(statistics_end_ - held_first_);
            const auto to = static_cast<std::size_t>(covered_end - held_first_);
            statistics_->add_samples(std::span<const float>(v_held_).subspan(from, to - from),
                                     std::span<const float>(i_held_).subspan(from, to - from));
            statistics_end_ = covered_end;
        }
        sections_done_ += count;
    }
    // What no section to come needs.
    const std::uint64_t next_start = std::min<std::uint64_t>(sections_done_ * layout_.step, held_end);
    const auto drop = static_cast<std::ptrdiff_t>(next_start - held_first_);
    if (drop > 0) {
        v_held_.erase(v_held_.begin(), v_held_.begin() + drop);
        i_held_.erase(i_held_.begin(), i_held_.begin() + drop);
        held_first_ = next_start;
    }
}

void stream_analysis::check_sectioning(analysis_request& s) const
{
    const std::uint64_t samples = taken_;
    if (s.standard) {
        check(s, shown_name_);
        if (s.all_sections)
            s.nb_section = static_cast<std::int64_t>(std::max<std::uint64_t>(layout_.fitting(samples), 1));
        if (layout_.span(static_cast<std::uint64_t>(s.nb_section)) > samples) too_few_samples(shown_name_, s);
    } else {
        if (s.all_sections) {
            // A recording too short for one section gets the too-few-points message.
            const std::uint64_t fit = samples / static_cast<std::uint64_t>(std::max(s.nbpoint_section, 1));
            s.nb_section = static_cast<std::int64_t>(std::max<std::uint64_t>(fit, 1));
        }
        // A recording too short for the sections is told before a setting that breaks its rule.
        if (s.nb_section * std::int64_t{s.nbpoint_section} > static_cast<std::int64_t>(samples))
            too_few_samples(shown_name_, s);
        check(s, shown_name_);
    }
}

estimate_rows stream_analysis::standard_rows() const
{
    const std::size_t n = layout_.n;
    const std::size_t half = n / 2;
    const welch_spectra spectra = welch_->result();
    estimate_rows rows;
    rows.frequency = bin_frequencies(n, fs_);
    rows.psd_v = spectra.psd_v;
    rows.psd_i = spectra.psd_i;
    rows.nyquist_bin = n % 2 == 0 ? half : n;
    rows.detrended = plan_.detrend != detrend_mode::none;
    rows.band_first = 1;
    rows.band_end = n % 2 == 0 ? half : half + 1;
    rows.cross = spectra;
    return rows;
}

estimate_rows stream_analysis::configuration_rows(const analysis_request& s) const
{
    const std::size_t half = layout_.n / 2;
    const density_pair densities = configuration_->result(s, deltat_);
    const float fN = static_cast<float>(1.0 / (static_cast<double>(deltat_) + deltat_));
    const double bin_width = static_cast<double>(fN) / static_cast<double>(half);
    estimate_rows rows;
    rows.first_bin = 1;
    rows.nyquist_bin = half;
    for (std::size_t k = 1; k <= half; ++k) {
        rows.frequency.push_back(bin_width * static_cast<double>(k));
        rows.psd_v.push_back(densities.psd_v[k]);
        rows.psd_i.push_back(densities.psd_i[k]);
    }
    rows.band_first = 0;
    rows.band_end = half - 1;
    if (welch_) rows.cross = welch_->result();
    return rows;
}

spectrum_result stream_analysis::finish()
{
    spectrum_result result{data_file_, fs_, request_, {}, 0.0, {}, {}, input_};
    analysis_request& s = result.settings;
    check_sectioning(s);
    sum_sections(true);
    plan_.sections = static_cast<std::size_t>(s.nb_section);

    estimate_rows rows = s.standard ? standard_rows() : configuration_rows(s);
    for (std::size_t k = 0; k < rows.psd_v.size(); ++k) rows.zn.push_back(std::sqrt(rows.psd_v[k] / rows.psd_i[k]));
    result.columns = {{"frequency", rows.frequency}, {"psd_v", rows.psd_v}, {"psd_i", rows.psd_i}, {"zn", rows.zn}};
    // The rows' sample coherence: a column, and the coherent Zn interval's.
    const std::vector<double> sample = s.coherence || coherent_interval()
                                           ? sample_coherence(rows.cross, rows.first_bin, rows.last_bin())
                                           : std::vector<double>{};
    const std::span<const double> coherence =
        coherent_interval() ? std::span<const double>(sample) : std::span<const double>{};
    std::vector<double> nu_bins;  // the rows' exact degrees of freedom, with a confidence
    if (s.confidence) {
        result.nu = equivalent_degrees_of_freedom(plan_.window, plan_.step, plan_.sections);
        add_intervals(result, rows, coherence);
        const bin_freedom_table exact = exact_bin_freedom({plan_.window, plan_.step, plan_.sections, plan_.detrend});
        nu_bins.assign(exact.nu.begin() + static_cast<std::ptrdiff_t>(rows.first_bin), exact.nu.end());
        result.columns.push_back({"nu_bin", nu_bins});
    }
    if (s.coherence) add_coherence(result, rows.cross, sample, rows.first_bin);
    if (s.coherence && s.confidence) add_coherence_interval(result, rows, sample, nu_bins);
    std::optional<double> rn;
    if (s.statistics) {
        result.statistics = statistics_->result();
        rn = statistics_->rn();
    }
    if (wants_band(s)) add_band(result, plan_, rows, coherence, rn, shown_name_);
    return result;
}

}  // namespace veltrin
