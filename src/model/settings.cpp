// The settings table and the rules between settings.
#include "model/settings.hpp"

#include <array>

namespace veltrin {

namespace {

using enum setting_id;
using enum setting_kind;
using enum setting_group;
using enum input_scope;

constexpr std::uint8_t estimate_functions = python_spectra | python_statistics | python_blocks;
constexpr std::uint8_t analysis_functions = python_spectra | python_blocks;
constexpr std::uint8_t reading_functions = python_read | python_blocks;

// Help texts longer than their column's start carry their own gap.
constexpr std::array<setting_row, setting_count> rows = {{
    {config, 'c', "config", "FILE", "", "", path, configuration, false, false, every_input, true, python_none, false,
     "run the configuration file FILE (relative names in it are\n"
     "taken relative to its directory)"},
    {points, 'n', "points", "N", "points", "nbpoint_section", whole_number, counts, false, false, every_input, false,
     estimate_functions, false,
     "points per section (required): a power of two from 2, or\n"
     "any number from 2 with the standard estimate"},
    {sections, 's', "sections", "K", "sections", "nb_section", whole_number, counts, false, false, every_input, false,
     estimate_functions, false, "sections averaged (default: as many as the recording holds)"},
    {hanning, '\0', "hanning", "", "hanning", "hanning", flag, counts, false, false, every_input, false,
     estimate_functions, false, "Hann window with its 8/3 correction"},
    {window, 'w', "window", "NAME", "window", "", name, standard_estimate, true, false, every_input, false,
     estimate_functions, false, "made from the table of windows"},
    {overlap, '\0', "overlap", "F", "overlap", "", real_number, standard_estimate, true, false, every_input, false,
     estimate_functions, false, "fraction of a section shared with the next, 0 <= F < 1 (default 0)"},
    {detrend, '\0', "detrend", "D", "detrend", "", name, standard_estimate, true, false, every_input, false,
     estimate_functions, false, "constant (default), linear or none, per section"},
    {average, '\0', "average", "A", "average", "", name, standard_estimate, true, false, every_input, false,
     estimate_functions, false, "mean (default) or median"},
    {confidence, '\0', "confidence", "P", "confidence", "", real_number, either_estimate, false, false, every_input,
     false, analysis_functions, false, "confidence intervals at probability P (0 < P < 1)"},
    {coherence, '\0', "coherence", "", "coherence", "", flag, either_estimate, false, false, every_input, false,
     analysis_functions, false, "coherence of v and i and the phase of their cross spectrum"},
    {statistics, '\0', "stats", "", "statistics", "", flag, either_estimate, false, false, every_input, false,
     analysis_functions, true, "time-domain noise statistics and the noise resistance"},
    {zn_interval, '\0', "zn-interval", "M", "zn_interval", "", name, either_estimate, false, false, every_input, false,
     analysis_functions, false,
     "independent (default: Zn's interval for v and i unrelated)\n"
     "or coherent (at each bin's coherence), with --confidence"},
    {band, '\0', "band", "F_LO:F_HI", "band", "", frequency_band, band_quantities, false, false, every_input, false,
     analysis_functions, false,
     "  the low-frequency band in Hz: mean densities and Zn\n"
     "(default 2 f1 to 10 f1, f1 the first bin above 0)"},
    {slope_band, '\0', "slope-band", "F_LO:F_HI", "slope_band", "", frequency_band, band_quantities, false, false,
     every_input, false, analysis_functions, false,
     "  the band of the roll-off slopes in dB per\n"
     "decade (default 10 f1 to fs/4)"},
    {stern_geary, '\0', "stern-geary", "B", "stern_geary", "", real_number, band_quantities, false, false, every_input,
     false, analysis_functions, false,
     "the Stern-Geary coefficient in volts: the shot-noise\n"
     "charge q, frequency fn and the corrosion current"},
    {area, '\0', "area", "A", "area", "", real_number, band_quantities, false, false, every_input, false,
     analysis_functions, false, "the electrode area in cm^2 for fn (default 1)"},
    {electrodes, '\0', "electrodes", "E", "electrodes", "", whole_number, band_quantities, false, false, every_input,
     false, analysis_functions, false,
     "noisy electrodes of the cell for q and fn: 2 (default:\n"
     "two identical) or 1 (one, the counter electrode quiet)"},
    {input_format, '\0', "input-format", "F", "input_format", "", name, reading_files, false, true, every_input, false,
     reading_functions, false,
     "  auto (default: tagged or delimited, as the file shows),\n"
     "tagged, delimited, f32le, f64le, f32be or f64be (raw\n"
     "binary: interleaved v, i pairs)"},
    {v_column, '\0', "v-column", "C", "v_column", "", column, reading_files, false, true, delimited_text, false,
     reading_functions, false,
     "the v column of delimited text: its header name or its\n"
     "number from 1 (default: a usual name such as v, E, Ewe/V)"},
    {i_column, '\0', "i-column", "C", "i_column", "", column, reading_files, false, true, delimited_text, false,
     reading_functions, false, "the i column (default: a usual name such as i, Im, <I>/mA)"},
    {time_column, '\0', "time-column", "C", "time_column", "", column, reading_files, false, true, delimited_text,
     false, reading_functions, false,
     "the time column that gives the sampling frequency\n"
     "(default: a usual name such as t, time/s, Time (s))"},
    {fs, '\0', "fs", "HZ", "fs", "", real_number, reading_files, false, true, every_input, false, python_read, false,
     "the sampling frequency, over the file's own; required for\n"
     "raw binary and for delimited text without a time column"},
    {delimiter, '\0', "delimiter", "D", "delimiter", "", name, reading_files, false, true, delimited_text, false,
     reading_functions, false, ", ; tab or space (a run of blanks; default: found)"},
    {decimal_comma, '\0', "decimal-comma", "", "decimal_comma", "", flag, reading_files, false, true, delimited_text,
     false, reading_functions, false, "numbers use a decimal comma (default: found)"},
    {skip, '\0', "skip", "N", "skip", "", whole_number, reading_files, false, true, delimited_text, false,
     reading_functions, false, "lines before the header row (default: found)"},
    {table, '\0', "table", "N", "table", "", whole_number, reading_files, false, true, delimited_text, false,
     reading_functions, false,
     "of a file with several tables, the N-th from 1, or all\n"
     "(joined: the same columns, the time going on)"},
    {v_scale, '\0', "v-scale", "X", "v_scale", "", real_number, reading_files, false, true, delimited_or_raw, false,
     reading_functions, false, "multiply v by X (default: from the column's unit, else 1)"},
    {i_scale, '\0', "i-scale", "X", "i_scale", "", real_number, reading_files, false, true, delimited_or_raw, false,
     reading_functions, false, "multiply i by X (default: from the column's unit, else 1)"},
    {block, 'b', "block", "DURATION", "block", "", duration, monitoring, false, false, every_input, false,
     python_blocks, false, "  blocks of DURATION seconds, or with a unit: 20min, 1h"},
    {block_points, '\0', "block-points", "M", "block_points", "", whole_number, monitoring, false, false, every_input,
     false, python_blocks, false, "  blocks of M samples"},
    {spectra_dir, '\0', "spectra-dir", "DIR", "", "", path, monitoring, false, false, every_input, false, python_none,
     false, " each block's full result also to DIR/NAME.block0001.psd.csv"},
    {format, 'f', "format", "F", "", "", name, running, false, false, every_input, false, python_none, false,
     "table (default), csv, json or jsonl (JSON Lines)"},
    {output, 'o', "output", "PATH", "", "", path, running, false, false, every_input, false, python_none, false,
     "result file, - for standard output (the default); with\n"
     "several data files, a directory for NAME.psd.txt (.csv, .json)"},
    {jobs, 'j', "jobs", "N", "", "", whole_number, running, false, false, every_input, false, python_none, false,
     "data files analysed at once (default: the number of cores)"},
    {threads, '\0', "threads", "N", "", "", whole_number, running, false, false, every_input, true, python_none, false,
     "threads in all that parse recordings (default: the number\n"
     "of cores), shared between the files analysed at once"},
    {quiet, 'q', "quiet", "", "", "", flag, running, false, false, every_input, false, python_none, false,
     "no progress on standard error (shown when it is a terminal)"},
    {progress, '\0', "progress", "", "", "", flag, running, false, false, every_input, false, python_none, false,
     "progress even when standard error is no terminal: a line\n"
     "a file done"},
    {help, 'h', "help", "", "", "", flag, running, false, false, every_input, true, python_none, false, "this help"},
    {version, 'V', "version", "", "", "", flag, running, false, false, every_input, true, python_none, false,
     "the version"},
}};

constexpr bool rows_in_order()
{
    for (std::size_t k = 0; k < rows.size(); ++k)
        if (static_cast<std::size_t>(rows[k].id) != k) return false;
    return true;
}
static_assert(rows_in_order(), "the settings table holds each setting at its identifier's place");

}  // namespace

std::span<const setting_row> settings_table()
{
    return rows;
}

const setting_row& row_of(setting_id id)
{
    return rows[static_cast<std::size_t>(id)];
}

bool selects_standard(const setting_set& given)
{
    for (const setting_row& row : rows)
        if (row.selects_standard && has(given, row.id)) return true;
    return false;
}

std::string option_name(setting_id id)
{
    const setting_row& row = row_of(id);
    if (row.short_name != '\0') return std::string{'-', row.short_name};
    return long_option(id);
}

std::string long_option(setting_id id)
{
    return "--" + std::string(row_of(id).long_name);
}

}  // namespace veltrin
