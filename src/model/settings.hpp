// The settings table: every setting a front end takes, with its names on
// the command line, in Python and in the configuration file, its kind, the
// rules that hang on it and its line of help. The front ends build their
// option parsing, help, keyword handling and messages from these rows.
#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace veltrin {

// In the order of the command line's help.
enum class setting_id : std::uint8_t {
    config,
    points,
    sections,
    hanning,
    window,
    overlap,
    detrend,
    average,
    confidence,
    coherence,
    statistics,
    zn_interval,
    band,
    slope_band,
    stern_geary,
    area,
    electrodes,
    input_format,
    v_column,
    i_column,
    time_column,
    fs,
    delimiter,
    decimal_comma,
    skip,
    table,
    v_scale,
    i_scale,
    block,
    block_points,
    spectra_dir,
    format,
    output,
    jobs,
    threads,
    quiet,
    progress,
    help,
    version,
};
inline constexpr std::size_t setting_count = static_cast<std::size_t>(setting_id::version) + 1;

// What a setting's value is.
enum class setting_kind { flag, whole_number, real_number, name, frequency_band, column, duration, path };

// The Python functions that take a setting as a keyword.
enum python_function : std::uint8_t {
    python_none = 0,
    python_spectra = 1,
    python_statistics = 2,
    python_blocks = 4,
    python_read = 8,
};

// The part of the help a setting is listed in; each part has its heading.
enum class setting_group {
    configuration,
    counts,
    standard_estimate,
    either_estimate,
    band_quantities,
    reading_files,
    monitoring,
    running
};

// The inputs a reading setting applies to; given for another, it is refused
// rather than ignored.
enum class input_scope : std::uint8_t { every_input, delimited_text, delimited_or_raw };

struct setting_row {
    setting_id id;
    char short_name;                // '\0': none
    std::string_view long_name;     // without the dashes
    std::string_view value_name;    // "N", "F_LO:F_HI"; empty for a flag
    std::string_view keyword;       // Python's; empty when Python has none
    std::string_view config_field;  // the configuration file's; empty when it has none
    setting_kind kind;
    setting_group group;
    bool selects_standard;  // given, at any value, it selects the standard estimate
    bool reading;           // it tells how to read a data file
    input_scope scope;      // the inputs it applies to
    bool with_config;       // it may go with -c
    std::uint8_t python;    // python_function bits
    bool keyword_only;      // in Python, after the positional parameters
    std::string_view help;  // the help after the names, its lines joined by '\n'
};

std::span<const setting_row> settings_table();
const setting_row& row_of(setting_id id);

// A set of settings, such as those given.
using setting_set = std::bitset<setting_count>;
inline bool has(const setting_set& set, setting_id id)
{
    return set.test(static_cast<std::size_t>(id));
}
inline void add(setting_set& set, setting_id id)
{
    set.set(static_cast<std::size_t>(id));
}

// The rules between settings, decided once for every front end.
// Whether the settings given select the standard estimate.
bool selects_standard(const setting_set& given);

// The option as the command line's messages name it: "-n" when it has a
// short name, else "--overlap".
std::string option_name(setting_id id);
// "--overlap" always.
std::string long_option(setting_id id);

}  // namespace veltrin
