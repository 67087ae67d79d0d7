// The request's derived values and the names of its modes.
#include "model/request.hpp"

#include <cmath>

std::int32_t noverlap_of(const estimate_settings& settings)
{
    return static_cast<std::int32_t>(std::floor(settings.overlap * settings.nbpoint_section));
}

const char* detrend_name(detrend_mode mode)
{
    switch (mode) {
    case detrend_mode::none: return "none";
    case detrend_mode::linear: return "linear";
    default: return "constant";
    }
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
