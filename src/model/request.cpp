// The request's rules, its derived values and the names of its modes.
#include "model/request.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace veltrin {

bool wants_band(const analysis_request& r)
{
    return r.band || r.slope_band || r.stern_geary;
}

const char* shot_noise_cell_name(int electrodes)
{
    return electrodes == 1 ? "one electrode" : "two identical electrodes";
}

namespace {

bool valid_band(const std::optional<frequency_band>& band)
{
    return !band || (std::isfinite(band->high) && band->low >= 0.0 && band->low <= band->high);
}

bool shot_noise_setting(const std::optional<double>& x)
{
    return !x || (*x >= least_shot_noise_setting && *x <= most_shot_noise_setting);
}

}  // namespace

std::optional<request_problem> check_setting(const analysis_request& r, setting_id setting)
{
    const auto broken = [setting](request_rule rule, setting_value value) {
        return std::optional<request_problem>({setting, rule, std::move(value)});
    };
    switch (setting) {
    case setting_id::points:
        if (r.nbpoint_section < least_points) return broken(request_rule::below_least, r.nbpoint_section);
        break;
    case setting_id::sections:
        if (!r.all_sections && r.nb_section < least_sections) return broken(request_rule::below_least, r.nb_section);
        break;
    case setting_id::window:
        if (!valid_window(r.window)) return broken(request_rule::outside_range, window_text(r.window));
        break;
    case setting_id::overlap:
        if (!(r.overlap >= 0.0 && r.overlap < 1.0)) return broken(request_rule::outside_range, r.overlap);
        break;
    case setting_id::confidence:
        if (r.confidence && !(*r.confidence > 0.0 && *r.confidence < 1.0))
            return broken(request_rule::outside_range, *r.confidence);
        break;
    case setting_id::band:
        if (!valid_band(r.band)) return broken(request_rule::outside_range, band_text(*r.band));
        break;
    case setting_id::slope_band:
        if (!valid_band(r.slope_band)) return broken(request_rule::outside_range, band_text(*r.slope_band));
        break;
    case setting_id::stern_geary:
        if (!shot_noise_setting(r.stern_geary)) return broken(request_rule::outside_range, *r.stern_geary);
        break;
    case setting_id::area:
        if (!shot_noise_setting(r.area)) return broken(request_rule::outside_range, *r.area);
        break;
    case setting_id::electrodes:
        if (r.electrodes != 1 && r.electrodes != 2)
            return broken(request_rule::outside_range, std::int64_t{r.electrodes});
        break;
    default:
        break;  // switches, whose combinations alone have rules, and the settings of other stages
    }
    return std::nullopt;
}

std::optional<request_problem> check_request(const analysis_request& r)
{
    if (r.standard && r.hanning == 1)
        return request_problem{setting_id::hanning, request_rule::hanning_standard, r.hanning};
    if (!r.standard) {
        // From 2 on: a count below 2 is no power of 2 either.
        std::int64_t p = 2;  // 64 bits: doubling up to 2^31 cannot wrap
        while (p < r.nbpoint_section) p += p;
        if (p != r.nbpoint_section)
            return request_problem{setting_id::points, request_rule::not_a_power_of_two, r.nbpoint_section};
    }
    for (const setting_id setting :
         {setting_id::points, setting_id::sections, setting_id::window, setting_id::overlap, setting_id::confidence,
          setting_id::band, setting_id::slope_band, setting_id::stern_geary, setting_id::area, setting_id::electrodes})
        if (std::optional<request_problem> problem = check_setting(r, setting)) return problem;
    if (r.average == average_mode::median && r.confidence)
        return request_problem{setting_id::confidence, request_rule::needs_mean_average, *r.confidence};
    if (r.average == average_mode::median && r.coherence)
        return request_problem{setting_id::coherence, request_rule::needs_mean_average, std::int64_t{1}};
    if (r.zn_interval == zn_interval_mode::coherent && !r.confidence)
        return request_problem{setting_id::zn_interval, request_rule::needs_confidence,
                               std::string(zn_interval_name(r.zn_interval))};
    if (r.area && !r.stern_geary) return request_problem{setting_id::area, request_rule::needs_stern_geary, *r.area};
    return std::nullopt;
}

std::int32_t noverlap_of(const analysis_request& request)
{
    return static_cast<std::int32_t>(std::floor(request.overlap * request.nbpoint_section));
}

section_layout layout_of(const analysis_request& request)
{
    const auto n = static_cast<std::uint64_t>(request.nbpoint_section);
    return {n, request.standard ? n - static_cast<std::uint64_t>(noverlap_of(request)) : n};
}

const char* detrend_name(detrend_mode mode)
{
    constexpr const char* names[] = {"none", "constant", "linear"};  // in the order of detrend_mode
    return names[static_cast<std::size_t>(mode)];
}

const char* average_name(average_mode mode)
{
    return mode == average_mode::median ? "median" : "mean";
}

std::optional<detrend_mode> detrend_named(const std::string& name)
{
    for (const detrend_mode mode : {detrend_mode::constant, detrend_mode::linear, detrend_mode::none})
        if (name == detrend_name(mode)) return mode;
    return std::nullopt;
}

std::optional<average_mode> average_named(const std::string& name)
{
    for (const average_mode mode : {average_mode::mean, average_mode::median})
        if (name == average_name(mode)) return mode;
    return std::nullopt;
}

const char* zn_interval_name(zn_interval_mode mode)
{
    return mode == zn_interval_mode::coherent ? "coherent" : "independent";
}

std::optional<zn_interval_mode> zn_interval_named(const std::string& name)
{
    for (const zn_interval_mode mode : {zn_interval_mode::independent, zn_interval_mode::coherent})
        if (name == zn_interval_name(mode)) return mode;
    return std::nullopt;
}

std::string band_text(const frequency_band& band)
{
    char text[64];
    char* end = std::to_chars(text, text + sizeof text / 2, band.low).ptr;
    *end++ = ':';
    end = std::to_chars(end, text + sizeof text, band.high).ptr;
    return std::string(text, end);
}

}  // namespace veltrin
