// The result of one analysis and the three formats it is written in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "estimates/welch_estimate.hpp"

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

struct result_column {
    std::string name;  // as in the CSV header
    std::vector<double> values;
};

struct spectrum_result {
    std::string data_file;  // as the user named it; the table's first line echoes it
    double sampling_frequency = 0.0;
    estimate_settings settings;          // nb_section as used
    std::vector<result_column> columns;  // frequency, psd_v, psd_i, zn, then the optional ones
    double nu = 0.0;                     // degrees of freedom of the inner bins, with a confidence
    std::vector<std::pair<std::string, double>> statistics;
};

// The settings as the CSV "#" lines and the JSON "settings" object give them.
using setting_value = std::variant<std::int64_t, double, std::string>;
std::vector<std::pair<std::string, setting_value>> settings_of(const spectrum_result& result);

enum class result_format { table, csv, json };

// Writes the whole result to the stream; errors show in the stream's state.
// The table names the data file with its control characters as \xHH, or,
// for the configuration mode, byte for byte as configured.
void write_result(std::FILE* stream, const spectrum_result& result, result_format format,
                  bool name_as_configured = false);

// One "%14.6e" field, except that not-a-number is always "nan" (never "-nan").
void append_field(std::string& text, double value);

// The shortest text that reads back to the same double; "nan", "inf", "-inf".
void append_shortest(std::string& text, double value);
