// Parsing the options, naming the results, running the files in parallel,
// and reporting each failure as one line on standard error.
#include "front_ends/command_line.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <getopt.h>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/block_analysis.hpp"
#include "front_ends/block_run.hpp"
#include "model/error.hpp"
#include "output/result_formats.hpp"
#include "analysis/configuration_run.hpp"
#include "front_ends/progress.hpp"
#include "platform/worker_team.hpp"
#include "output/result_file.hpp"

namespace veltrin {

#ifndef VELTRIN_VERSION
#define VELTRIN_VERSION "unknown"
#endif

namespace {

const char* const usage_line =
    "usage: veltrin -n N [-s K] [--hanning | -w WINDOW --overlap F --detrend D --average A]\n"
    "               [--confidence P [--zn-interval coherent]] [--coherence] [--stats]\n"
    "               [--band F_LO:F_HI] [--slope-band F_LO:F_HI] [--stern-geary B [--area A]]\n"
    "               [-f table|csv|json|jsonl] [-o PATH]\n"
    "               [-b DURATION | --block-points M] [--spectra-dir DIR]\n"
    "               [--input-format F] [--v-column C] [--i-column C] [--fs HZ] [...]\n"
    "               [-j N] [--threads N] [-q | --progress] DATA_FILE...\n"
    "       veltrin -c CONFIG_FILE [--threads N]\n";

const char* const help_text =
    "veltrin estimates the power spectral densities of a voltage v and a current i\n"
    "and their ratio Zn = sqrt(PSD_v / PSD_i) from a recording: a tagged sample\n"
    "file, an instrument's delimited text, or raw binary.\n"
    "\n"
    "Without arguments it reads config_veltrin.txt in the current directory.\n"
    "\n"
    "Options:\n"
    "  -c, --config FILE   run the configuration file FILE (relative names in it are\n"
    "                      taken relative to its directory)\n"
    "  -n, --points N      points per section (required): a power of two from 2, or\n"
    "                      any number from 2 with the standard estimate\n"
    "  -s, --sections K    sections averaged (default: as many as the recording holds)\n"
    "      --hanning       Hann window with its 8/3 correction\n"
    "\n"
    "Any of these selects the standard estimate (scipy.signal.welch's definition):\n"
    "{windows}"
    "      --overlap F     fraction of a section shared with the next, 0 <= F < 1 (default 0)\n"
    "      --detrend D     constant (default), linear or none, per section\n"
    "      --average A     mean (default) or median\n"
    "\n"
    "With either estimate:\n"
    "      --confidence P  confidence intervals at probability P (0 < P < 1)\n"
    "      --coherence     coherence of v and i and the phase of their cross spectrum\n"
    "      --stats         time-domain noise statistics and the noise resistance\n"
    "      --zn-interval M independent (default: Zn's interval for v and i unrelated)\n"
    "                      or coherent (at each bin's coherence), with --confidence\n"
    "\n"
    "Band quantities (any of these adds them):\n"
    "      --band F_LO:F_HI  the low-frequency band in Hz: mean densities and Zn\n"
    "                      (default f1 to 10 f1, f1 the first bin above 0)\n"
    "      --slope-band F_LO:F_HI  the band of the roll-off slopes in dB per\n"
    "                      decade (default 10 f1 to fs/4)\n"
    "      --stern-geary B the Stern-Geary coefficient in volts: the shot-noise\n"
    "                      charge q, frequency fn and the corrosion current\n"
    "      --area A        the electrode area in cm^2 for fn (default 1)\n"
    "\n"
    "Reading the data files:\n"
    "      --input-format F  auto (default: tagged or delimited, as the file shows),\n"
    "                      tagged, delimited, f32le, f64le, f32be or f64be (raw\n"
    "                      binary: interleaved v, i pairs)\n"
    "      --v-column C    the v column of delimited text: its header name or its\n"
    "                      number from 1 (default: a usual name such as v, E, Ewe/V)\n"
    "      --i-column C    the i column (default: a usual name such as i, Im, <I>/mA)\n"
    "      --time-column C the time column that gives the sampling frequency\n"
    "                      (default: a usual name such as t, time/s, Time (s))\n"
    "      --fs HZ         the sampling frequency, over the file's own; required for\n"
    "                      raw binary and for delimited text without a time column\n"
    "      --delimiter D   , ; tab or space (a run of blanks; default: found)\n"
    "      --decimal-comma numbers use a decimal comma (default: found)\n"
    "      --skip N        lines before the header row (default: found)\n"
    "      --table N       of a file with several tables, the N-th from 1, or all\n"
    "                      (joined: the same columns, the time going on)\n"
    "      --v-scale X     multiply v by X (default: from the column's unit, else 1)\n"
    "      --i-scale X     multiply i by X (default: from the column's unit, else 1)\n"
    "\n"
    "Monitoring: consecutive blocks, one row of results each, written as each is\n"
    "complete (live from a pipe or FIFO); a last, unfinished block is not analysed:\n"
    "  -b, --block DURATION  blocks of DURATION seconds, or with a unit: 20min, 1h\n"
    "      --block-points M  blocks of M samples\n"
    "      --spectra-dir DIR each block's full result also to DIR/NAME.block0001.psd.csv\n"
    "\n"
    "  -f, --format F      table (default), csv, json or jsonl (JSON Lines)\n"
    "  -o, --output PATH   result file, - for standard output (the default); with\n"
    "                      several data files, a directory for NAME.psd.txt (.csv, .json)\n"
    "  -j, --jobs N        data files analysed at once (default: the number of cores)\n"
    "      --threads N     threads in all that parse recordings (default: the number\n"
    "                      of cores), shared between the files analysed at once\n"
    "  -q, --quiet         no progress on standard error (shown when it is a terminal)\n"
    "      --progress      progress even when standard error is no terminal: a line\n"
    "                      a file done\n"
    "  -h, --help          this help\n"
    "  -V, --version       the version\n"
    "\n"
    "A data file - is standard input. Exit status: 0 success, 1 a data or result\n"
    "file failed, 2 a usage error (also options that do not fit a data file), 130\n"
    "(143) a run in blocks ended by SIGINT (SIGTERM): its table ends after the\n"
    "blocks done.\n";

struct usage_error {
    std::string message;
};

// The help with the windows of the table in place of "{windows}".
std::string help_with_windows()
{
    const std::string indent(22, ' ');
    std::string text = "  -w, --window NAME   ";
    std::size_t column = text.size();
    const std::size_t count = std::size(window_rows);
    for (std::size_t k = 0; k < count; ++k) {
        const window_row& row = window_rows[k];
        std::string item(row.name);
        if (k == 0) item += " (default)";
        if (!row.parameter.empty()) {
            const std::string parameter(row.parameter);
            item += ':';
            item += parameter;
            item += " (" + parameter + " " + parameter_range(row) + ")";
        }
        item += k + 2 < count ? "," : k + 2 == count ? " or" : ",";
        if (column + 1 + item.size() > 80) {
            text += '\n';
            text += indent;
            column = indent.size();
        } else if (k > 0) {
            text += ' ';
            ++column;
        }
        text += item;
        column += item.size();
    }
    text += '\n';
    text += indent;
    text += "as scipy.signal.get_window names them\n";
    std::string whole = help_text;
    whole.replace(whole.find("{windows}"), 9, text);
    return whole;
}

// More threads than this only cost memory and time to start.
constexpr std::int32_t most_threads = 1024;

struct options {
    bool help = false;
    bool version = false;
    std::optional<std::string> config;
    std::optional<std::int32_t> points;
    std::optional<std::int32_t> sections;
    bool hanning = false;
    std::optional<window_choice> window;
    std::optional<double> overlap;
    std::optional<detrend_mode> detrend;
    std::optional<average_mode> average;
    std::optional<double> confidence;
    std::optional<zn_interval_mode> zn_interval;
    std::optional<frequency_band> band;
    std::optional<frequency_band> slope_band;
    std::optional<double> stern_geary;
    std::optional<double> area;
    bool coherence = false;
    bool statistics = false;
    std::optional<std::string> output;
    result_format format = result_format::table;
    unsigned jobs = 0;     // 0: the number of cores
    unsigned threads = 0;  // 0: the number of cores
    bool quiet = false;
    bool progress = false;
    input_request input{.format = input_format::automatic};
    bool input_given = false;  // an option of the reading
    block_request blocks;
    std::optional<std::string> spectra_dir;
    std::vector<std::string> data_files;
};

// "-n needs a whole number from 2 to 2147483647", and the like.
std::string whole_number_wanted(const std::string& option, std::int32_t least, std::int32_t most = most_count)
{
    return option + " needs a whole number from " + std::to_string(least) + " to " + std::to_string(most);
}

// A whole decimal integer from `least` to `most`.
std::int32_t integer_value(const std::string& option, const char* text, std::int32_t least,
                           std::int32_t most = most_count)
{
    const std::string value = text;
    long long number = 0;
    std::size_t k = value.starts_with('+') ? 1 : 0;
    const bool has_digits = k < value.size();
    for (; k < value.size() && value[k] >= '0' && value[k] <= '9'; ++k) {
        number = number * 10 + (value[k] - '0');
        if (number > most) break;
    }
    if (!has_digits || k != value.size() || number < least || number > most)
        throw usage_error{whole_number_wanted(option, least, most) + ", not '" + value + "'"};
    return static_cast<std::int32_t>(number);
}

// The option getopt_long stopped at, as the user wrote it.
std::string option_name(char** argv, int short_option)
{
    const std::string given = argv[optind - 1];
    if (given.starts_with("--")) return given.substr(0, given.find('='));
    return std::string("-") + static_cast<char>(short_option);
}

// A whole decimal number, as a double.
double real_value(const std::string& option, const char* text)
{
    const std::string value = text;
    double number = 0.0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size())
        throw usage_error{option + " needs a number, not '" + value + "'"};
    return number;
}

const option long_options[] = {{"config", required_argument, nullptr, 'c'},
                               {"points", required_argument, nullptr, 'n'},
                               {"sections", required_argument, nullptr, 's'},
                               {"hanning", no_argument, nullptr, 'H'},
                               {"output", required_argument, nullptr, 'o'},
                               {"format", required_argument, nullptr, 'f'},
                               {"jobs", required_argument, nullptr, 'j'},
                               {"help", no_argument, nullptr, 'h'},
                               {"version", no_argument, nullptr, 'V'},
                               {"window", required_argument, nullptr, 'w'},
                               {"overlap", required_argument, nullptr, 'O'},
                               {"detrend", required_argument, nullptr, 'D'},
                               {"average", required_argument, nullptr, 'A'},
                               {"confidence", required_argument, nullptr, 'P'},
                               {"coherence", no_argument, nullptr, 'C'},
                               {"stats", no_argument, nullptr, 'S'},
                               {"threads", required_argument, nullptr, 'T'},
                               {"input-format", required_argument, nullptr, 'F'},
                               {"v-column", required_argument, nullptr, 'v'},
                               {"i-column", required_argument, nullptr, 'i'},
                               {"time-column", required_argument, nullptr, 't'},
                               {"fs", required_argument, nullptr, 'r'},
                               {"delimiter", required_argument, nullptr, 'd'},
                               {"decimal-comma", no_argument, nullptr, ','},
                               {"skip", required_argument, nullptr, 'k'},
                               {"table", required_argument, nullptr, 'L'},
                               {"v-scale", required_argument, nullptr, 'x'},
                               {"i-scale", required_argument, nullptr, 'y'},
                               {"quiet", no_argument, nullptr, 'q'},
                               {"progress", no_argument, nullptr, 'p'},
                               {"block", required_argument, nullptr, 'b'},
                               {"block-points", required_argument, nullptr, 'B'},
                               {"spectra-dir", required_argument, nullptr, 'R'},
                               {"zn-interval", required_argument, nullptr, 'Z'},
                               {"band", required_argument, nullptr, 'g'},
                               {"slope-band", required_argument, nullptr, 'l'},
                               {"stern-geary", required_argument, nullptr, 'G'},
                               {"area", required_argument, nullptr, 'a'},
                               {nullptr, 0, nullptr, 0}};

// The long name of an option, as getopt_long knows it by its character.
std::string long_name(int option_char)
{
    for (const option& o : long_options)
        if (o.name != nullptr && o.val == option_char) return std::string("--") + o.name;
    return "";
}

// A column: a header name, or a number from 1.
std::string column_value(const std::string& option, const char* text)
{
    const std::string value = text;
    if (!valid_column(value))
        throw usage_error{option + " needs a column name or a number from 1 to " + std::to_string(most_column_number) +
                          ", not '" + value + "'"};
    return value;
}

// A scale: a finite number other than 0.
double scale_value(const std::string& option, const char* text)
{
    const double scale = real_value(option, text);
    if (!std::isfinite(scale) || scale == 0.0)
        throw usage_error{option + " needs a finite number other than 0, not '" + std::string(text) + "'"};
    return scale;
}

// F_LO:F_HI, two frequencies with 0 <= F_LO <= F_HI.
frequency_band band_value(const std::string& option, const char* text)
{
    const std::string value = text;
    const std::size_t colon = value.find(':');
    const auto number = [](const std::string& part, double& x) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), x);
        return !part.empty() && error == std::errc() && end == part.data() + part.size();
    };
    frequency_band band;
    if (colon == std::string::npos || !number(value.substr(0, colon), band.low) ||
        !number(value.substr(colon + 1), band.high) || !std::isfinite(band.high) || !(band.low >= 0.0) ||
        !(band.low <= band.high))
        throw usage_error{option + " needs F_LO:F_HI, frequencies in Hz with 0 <= F_LO <= F_HI, not '" + value + "'"};
    return band;
}

// B or A: a number of the unit named, in the range where q and fn cannot overflow.
double shot_noise_value(const std::string& option, const char* text, const std::string& unit)
{
    const double x = real_value(option, text);
    if (!(x >= least_shot_noise_setting && x <= most_shot_noise_setting))
        throw usage_error{option + " needs a number of " + unit + " from 1e-37 to 1e37, not '" + std::string(text) +
                          "'"};
    return x;
}

std::string format_list()
{
    std::string list;
    const auto names = input_format_names();
    for (std::size_t k = 0; k < names.size(); ++k)
        list += std::string(k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + std::string(names[k]);
    return list;
}

void read_input_option(input_request& in, int option_char, const char* text)
{
    const std::string value = text != nullptr ? text : "";  // --decimal-comma takes no value
    const std::string option = long_name(option_char);
    switch (option_char) {
    case 'F': {
        const std::optional<input_format> format = format_named(value);
        if (!format) throw usage_error{option + " needs " + format_list() + ", not '" + value + "'"};
        in.format = *format;
        break;
    }
    case 'v':
        in.v_column = column_value(option, text);
        break;
    case 'i':
        in.i_column = column_value(option, text);
        break;
    case 't':
        in.time_column = column_value(option, text);
        break;
    case 'r': {
        const double fs = real_value(option, text);
        if (!(fs >= 1e-37 && fs <= 1e37))
            throw usage_error{option + " needs a sampling frequency from 1e-37 to 1e37 Hz, not '" + value + "'"};
        in.sampling_frequency = fs;
        break;
    }
    case 'd':
        if (value == "," || value == ";")
            in.delimiter = value[0];
        else if (value == "tab" || value == "\t")
            in.delimiter = '\t';
        else if (value == "space")
            in.delimiter = ' ';
        else
            throw usage_error{option + " needs ',', ';', tab or space, not '" + value + "'"};
        break;
    case ',':
        in.decimal_comma = true;
        break;
    case 'k':
        in.skip = integer_value(option, text, 0);
        break;
    case 'L':
        try {
            in.table = value == "all" ? 0 : integer_value(option, text, 1);
        } catch (const usage_error&) {
            throw usage_error{option + " needs a table's number from 1, or all, not '" + value + "'"};
        }
        break;
    case 'x':
        in.v_scale = scale_value(option, text);
        break;
    case 'y':
        in.i_scale = scale_value(option, text);
        break;
    default:
        break;
    }
}

// A duration in seconds: a number, or one with the unit s, min or h.
double duration_value(const char* text)
{
    if (const std::optional<double> seconds = duration_of(text)) return *seconds;
    throw usage_error{"-b needs a duration above 0 such as 60, 90s, 20min or 1h, not '" + std::string(text) + "'"};
}

options parse_options(int argc, char** argv)
{
    options parsed;
    opterr = 0;  // the messages are ours
    optind = 1;
    int option_char;
    while ((option_char = getopt_long(argc, argv, ":c:n:s:o:f:j:w:b:qhV", long_options, nullptr)) != -1) {
        switch (option_char) {
        case 'c':
            parsed.config = optarg;
            break;
        case 'n':
            parsed.points = integer_value("-n", optarg, least_points);
            break;
        case 's':
            parsed.sections = integer_value("-s", optarg, least_sections);
            break;
        case 'H':
            parsed.hanning = true;
            break;
        case 'o':
            parsed.output = optarg;
            break;
        case 'f': {
            const std::string name = optarg;
            if (name == "table")
                parsed.format = result_format::table;
            else if (name == "csv")
                parsed.format = result_format::csv;
            else if (name == "json")
                parsed.format = result_format::json;
            else if (name == "jsonl")
                parsed.format = result_format::jsonl;
            else
                throw usage_error{"-f needs table, csv, json or jsonl, not '" + name + "'"};
            break;
        }
        case 'w':
            parsed.window = window_named(optarg);
            if (!parsed.window) throw usage_error{"the window must be " + window_list()};
            break;
        case 'O':
            parsed.overlap = real_value("--overlap", optarg);
            break;
        case 'D':
            parsed.detrend = detrend_named(optarg);
            if (!parsed.detrend)
                throw usage_error{"--detrend needs constant, linear or none, not '" + std::string(optarg) + "'"};
            break;
        case 'A':
            parsed.average = average_named(optarg);
            if (!parsed.average) throw usage_error{"--average needs mean or median, not '" + std::string(optarg) + "'"};
            break;
        case 'P':
            parsed.confidence = real_value("--confidence", optarg);
            break;
        case 'Z':
            parsed.zn_interval = zn_interval_named(optarg);
            if (!parsed.zn_interval)
                throw usage_error{"--zn-interval needs independent or coherent, not '" + std::string(optarg) + "'"};
            break;
        case 'g':
            parsed.band = band_value("--band", optarg);
            break;
        case 'l':
            parsed.slope_band = band_value("--slope-band", optarg);
            break;
        case 'G':
            parsed.stern_geary = shot_noise_value("--stern-geary", optarg, "volts");
            break;
        case 'a':
            parsed.area = shot_noise_value("--area", optarg, "cm^2");
            break;
        case 'C':
            parsed.coherence = true;
            break;
        case 'S':
            parsed.statistics = true;
            break;
        case 'T':
            parsed.threads = static_cast<unsigned>(integer_value("--threads", optarg, 1, most_threads));
            break;
        case 'j':
            parsed.jobs = static_cast<unsigned>(integer_value("-j", optarg, 1, most_threads));
            break;
        case 'b':
            parsed.blocks.seconds = duration_value(optarg);
            break;
        case 'B':
            parsed.blocks.points = integer_value("--block-points", optarg, 1);
            break;
        case 'R':
            parsed.spectra_dir = optarg;
            break;
        case 'q':
            parsed.quiet = true;
            break;
        case 'p':
            parsed.progress = true;
            break;
        case 'F':
        case 'v':
        case 'i':
        case 't':
        case 'r':
        case 'd':
        case ',':
        case 'k':
        case 'L':
        case 'x':
        case 'y':
            read_input_option(parsed.input, option_char, optarg);
            parsed.input_given = true;
            break;
        // What follows -h or -V is not looked at.
        case 'h':
            parsed.help = true;
            return parsed;
        case 'V':
            parsed.version = true;
            return parsed;
        case ':':
            throw usage_error{"option " + option_name(argv, optopt) + " needs a value"};
        default:
            throw usage_error{"unknown option " + option_name(argv, optopt)};
        }
    }
    for (int k = optind; k < argc; ++k) parsed.data_files.emplace_back(argv[k]);
    return parsed;
}

bool standard_requested(const options& o)
{
    return o.window || o.overlap || o.detrend || o.average;
}

// The request the options make.
analysis_request request_of(const options& o)
{
    analysis_request s;
    s.standard = standard_requested(o);
    s.hanning = o.hanning ? 1 : 0;
    s.nbpoint_section = o.points.value_or(0);
    s.nb_section = o.sections.value_or(0);
    s.all_sections = !o.sections;
    s.window = o.window.value_or(window_choice{});
    s.overlap = o.overlap.value_or(0.0);
    s.detrend = o.detrend.value_or(detrend_mode::constant);
    s.average = o.average.value_or(average_mode::mean);
    s.confidence = o.confidence;
    s.coherence = o.coherence;
    s.statistics = o.statistics;
    s.zn_interval = o.zn_interval.value_or(zn_interval_mode::independent);
    s.band = o.band;
    s.slope_band = o.slope_band;
    s.stern_geary = o.stern_geary;
    s.area = o.area;
    return s;
}

std::string shortest(double x)
{
    std::string text;
    append_shortest(text, x);
    return text;
}

// A rule of the request, in the options' terms.
std::string option_message(const request_problem& problem)
{
    const auto count = [&] { return std::to_string(std::get<std::int64_t>(problem.value)); };
    const bool points = problem.setting == request_setting::points;
    switch (problem.rule) {
    case request_rule::below_least:
        return whole_number_wanted(points ? "-n" : "-s", points ? least_points : least_sections) + ", not '" + count() +
               "'";
    case request_rule::not_a_power_of_two:
        return "-n " + count() + ": the number of points per section is not a power of 2";
    case request_rule::unknown_window:
        return "the window must be " + window_list();
    case request_rule::outside_range:
        // The options' own parsing refuses a band, B or A out of range before any rule is checked.
        if (problem.setting == request_setting::window)
            return "the window " + window_rule(window_row_of(window_named(std::get<std::string>(problem.value))->kind));
        return problem.setting == request_setting::overlap ? "the overlap must be at least 0 and less than 1"
                                                           : "the confidence must be more than 0 and less than 1";
    case request_rule::needs_confidence:
        return "--zn-interval coherent needs --confidence";
    case request_rule::needs_stern_geary:
        return "--area needs --stern-geary: the area only scales fn";
    case request_rule::no_bin:
        return (problem.setting == request_setting::band ? "--band " : "--slope-band ") +
               std::get<std::string>(problem.value) + " holds no bin: the bins are " + shortest(problem.bin_spacing) +
               " Hz apart";
    case request_rule::hanning_standard:
        return "--hanning is the configuration mode's window: with the standard estimate use --window hann";
    case request_rule::needs_mean_average:
        return problem.setting == request_setting::confidence ? "confidence intervals need the mean average"
                                                              : "the coherence needs the mean average";
    case request_rule::too_few_samples:
        return "Fatal error: the number of data points is too low. Decrease the number of sections (-s) or the "
               "points per section (-n).";
    }
    return "the options do not fit each other";
}

void check_options(const options& o)
{
    if (o.config) {
        if (o.points || o.sections || o.hanning || o.output || o.format != result_format::table || o.jobs != 0 ||
            !o.data_files.empty() || standard_requested(o) || o.confidence || o.coherence || o.statistics ||
            o.input_given || o.quiet || o.progress || o.blocks.seconds || o.blocks.points || o.spectra_dir ||
            o.zn_interval || o.band || o.slope_band || o.stern_geary || o.area)
            throw usage_error{"-c takes no other options but --threads, and no data files"};
        return;
    }
    if (!o.points) throw usage_error{"-n (points per section) is required"};
    if (o.quiet && o.progress) throw usage_error{"-q and --progress contradict each other"};
    if (o.blocks.seconds && o.blocks.points) throw usage_error{"-b and --block-points contradict each other"};
    if (o.spectra_dir && !o.blocks.seconds && !o.blocks.points)
        throw usage_error{"--spectra-dir needs blocks: give -b or --block-points"};
    if (o.spectra_dir && !is_directory(*o.spectra_dir))
        throw usage_error{"--spectra-dir " + *o.spectra_dir + ": no such directory"};
    // A block's row holds only its times unless something is asked of each block.
    if ((o.blocks.seconds || o.blocks.points) && !o.spectra_dir && block_keys(request_of(o)).empty())
        throw usage_error{"-b and --block-points need values for each block: give --stats, --band, --slope-band, "
                          "--stern-geary or --spectra-dir"};
    if (is_raw(o.input.format) && !o.input.sampling_frequency)
        throw usage_error{"--input-format " + std::string(format_name(o.input.format)) +
                          " needs --fs: raw binary holds no sampling frequency"};
    if (o.output && o.output->empty()) throw usage_error{"-o needs a file or directory name, not ''"};
    if (o.data_files.empty()) throw usage_error{"no data file given"};
    if (const std::optional<request_problem> problem = check_request(request_of(o)))
        throw usage_error{option_message(*problem)};
    if (o.data_files.size() > 1 && std::find(o.data_files.begin(), o.data_files.end(), "-") != o.data_files.end())
        throw usage_error{"standard input (-) can only be read as the only data file"};
}

const char* extension_of(result_format format)
{
    switch (format) {
    case result_format::csv:
        return ".psd.csv";
    case result_format::json:
        return ".psd.json";
    case result_format::jsonl:
        return ".psd.jsonl";
    default:
        return ".psd.txt";
    }
}

// NAME.psd.txt for NAME.xml: the base name without its last extension.
std::string result_name_for(const std::string& data_file, const std::string& directory, result_format format)
{
    return relative_to(directory, result_base_of(data_file) + extension_of(format));
}

// Refuses results that would replace a data file of the run, however either
// is spelled or linked: checked before anything is read or written.
void check_results_spare_the_data(const options& o, const std::vector<std::string>& names)
{
    std::vector<file_identity> data;
    for (const std::string& data_file : o.data_files)
        data.push_back(data_file == "-" ? identity_of(stdin) : identity_of(data_file));
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k] == "-") continue;
        const file_identity result = identity_of(names[k]);
        for (std::size_t j = 0; j < data.size(); ++j) {
            if (result.known && data[j].known && result.device == data[j].device && result.node == data[j].node)
                throw usage_error{"the result of " + o.data_files[k] + " (" + names[k] +
                                  ") would overwrite the data file " + o.data_files[j]};
        }
    }
}

// Where each data file's result goes; "-" is standard output.
std::vector<std::string> result_names(const options& o)
{
    if (o.data_files.size() == 1) return {o.output.value_or("-")};
    if (o.output) {
        if (!is_directory(*o.output))
            throw usage_error{"-o " + *o.output + ": with several data files, -o names an existing directory"};
    }
    std::vector<std::string> names;
    std::map<std::string, std::string> seen;
    for (const std::string& data_file : o.data_files) {
        names.push_back(result_name_for(data_file, o.output ? *o.output : directory_of(data_file), o.format));
        const auto [at, inserted] = seen.emplace(names.back(), data_file);
        if (!inserted)
            throw usage_error{"data files " + at->second + " and " + data_file + " would both write " + names.back()};
    }
    return names;
}

// The line for standard error: the message on one line, the options named
// when they are at fault, and a hint for a sample file saved as UTF-16.
std::string failure_line(const analysis_error& error)
{
    std::string message = error.problem && error.settings_file.empty() ? option_message(*error.problem) : error.what();
    if (error.looks_like_utf16) message += " (the file looks like UTF-16 text: save it as UTF-8)";
    return "veltrin: " + error.file + ": " + message + "\n";
}

// Flushes what was written to standard output since errno was cleared; a
// failure is the result "-" that cannot be written.
void flush_standard_output()
{
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return;
    fail_unwritable("-", errno != 0 ? errno : EIO);
}

struct file_job {
    std::string data_file;
    std::string result_name;
    std::string failure;  // the line for standard error, empty on success
    std::string notice;   // a line for standard error on success
    bool usage = false;   // the failure is the options' (they do not fit the file)
    bool interrupted = false;
};

// A last row without its line end was still being written when the file was read.
std::string dropped_row_notice(const std::string& data_file, std::int64_t line)
{
    if (line == 0) return "";
    return "veltrin: " + data_file + ": line " + std::to_string(line) +
           " has no line end: not read, as a row still being written\n";
}

// Set by SIGINT or SIGTERM during a run in blocks: the tables end after the
// blocks done, and the status tells the signal (128 + its number).
std::atomic<bool> interrupted{false};
std::atomic<int> interrupting_signal{0};

extern "C" void note_interrupt(int signal_number)
{
    interrupting_signal.store(signal_number);
    interrupted.store(true);
}

bool in_blocks(const options& o)
{
    return o.blocks.seconds || o.blocks.points;
}

// The block table of one data file, to standard output or a result file;
// no spectra file replaces any data file of the run (`inputs`).
void write_blocks(const options& o, file_job& job, std::FILE* data, const reading_options& reading,
                  std::span<const file_identity> inputs, unsigned threads)
{
    const block_run_request request{request_of(o), o.blocks, o.format, o.spectra_dir};
    blocks_outcome outcome;
    const auto content = [&](std::FILE* stream) {
        outcome = run_blocks(data, job.data_file, request, reading, threads, stream, inputs, interrupted);
    };
    if (job.result_name == "-") {
        errno = 0;
        content(stdout);
        flush_standard_output();
    } else {
        write_result_file(job.result_name, job.result_name, inputs, content);
    }
    job.interrupted = outcome.interrupted;
    if (outcome.failure) throw *outcome.failure;
    job.notice = dropped_row_notice(job.data_file, outcome.dropped_last_row);
}

void analyse_file(const options& o, file_job& job, unsigned threads, progress_display& progress,
                  std::span<const file_identity> run_inputs)
{
    progress.file_started(job.data_file, job.data_file == "-" ? 0 : regular_file_size(job.data_file));
    try {
        file_identity data_identity;
        if (interrupted.load()) {
            job.interrupted = true;
            return;
        }
        reading_options reading{.threads = threads, .bytes_read = progress.bytes_counter(), .input = o.input};
        // In blocks an interruption also ends the wait for a FIFO's writer.
        if (in_blocks(o)) reading.cancel = &interrupted;
        opened_file opened(nullptr, &std::fclose);
        if (job.data_file == "-")
            data_identity = identity_of(stdin);
        else
            opened = open_recording(job.data_file, job.data_file, data_identity, reading);
        std::FILE* const file = job.data_file == "-" ? stdin : opened.get();
        if (in_blocks(o)) {
            std::vector<file_identity> inputs(run_inputs.begin(), run_inputs.end());
            inputs.push_back(data_identity);
            write_blocks(o, job, file, reading, inputs, threads);
            progress.file_done(job.data_file);
            return;
        }
        spectrum_result result = analyse_open_file(file, job.data_file, request_of(o), job.data_file, reading, threads);
        job.notice = dropped_row_notice(job.data_file, result.input.dropped_last_row);
        const auto content = [&](std::FILE* stream) { write_result(stream, result, o.format); };
        if (job.result_name == "-") {
            errno = 0;
            content(stdout);
            flush_standard_output();
        } else {
            const file_identity inputs[] = {data_identity};
            write_result_file(job.result_name, job.result_name, inputs, content);
        }
    } catch (const analysis_error& error) {
        // A wait for a FIFO's writer that the interruption ended is no failure.
        if (in_blocks(o) && interrupted.load()) {
            job.interrupted = true;
            progress.file_done(job.data_file);
            return;
        }
        job.failure = failure_line(error);
        // A band without a bin is the options' fault too, found only once the file is read.
        job.usage =
            error.kind == error_kind::input_options || (error.problem && error.problem->rule == request_rule::no_bin);
    } catch (const std::bad_alloc&) {
        job.failure = failure_line(analysis_error(error_kind::out_of_memory, job.data_file));
    }
    progress.file_done(job.data_file);
}

// Refuses spectra files that two data files would share, or that the result
// of the run would replace: checked before anything is read or written.
void check_spectra_names(const options& o, const std::vector<std::string>& names)
{
    std::map<std::string, std::string> seen;
    const file_identity directory = identity_of(*o.spectra_dir);
    for (std::size_t k = 0; k < o.data_files.size(); ++k) {
        const std::string first = spectra_file_name(*o.spectra_dir, o.data_files[k], 1, o.format);
        const auto [at, inserted] = seen.emplace(first, o.data_files[k]);
        if (!inserted)
            throw usage_error{"data files " + at->second + " and " + o.data_files[k] + " would both write " + first};
        // A result in the spectra directory named like a block's spectra.
        if (names[k] == "-") continue;
        const std::string prefix = first.substr(first.rfind('/') + 1, first.rfind(".block") - first.rfind('/') - 1 + 6);
        const std::string result = names[k].substr(names[k].rfind('/') + 1);
        const file_identity where = identity_of(directory_of(names[k]).empty() ? "." : directory_of(names[k]));
        const std::size_t digits =
            result.starts_with(prefix) ? result.find_first_not_of("0123456789", prefix.size()) : 0;
        const bool like_spectra =
            digits != std::string::npos && digits >= prefix.size() + 4 && result.compare(digits, 5, ".psd.") == 0;
        if (where.known && directory.known && where.device == directory.device && where.node == directory.node &&
            like_spectra)
            throw usage_error{"the result of " + o.data_files[k] + " (" + names[k] +
                              ") would replace a block's spectra in " + *o.spectra_dir};
    }
}

// Progress shows on a terminal unless -q; --progress writes it anywhere, a line a file.
progress_display::mode progress_mode(const options& o)
{
    if (o.quiet) return progress_display::mode::off;
    if (is_terminal(stderr)) return progress_display::mode::terminal;
    return o.progress ? progress_display::mode::lines : progress_display::mode::off;
}

int run_files(const options& o)
{
    const std::vector<std::string> names = result_names(o);
    check_results_spare_the_data(o, names);
    if (o.spectra_dir) check_spectra_names(o, names);
    std::vector<file_identity> run_inputs;
    for (const std::string& data_file : o.data_files)
        if (data_file != "-") run_inputs.push_back(identity_of(data_file));
    // In blocks, an interruption ends the tables instead of the process.
    if (in_blocks(o)) {
        for (const int signal_number : {SIGINT, SIGTERM})
            if (std::signal(signal_number, note_interrupt) == SIG_IGN) std::signal(signal_number, SIG_IGN);
    }
    std::vector<file_job> jobs;
    for (std::size_t k = 0; k < o.data_files.size(); ++k) jobs.push_back({o.data_files[k], names[k], "", ""});
    const std::size_t workers = std::min<std::size_t>(o.jobs != 0 ? o.jobs : core_count(), jobs.size());
    // The threads are shared between the files analysed at once, never oversubscribed.
    const unsigned all_threads = o.threads != 0 ? o.threads : core_count();
    const auto threads_per_file = static_cast<unsigned>(std::max<std::size_t>(1, all_threads / workers));
    // Each of the team's threads takes the next file not yet taken.
    {
        progress_display progress(progress_mode(o), jobs.size());
        worker_team team(static_cast<unsigned>(workers));
        team.run(jobs.size(), [&](std::size_t k) { analyse_file(o, jobs[k], threads_per_file, progress, run_inputs); });
    }
    int status = 0;
    bool stopped = false;
    for (const file_job& job : jobs) {
        std::fputs(job.notice.c_str(), stderr);
        stopped = stopped || job.interrupted;
        if (job.failure.empty()) continue;
        std::fputs(job.failure.c_str(), stderr);
        status = std::max(status, job.usage ? 2 : 1);
    }
    // An interruption that came after the last table was complete is told too.
    return stopped || interrupted.load() ? 128 + interrupting_signal.load() : status;
}

int run_config_file(const std::string& path, unsigned o_threads)
{
    try {
        run_config_mode(path, path, directory_of(path), o_threads);
        return 0;
    } catch (const analysis_error& error) {
        std::fputs(failure_line(error).c_str(), stderr);
    } catch (const std::bad_alloc&) {
        std::fputs(failure_line(analysis_error(error_kind::out_of_memory, path)).c_str(), stderr);
    }
    return 1;
}

// Help and version go to standard output, which may fail like a result.
int show_help_or_version(bool help)
{
    try {
        errno = 0;
        if (help) {
            std::fputs(usage_line, stdout);
            std::fputs(help_with_windows().c_str(), stdout);
        } else {
            std::fputs("veltrin " VELTRIN_VERSION "\n", stdout);
        }
        flush_standard_output();
        return 0;
    } catch (const analysis_error& error) {
        std::fputs(failure_line(error).c_str(), stderr);
        return 1;
    }
}

}  // namespace

bool wants_command_line(int argc, char** argv)
{
    for (int k = 1; k < argc; ++k)
        if (argv[k][0] == '-') return true;
    return false;
}

void report_ignored_arguments()
{
    std::fputs("veltrin: arguments without an option are ignored: the configuration mode runs config_veltrin.txt; "
               "to analyse a data file, give -n N: veltrin -n N DATA_FILE (veltrin --help)\n",
               stderr);
}

int run_command_line(int argc, char** argv)
{
    try {
        const options o = parse_options(argc, argv);
        if (o.help || o.version) return show_help_or_version(o.help);
        check_options(o);
        if (o.config) return run_config_file(*o.config, o.threads != 0 ? o.threads : core_count());
        return run_files(o);
    } catch (const usage_error& error) {
        std::fprintf(stderr, "veltrin: %s\n%s", error.message.c_str(), usage_line);
        return 2;
    }
}

}  // namespace veltrin
