// What an analysis is asked for, whichever front end asks, and the rules
// its settings obey.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "model/settings.hpp"
#include "model/windows.hpp"

namespace veltrin {

enum class detrend_mode { none, constant, linear };
enum class average_mode { mean, median };
enum class zn_interval_mode { independent, coherent };

// Frequencies low <= f <= high, in Hz.
struct frequency_band {
    double low = 0.0;
    double high = 0.0;
};

// The request of the configuration file, the options and the Python
// arguments alike. Without a standard option (window, overlap, detrend,
// average) the estimate is the configuration mode's.
struct analysis_request {
    bool standard = false;
    std::int32_t hanning = 0;          // the configuration estimate's window switch: 1 windows
    std::int64_t nb_section = 0;       // sections averaged (at most most_count when asked)
    bool all_sections = false;         // as many sections as fit, however many; nb_section is then set by the analysis
    std::int32_t nbpoint_section = 0;  // points per section
    window_choice window{};            // the standard estimate's (hann)
    double overlap = 0.0;              // fraction F; noverlap = floor(F n)
    detrend_mode detrend = detrend_mode::constant;
    average_mode average = average_mode::mean;
    std::optional<double> confidence;  // probability of the intervals
    bool coherence = false;
    bool statistics = false;
    // Zn's interval: F(nu, nu) for v and i independent, or Goodman's at the bins' coherence.
    zn_interval_mode zn_interval = zn_interval_mode::independent;
    std::optional<frequency_band> band;        // the low-frequency band; default 2 f1 ... 10 f1
    std::optional<frequency_band> slope_band;  // the slopes' band; default 10 f1 ... fs/4
    std::optional<double> stern_geary;         // B in volts: the shot-noise parameters
    std::optional<double> area;                // the electrode's area in cm^2 for fn; default 1
    // (Both from least_shot_noise_setting to most_shot_noise_setting.)
    // The noise cell of q and fn: 2, two identical electrodes coupled through a
    // zero-resistance ammeter (both electrodes' noise in v and i); 1, one noisy
    // electrode against a quiet counter electrode (q half, fn twice the two-electrode
    // values). 1 or 2.
    int electrodes = 2;
};

// Whether the request asks for the band quantities.
bool wants_band(const analysis_request& request);

// The settings line of the shot-noise cell: "two identical electrodes" or "one electrode".
const char* shot_noise_cell_name(int electrodes);

// The counts' bounds; the largest is that of the 32-bit settings.
inline constexpr std::int32_t least_points = 2;
inline constexpr std::int32_t least_sections = 1;
inline constexpr std::int32_t most_count = 2147483647;

// The range of B (volts) and A (cm^2): within it q = sqrt(psd_v psd_i) / B
// never overflows, and fn = B^2 / (psd_v A) and i_corr = B / Zn do only
// when the band's v density is below about 6e-198, 0 included. Far outside
// it they overflow whatever the recording (B^2 alone, for one).
inline constexpr double least_shot_noise_setting = 1e-37;
inline constexpr double most_shot_noise_setting = 1e37;

// A rule of the request that the settings break: which setting, which
// rule, and the setting's value (a count, a fraction, or the window as written).
enum class request_rule {
    below_least,         // a count below least_points or least_sections
    not_a_power_of_two,  // the configuration estimate's points (from 2)
    unknown_window,      // a front end's window text names no window of window_rows (see window_named)
    outside_range,       // overlap not in [0, 1), confidence not in (0, 1), a band not 0 <= low <= high,
                         // a window's parameter outside its row's range (the value: window_text),
                         // stern_geary or area not from least_ to most_shot_noise_setting,
                         // electrodes not 1 or 2
    hanning_standard,    // the configuration estimate's window asked with a standard option
    needs_mean_average,  // confidence intervals or coherence with the median average
    too_few_samples,     // the sections need more samples than the recording holds
    needs_confidence,    // the coherent Zn interval without a confidence
    needs_stern_geary,   // an area without the Stern-Geary coefficient
    no_bin,              // a band that holds no inner bin of the estimate (see bin_spacing)
};
using setting_value = std::variant<std::int64_t, double, std::string>;
struct request_problem {
    setting_id setting;
    request_rule rule;
    setting_value value;       // no_bin: the band, "F_LO:F_HI"
    double bin_spacing = 0.0;  // no_bin: the bins' spacing in Hz
};

// The rule of one setting alone (a count's least value, a known window, a
// fraction's range): for a front end that checks each argument as it reads it.
std::optional<request_problem> check_setting(const analysis_request& request, setting_id setting);

// The first rule broken among those that need no recording, in this order:
// hanning with a standard option, the configuration estimate's power of 2,
// each setting's own rule (points, sections, window, overlap, confidence,
// the bands, stern_geary, area, electrodes), then the median average with intervals or
// coherence, the coherent interval without a confidence, an area without B.
std::optional<request_problem> check_request(const analysis_request& request);

std::int32_t noverlap_of(const analysis_request& request);

// Sections of n points whose starts are step apart: the one place of their arithmetic.
struct section_layout {
    std::uint64_t n = 0;
    std::uint64_t step = 0;
    // The samples that `count` sections span: (count - 1) step + n, none for no section.
    std::uint64_t span(std::uint64_t count) const { return count == 0 ? 0 : (count - 1) * step + n; }
    // The most sections that `samples` hold.
    std::uint64_t fitting(std::uint64_t samples) const { return samples < n ? 0 : (samples - n) / step + 1; }
};
// A request's sections: n - noverlap apart in the standard estimate, n in the configuration estimate.
section_layout layout_of(const analysis_request& request);
const char* detrend_name(detrend_mode mode);
const char* average_name(average_mode mode);
// The modes by their names ("constant", "linear", "none"; "mean", "median"); nothing for another name.
std::optional<detrend_mode> detrend_named(const std::string& name);
std::optional<average_mode> average_named(const std::string& name);
std::optional<zn_interval_mode> zn_interval_named(const std::string& name);
const char* zn_interval_name(zn_interval_mode mode);
// A band as the options write it: "F_LO:F_HI", each in its shortest form.
std::string band_text(const frequency_band& band);

}  // namespace veltrin
