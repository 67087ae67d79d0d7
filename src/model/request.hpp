// What an analysis is asked for: the estimate, its sectioning and window,
// and what else it computes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

enum class detrend_mode { none, constant, linear };
enum class average_mode { mean, median };

// What the user asked for. Without a standard option (window, overlap,
// detrend, average) the estimate is the configuration mode's.
struct estimate_settings {
    bool standard = false;
    std::int32_t hanning = 0;          // the configuration estimate's window switch
    std::int32_t nb_section = 0;       // sections averaged
    bool all_sections = false;         // in a request: as many sections as fit
    std::int32_t nbpoint_section = 0;  // points per section
    std::string window = "hann";       // the standard estimate's
    double overlap = 0.0;              // fraction F; noverlap = floor(F n)
    detrend_mode detrend = detrend_mode::constant;
    average_mode average = average_mode::mean;
    std::optional<double> confidence;  // probability of the intervals
    bool coherence = false;
    bool statistics = false;
};

std::int32_t noverlap_of(const estimate_settings& settings);
const char* detrend_name(detrend_mode mode);
const char* average_name(average_mode mode);
// The modes by their names ("constant", "linear", "none"; "mean", "median"); nothing for another name.
std::optional<detrend_mode> detrend_named(const std::string& name);
std::optional<average_mode> average_named(const std::string& name);
