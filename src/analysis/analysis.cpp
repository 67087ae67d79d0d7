// Reading a recording by name, and the estimates with their intervals,
// coherence and statistics.
#include "analysis/analysis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

#include "model/error.hpp"
#include "estimates/band_quantities.hpp"
#include "estimates/coherent_interval.hpp"
#include "estimates/confidence_intervals.hpp"
#include "estimates/configuration_estimate.hpp"
#include "estimates/exact_angles.hpp"
#include "estimates/noise_statistics.hpp"
#include "estimates/window_functions.hpp"

namespace {

// A thread parses at least this much of a block: less is not worth its start.
constexpr std::uint64_t bytes_per_reading_thread = std::uint64_t{64} << 10;

// Threads that can share the reading of the rest of the file: one per
// bytes_per_reading_thread of a block, one for a stream that is not a regular file.
unsigned reading_threads(std::FILE* file, const reading_options& options)
{
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    if (!regular_file_extent(file, size, position) || position >= size) return 1;
    const std::uint64_t useful =
        std::min<std::uint64_t>(size - position, std::max<std::size_t>(options.block_size, 1)) / bytes_per_reading_thread;
    return static_cast<unsigned>(std::clamp<std::uint64_t>(useful, 1, std::max(options.threads, 1u)));
}

}  // namespace

recording read_open_recording(std::FILE* file, const std::string& shown_name, const reading_options& options)
{
    reading_options useful = options;
    useful.threads = reading_threads(file, options);
    return read_recording(file, shown_name, useful);
}

recording load_recording(const std::string& path, const std::string& shown_name, file_identity& identity,
                         const reading_options& options)
{
    open_outcome outcome;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_for_reading(path, outcome, options.cancel),
                                                               &std::fclose);
    if (outcome != open_outcome::opened)
        fail(outcome == open_outcome::missing ? error_kind::missing_file : error_kind::unreadable_file, shown_name);
    identity = identity_of(file.get());
    return read_open_recording(file.get(), shown_name, options);
}

namespace {

// Sections of points that the recording cannot hold.
[[noreturn]] void too_few_samples(const std::string& shown_name, const analysis_request& s)
{
    fail_settings(shown_name, {request_setting::sections, request_rule::too_few_samples, s.nb_section});
}

// The request's first broken rule, raised for the data file it was applied to.
void check(const analysis_request& s, const std::string& shown_name)
{
    if (std::optional<request_problem> problem = check_request(s)) fail_settings(shown_name, std::move(*problem));
}

// How many degrees of freedom a bin has: the inner bins nu, the real bins 0
// and N/2 nu/2, bin 0 after detrending none left.
enum class bin_freedom { inner, real, none };

// Intervals of psd_v, psd_i and zn; freedom_of(k) tells bin k's degrees of
// freedom. With the rows' sample coherence, Zn's interval is the coherent one.
template <class freedom>
void add_intervals(spectrum_result& result, std::size_t first_bin, freedom freedom_of, std::span<const double> coherence)
{
    const double p = *result.settings.confidence;
    const std::vector<double>& psd_v = result.columns[1].values;
    const std::vector<double>& psd_i = result.columns[2].values;
    const std::vector<double>& zn = result.columns[3].values;
    result_column v_low{"psd_v_low", {}}, v_high{"psd_v_high", {}}, i_low{"psd_i_low", {}},
        i_high{"psd_i_high", {}}, z_low{"zn_low", {}}, z_high{"zn_high", {}};
    for (std::size_t row = 0; row < psd_v.size(); ++row) {
        const bin_freedom kind = freedom_of(first_bin + row);
        if (kind == bin_freedom::none) {
            for (result_column* column : {&v_low, &v_high, &i_low, &i_high, &z_low, &z_high})
                column->values.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        const bool real = kind == bin_freedom::real;
        const double nu = real ? result.nu / 2.0 : result.nu;
        const interval_factors f = density_interval(p, nu);
        const double r = coherence.empty()
                             ? ratio_interval(p, nu)
                             : coherent_ratio_interval(p, nu, corrected_coherence(coherence[row], nu, real), real);
        v_low.values.push_back(psd_v[row] * f.low);
        v_high.values.push_back(psd_v[row] * f.high);
        i_low.values.push_back(psd_i[row] * f.low);
        i_high.values.push_back(psd_i[row] * f.high);
        z_low.values.push_back(zn[row] / r);
        z_high.values.push_back(zn[row] * r);
    }
    for (result_column* column : {&v_low, &v_high, &i_low, &i_high, &z_low, &z_high})
        result.columns.push_back(std::move(*column));
}

// The band quantities of the result's rows, inner bins [first, end); a band
// that holds no bin is the options' fault.
void add_band(spectrum_result& result, const segment_plan& plan, std::size_t first, std::size_t end,
              std::span<const double> coherence, const std::string& shown_name)
{
    std::optional<double> rn;
    for (const auto& [key, value] : result.statistics)
        if (key == "rn") rn = value;
    const band_spectra spectra{result.columns[0].values, result.columns[1].values, result.columns[2].values, first, end,
                               plan.window, result.nu, coherence, rn};
    if (std::optional<request_problem> problem = check_bands(result.settings, spectra))
        fail_settings(shown_name, std::move(*problem));
    result.band = band_quantities(result.settings, spectra);
}

// Coherence and the cross spectrum's phase in degrees, (-180, 180], of bins first ... last.
void add_coherence(spectrum_result& result, const welch_spectra& spectra, std::size_t first, std::size_t last)
{
    result_column coherence{"coherence", sample_coherence(spectra, first, last)};
    result_column phase{"phase", {}};
    for (std::size_t k = first; k <= last; ++k) {
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

spectrum_result with_configuration_estimate(const sample_view& samples, spectrum_result result,
                                            const std::string& shown_name, unsigned threads)
{
    analysis_request& s = result.settings;
    const auto n = static_cast<std::size_t>(s.nbpoint_section);
    if (s.all_sections) {
        // A recording too short for one section gets the too-few-points message.
        const auto fit = static_cast<std::int64_t>(samples.v.size() / std::max<std::size_t>(n, 1));
        s.nb_section = static_cast<std::int32_t>(std::clamp<std::int64_t>(fit, 1, 2147483647));
    }
    // A recording too short for the sections is told before a setting that breaks its rule.
    if (std::int64_t{s.nb_section} * s.nbpoint_section > static_cast<std::int64_t>(samples.v.size()))
        too_few_samples(shown_name, s);
    check(s, shown_name);
    // A thread transforms whole sections: more threads than sections would only hold memory.
    worker_team team(std::min(threads, static_cast<unsigned>(s.nb_section)));
    const density_pair densities = estimate_spectra(s, samples.deltat, samples.v, samples.i, team);

    const float fN = static_cast<float>(1.0 / (static_cast<double>(samples.deltat) + samples.deltat));
    const std::size_t half = n / 2;
    const double bin_width = static_cast<double>(fN) / static_cast<double>(half);
    result.columns = {{"frequency", {}}, {"psd_v", {}}, {"psd_i", {}}, {"zn", {}}};
    for (std::size_t k = 1; k <= half; ++k) {
        const double v = densities.psd_v[k];
        const double i = densities.psd_i[k];
        result.columns[0].values.push_back(bin_width * static_cast<double>(k));
        result.columns[1].values.push_back(v);
        result.columns[2].values.push_back(i);
        result.columns[3].values.push_back(std::sqrt(v / i));
    }

    const segment_plan plan{configuration_window(s.hanning, n), n, static_cast<std::size_t>(s.nb_section),
                            detrend_mode::constant};
    const bool coherent = s.confidence && s.zn_interval == zn_interval_mode::coherent;
    // The density's scale cancels in the coherence and the phase.
    const welch_spectra cross = s.coherence || coherent
                                    ? welch(samples.v, samples.i, 1.0, plan, average_mode::mean, true, team)
                                    : welch_spectra{};
    const std::vector<double> coherence = coherent ? sample_coherence(cross, 1, half) : std::vector<double>{};
    if (s.confidence) {
        result.nu = equivalent_degrees_of_freedom(plan.window, plan.step, plan.sections);
        add_intervals(
            result, 1, [&](std::size_t k) { return k == half ? bin_freedom::real : bin_freedom::inner; }, coherence);
    }
    if (s.coherence) add_coherence(result, cross, 1, half);
    if (s.statistics) result.statistics = noise_statistics(samples.v, samples.i, plan);
    if (wants_band(s)) add_band(result, plan, 0, half - 1, coherence, shown_name);
    return result;
}

spectrum_result with_welch_estimate(const sample_view& samples, spectrum_result result, const std::string& shown_name,
                                    unsigned threads)
{
    analysis_request& s = result.settings;
    check(s, shown_name);
    const auto n = static_cast<std::size_t>(s.nbpoint_section);
    const std::size_t step = n - static_cast<std::size_t>(noverlap_of(s));
    if (s.all_sections) {
        const std::size_t fit = sections_that_fit(samples.v.size(), n, step);
        s.nb_section = static_cast<std::int32_t>(std::min<std::size_t>(std::max<std::size_t>(fit, 1), 2147483647));
    }
    // Before the window is made, so that a section longer than the recording costs no memory.
    const auto sections = static_cast<std::size_t>(s.nb_section);
    if (sections > 0 && (sections - 1) * step + n > samples.v.size()) too_few_samples(shown_name, s);
    segment_plan plan{*named_window(s.window, n), step, sections, s.detrend};

    worker_team team(static_cast<unsigned>(std::min<std::size_t>(threads, welch_threads(plan))));
    const bool coherent = s.confidence && s.zn_interval == zn_interval_mode::coherent;
    const welch_spectra spectra =
        welch(samples.v, samples.i, samples.sampling_frequency, plan, s.average, s.coherence || coherent, team);
    result.columns = {{"frequency", bin_frequencies(n, samples.sampling_frequency)},
                      {"psd_v", spectra.psd_v},
                      {"psd_i", spectra.psd_i},
                      {"zn", {}}};
    for (std::size_t k = 0; k < spectra.psd_v.size(); ++k)
        result.columns[3].values.push_back(std::sqrt(spectra.psd_v[k] / spectra.psd_i[k]));

    const std::size_t last = n / 2;
    const bool even = n % 2 == 0;
    const std::vector<double> coherence = coherent ? sample_coherence(spectra, 0, last) : std::vector<double>{};
    if (s.confidence) {
        result.nu = equivalent_degrees_of_freedom(plan.window, plan.step, plan.sections);
        // One degree of freedom per section at bin 0 and, for even n, at n/2;
        // none at bin 0 once each section's mean is gone.
        add_intervals(
            result, 0,
            [&](std::size_t k) {
                if (k == 0 && plan.detrend != detrend_mode::none) return bin_freedom::none;
                return k == 0 || (even && k == last) ? bin_freedom::real : bin_freedom::inner;
            },
            coherence);
    }
    if (s.coherence) add_coherence(result, spectra, 0, last);
    if (s.statistics) result.statistics = noise_statistics(samples.v, samples.i, plan);
    if (wants_band(s)) add_band(result, plan, 1, even ? last : last + 1, coherence, shown_name);
    return result;
}

}  // namespace

spectrum_result analyse(const sample_view& samples, const std::string& data_file, const analysis_request& request,
                        const std::string& shown_name, unsigned threads)
{
    spectrum_result result{data_file, samples.sampling_frequency, request, {}, 0.0, {}, {}};
    return request.standard ? with_welch_estimate(samples, std::move(result), shown_name, threads)
                            : with_configuration_estimate(samples, std::move(result), shown_name, threads);
}
