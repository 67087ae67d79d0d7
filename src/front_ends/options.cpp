// The command line's options: the getopt table made from the settings
// table, each value checked as it is read, and the rules between the options.
#include "front_ends/options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <getopt.h>
#include <stdexcept>

#include "input/reading.hpp"
#include "platform/platform.hpp"

namespace veltrin {

namespace {

// More threads than this only cost memory and time to start.
constexpr std::int32_t most_threads = 1024;

// The code getopt_long returns for a setting: its short name, or one past any character.
int option_code(const setting_row& row)
{
    return row.short_name != '\0' ? row.short_name : 256 + static_cast<int>(row.id);
}

const setting_row* row_of_code(int code)
{
    for (const setting_row& row : settings_table())
        if (option_code(row) == code) return &row;
    return nullptr;
}

std::vector<option> getopt_table()
{
    std::vector<option> table;
    for (const setting_row& row : settings_table())
        table.push_back({row.long_name.data(), row.kind == setting_kind::flag ? no_argument : required_argument,
                         nullptr, option_code(row)});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

// ":c:n:...": the short names, a colon after each that takes a value.
std::string short_options()
{
    std::string text = ":";
    for (const setting_row& row : settings_table()) {
        if (row.short_name == '\0') continue;
        text += row.short_name;
        if (row.kind != setting_kind::flag) text += ':';
    }
    return text;
}

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
std::string given_option(char** argv, int short_option)
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

// A column: a header name, or a number from 1.
std::string column_value(const std::string& option, const char* text)
{
    std::string value = text;
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

// A duration in seconds: a number, or one with the unit s, min or h.
double duration_value(const char* text)
{
    if (const std::optional<double> seconds = duration_of(text)) return *seconds;
    throw usage_error{option_name(setting_id::block) + " needs a duration above 0 such as 60, 90s, 20min or 1h, not '" +
                      std::string(text) + "'"};
}

char delimiter_value(const std::string& option, const std::string& value)
{
    if (value == "," || value == ";") return value[0];
    if (value == "tab" || value == "\t") return '\t';
    if (value == "space" || value == " ") return ' ';
    throw usage_error{option + " needs ',', ';', tab or space, not '" + value + "'"};
}

result_format format_value(const std::string& option, const std::string& name)
{
    if (name == "table") return result_format::table;
    if (name == "csv") return result_format::csv;
    if (name == "json") return result_format::json;
    if (name == "jsonl") return result_format::jsonl;
    throw usage_error{option + " needs table, csv, json or jsonl, not '" + name + "'"};
}

// A named value, or the usage error that says which names there are.
template <typename T>
T checked(const std::optional<T>& value, const std::string& message)
{
    if (!value) throw usage_error{message};
    return *value;
}

// The settings of the estimate and of what it gives.
void read_estimate_option(options& parsed, setting_id id, const char* text)
{
    const std::string value = text != nullptr ? text : "";  // a flag takes no value
    const std::string option = option_name(id);
    switch (id) {
    case setting_id::config:
        parsed.config = value;
        break;
    case setting_id::points:
        parsed.analysis.nbpoint_section = integer_value(option, text, least_points);
        break;
    case setting_id::sections:
        parsed.analysis.nb_section = integer_value(option, text, least_sections);
        break;
    case setting_id::hanning:
        parsed.analysis.hanning = 1;
        break;
    case setting_id::window:
        parsed.analysis.window = checked(window_named(value), "the window must be " + window_list());
        break;
    case setting_id::overlap:
        parsed.analysis.overlap = real_value(option, text);
        break;
    case setting_id::detrend:
        parsed.analysis.detrend =
            checked(detrend_named(value), option + " needs constant, linear or none, not '" + value + "'");
        break;
    case setting_id::average:
        parsed.analysis.average = checked(average_named(value), option + " needs mean or median, not '" + value + "'");
        break;
    case setting_id::confidence:
        parsed.analysis.confidence = real_value(option, text);
        break;
    case setting_id::coherence:
        parsed.analysis.coherence = true;
        break;
    case setting_id::statistics:
        parsed.analysis.statistics = true;
        break;
    case setting_id::zn_interval:
        parsed.analysis.zn_interval =
            checked(zn_interval_named(value), option + " needs independent or coherent, not '" + value + "'");
        break;
    case setting_id::band:
        parsed.analysis.band = band_value(option, text);
        break;
    case setting_id::slope_band:
        parsed.analysis.slope_band = band_value(option, text);
        break;
    case setting_id::stern_geary:
        parsed.analysis.stern_geary = shot_noise_value(option, text, "volts");
        break;
    case setting_id::area:
        parsed.analysis.area = shot_noise_value(option, text, "cm^2");
        break;
    case setting_id::electrodes:
        parsed.analysis.electrodes = integer_value(option, text, 1, 2);
        break;
    default:
        break;
    }
}

// The settings of the reading of a data file.
void read_input_option(options& parsed, setting_id id, const char* text)
{
    const std::string value = text != nullptr ? text : "";  // a flag takes no value
    const std::string option = option_name(id);
    input_request& in = parsed.input;
    switch (id) {
    case setting_id::input_format: {
        const std::optional<input_format> format = format_named(value);
        if (!format) throw usage_error{option + " needs " + format_list() + ", not '" + value + "'"};
        in.format = *format;
        break;
    }
    case setting_id::v_column:
        in.v_column = column_value(option, text);
        break;
    case setting_id::i_column:
        in.i_column = column_value(option, text);
        break;
    case setting_id::time_column:
        in.time_column = column_value(option, text);
        break;
    case setting_id::fs: {
        const double fs = real_value(option, text);
        if (!(fs >= 1e-37 && fs <= 1e37))
            throw usage_error{option + " needs a sampling frequency from 1e-37 to 1e37 Hz, not '" + value + "'"};
        in.sampling_frequency = fs;
        break;
    }
    case setting_id::delimiter:
        in.delimiter = delimiter_value(option, value);
        break;
    case setting_id::decimal_comma:
        in.decimal_comma = true;
        break;
    case setting_id::skip:
        in.skip = integer_value(option, text, 0);
        break;
    case setting_id::table:
        try {
            in.table = value == "all" ? 0 : integer_value(option, text, 1);
        } catch (const usage_error&) {
            throw usage_error{option + " needs a table's number from 1, or all, not '" + value + "'"};
        }
        break;
    case setting_id::v_scale:
        in.v_scale = scale_value(option, text);
        break;
    case setting_id::i_scale:
        in.i_scale = scale_value(option, text);
        break;
    default:
        break;
    }
}

// The settings of the run: blocks, results, threads, progress.
void read_run_option(options& parsed, setting_id id, const char* text)
{
    const std::string value = text != nullptr ? text : "";  // a flag takes no value
    const std::string option = option_name(id);
    switch (id) {
    case setting_id::block:
        parsed.blocks.seconds = duration_value(text);
        break;
    case setting_id::block_points:
        parsed.blocks.points = integer_value(option, text, 1);
        break;
    case setting_id::spectra_dir:
        parsed.spectra_dir = value;
        break;
    case setting_id::format:
        parsed.format = format_value(option, value);
        break;
    case setting_id::output:
        parsed.output = value;
        break;
    case setting_id::jobs:
        parsed.jobs = static_cast<unsigned>(integer_value(option, text, 1, most_threads));
        break;
    case setting_id::threads:
        parsed.threads = static_cast<unsigned>(integer_value(option, text, 1, most_threads));
        break;
    case setting_id::quiet:
        parsed.quiet = true;
        break;
    case setting_id::progress:
        parsed.progress = true;
        break;
    default:  // help and version take no value
        break;
    }
}

void read_option(options& parsed, const setting_row& row, const char* text)
{
    if (row.reading)
        read_input_option(parsed, row.id, text);
    else if (row.group == setting_group::monitoring || row.group == setting_group::running)
        read_run_option(parsed, row.id, text);
    else
        read_estimate_option(parsed, row.id, text);
}

}  // namespace

options parse_options(int argc, char** argv)
{
    static const std::vector<option> long_options = getopt_table();
    static const std::string short_names = short_options();
    options parsed;
    opterr = 0;  // the messages are ours
    optind = 1;
    int code;
    while ((code = getopt_long(argc, argv, short_names.c_str(), long_options.data(), nullptr)) != -1) {
        if (code == ':') throw usage_error{"option " + given_option(argv, optopt) + " needs a value"};
        const setting_row* row = row_of_code(code);
        if (row == nullptr) throw usage_error{"unknown option " + given_option(argv, optopt)};
        add(parsed.given, row->id);
        // What follows -h or -V is not looked at.
        if (row->id == setting_id::help || row->id == setting_id::version) return parsed;
        read_option(parsed, *row, optarg);
    }
    for (int k = optind; k < argc; ++k) parsed.data_files.emplace_back(argv[k]);
    return parsed;
}

// The request the options make.
analysis_request request_of(const options& o)
{
    analysis_request s = o.analysis;
    s.standard = selects_standard(o.given);
    s.all_sections = !o.wants(setting_id::sections);
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
    const bool points = problem.setting == setting_id::points;
    switch (problem.rule) {
    case request_rule::below_least:
        return whole_number_wanted(option_name(problem.setting), points ? least_points : least_sections) + ", not '" +
               count() + "'";
    case request_rule::not_a_power_of_two:
        return option_name(setting_id::points) + " " + count() +
               ": the number of points per section is not a power of 2";
    case request_rule::unknown_window:
        return "the window must be " + window_list();
    case request_rule::outside_range:
        // The options' own parsing refuses a band, B or A out of range before any rule is checked.
        if (problem.setting == setting_id::window)
            return "the window " + window_rule(window_row_of(window_named(std::get<std::string>(problem.value))->kind));
        return problem.setting == setting_id::overlap ? "the overlap must be at least 0 and less than 1"
                                                      : "the confidence must be more than 0 and less than 1";
    case request_rule::needs_confidence:
        return option_name(setting_id::zn_interval) + " coherent needs " + option_name(setting_id::confidence);
    case request_rule::needs_stern_geary:
        return option_name(setting_id::area) + " needs " + option_name(setting_id::stern_geary) +
               ": the area only scales fn";
    case request_rule::no_bin:
        return option_name(problem.setting) + " " + std::get<std::string>(problem.value) +
               " holds no bin: the bins are " + shortest(problem.bin_spacing) + " Hz apart";
    case request_rule::hanning_standard:
        return option_name(setting_id::hanning) +
               " is the configuration mode's window: with the standard estimate use " +
               long_option(setting_id::window) + " hann";
    case request_rule::needs_mean_average:
        return problem.setting == setting_id::confidence ? "confidence intervals need the mean average"
                                                         : "the coherence needs the mean average";
    case request_rule::too_few_samples:
        return "Fatal error: the number of data points is too low. Decrease the number of sections (" +
               option_name(setting_id::sections) + ") or the points per section (" + option_name(setting_id::points) +
               ").";
    }
    return "the options do not fit each other";
}

void check_options(const options& o)
{
    if (o.config) {
        bool others = !o.data_files.empty();
        for (const setting_row& row : settings_table())
            others = others || (row.id != setting_id::config && !row.with_config && o.wants(row.id));
        if (others)
            throw usage_error{option_name(setting_id::config) + " takes no other options but " +
                              option_name(setting_id::threads) + ", and no data files"};
        return;
    }
    using enum setting_id;
    const auto both = [](setting_id a, setting_id b) { return option_name(a) + " and " + option_name(b); };
    if (!o.wants(points)) throw usage_error{option_name(points) + " (points per section) is required"};
    if (o.wants(quiet) && o.wants(progress)) throw usage_error{both(quiet, progress) + " contradict each other"};
    if (o.wants(block) && o.wants(block_points))
        throw usage_error{both(block, block_points) + " contradict each other"};
    const bool in_blocks = o.wants(block) || o.wants(block_points);
    if (o.wants(spectra_dir) && !in_blocks)
        throw usage_error{option_name(spectra_dir) + " needs blocks: give " + option_name(block) + " or " +
                          option_name(block_points)};
    if (o.spectra_dir && !is_directory(*o.spectra_dir))
        throw usage_error{option_name(spectra_dir) + " " + *o.spectra_dir + ": no such directory"};
    // A block's row holds only its times unless something is asked of each block.
    if (in_blocks && !o.spectra_dir && block_keys(request_of(o)).empty())
        throw usage_error{both(block, block_points) + " need values for each block: give " + option_name(statistics) +
                          ", " + option_name(band) + ", " + option_name(slope_band) + ", " + option_name(stern_geary) +
                          " or " + option_name(spectra_dir)};
    if (is_raw(o.input.format) && !o.input.sampling_frequency)
        throw usage_error{option_name(setting_id::input_format) + " " + std::string(format_name(o.input.format)) +
                          " needs " + option_name(fs) + ": raw binary holds no sampling frequency"};
    if (o.output && o.output->empty())
        throw usage_error{option_name(output) + " needs a file or directory name, not ''"};
    if (o.data_files.empty()) throw usage_error{"no data file given"};
    if (const std::optional<request_problem> problem = check_request(request_of(o)))
        throw usage_error{option_message(*problem)};
    if (o.data_files.size() > 1 && std::find(o.data_files.begin(), o.data_files.end(), "-") != o.data_files.end())
        throw usage_error{"standard input (-) can only be read as the only data file"};
}

}  // namespace veltrin
