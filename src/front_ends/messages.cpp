// The words of every failure the library reports as data: the rules a
// recording or the options break, the request's rules, the files.
#include "front_ends/messages.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace veltrin {

namespace {

std::string option_with_placeholder(setting_id id)
{
    return option_name(id) + " " + std::string(row_of(id).value_name);
}

std::string option_with_word(setting_id id, std::string_view word)
{
    return option_name(id) + " " + std::string(word);
}

// The window of a problem with its parameter, whose value is the window as written.
window_kind window_kind_of(const request_problem& problem)
{
    const auto* text = std::get_if<std::string>(&problem.value);
    const std::optional<window_choice> window = text ? window_named(*text) : std::nullopt;
    return window ? window->kind : window_kind::hann;
}

std::string shortest(double x)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

std::string general(double x)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", x);
    return text;
}

std::string line_text(std::int64_t line)
{
    return "line " + std::to_string(line);
}

// "1", "1 and 42", "1, 42 and 84".
std::string listed_lines(const std::vector<std::int64_t>& lines)
{
    std::string text;
    for (std::size_t k = 0; k < lines.size(); ++k)
        text += (k == 0 ? "" : k + 1 == lines.size() ? " and " : ", ") + std::to_string(lines[k]);
    return text;
}

std::string counted(std::int64_t n, const char* one, const char* many)
{
    return std::to_string(n) + (n == 1 ? one : many);
}

// In the order of quantity: its word in messages, and its unit.
constexpr std::pair<const char*, const char*> quantity_words[] = {
    {"v", "volts"}, {"i", "amperes"}, {"time", "seconds"}};
static_assert(std::size(quantity_words) == static_cast<std::size_t>(quantity::time) + 1);

const char* quantity_word(quantity q)
{
    return quantity_words[static_cast<std::size_t>(q)].first;
}

const char* unit_word(quantity q)
{
    return quantity_words[static_cast<std::size_t>(q)].second;
}

// "\"t\", \"v\", \"i\"".
std::string quoted_names(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "\"" : ", \"") + name + '"';
    return text;
}

// "\"Ewe/V\" (column 2), \"E/V\" (column 5)".
std::string listed_columns(const std::vector<numbered_name>& columns)
{
    std::string text;
    for (const numbered_name& c : columns)
        text += (text.empty() ? "\"" : ", \"") + c.name + "\" (column " + std::to_string(c.number) + ")";
    return text;
}

std::string tagged_text(const reading_problem& p)
{
    const std::string line = std::to_string(p.line);
    switch (p.rule) {
    case reading_rule::value_not_a_number:
        return "the value on line " + line + " of the data block is not a number";
    case reading_rule::no_pair:
        return "line " + line + " of the data block does not hold a v and an i value";
    case reading_rule::broken_pair:
        return "lines " + line + " and " + std::to_string(p.line + 1) +
               " of the data block do not hold one v and one i value";
    case reading_rule::value_too_large:
        return "the value on line " + line + " of the data block is too large for single precision";
    case reading_rule::too_many_lines:
        return "the data block has more than " + std::to_string(p.count) + " lines";
    default:
        return "";
    }
}

std::string cell_text(const reading_problem& p, const setting_names& names)
{
    const std::string where = line_text(p.line) + ": the " + quantity_word(p.column) + " column (" + p.label + ")";
    switch (p.rule) {
    case reading_rule::cell_missing:
        return where + " is missing: the line has " + counted(p.count, " field", " fields");
    case reading_rule::cell_empty:
        return where + " is empty";
    case reading_rule::cell_not_a_number:
        return where + " holds '" + p.text + "', which is not a number" +
               (p.decimal_comma_hint ? "; for decimal commas, give " + names.name(setting_id::decimal_comma) : "") +
               (p.thousands_hint ? "; thousands separators are not read: write the numbers without them" : "");
    default:
        return where + " holds a value too large for single precision";
    }
}

std::string rows_text(const reading_problem& p, const setting_names& names)
{
    const std::string all_tables = names.with_word(setting_id::table, "all");
    switch (p.rule) {
    case reading_rule::line_too_long:
        return line_text(p.line) + " is longer than " + std::to_string(p.limit) + " bytes";
    case reading_rule::no_rows:
        return p.tags_possible ? "the file holds no row of numbers, nor the <sampling_frequency> and <data> tags of "
                                 "a tagged recording"
                               : "the file holds no row of numbers";
    case reading_rule::no_rows_after_header:
        return "no row of numbers follows the header row (" + line_text(p.other_line) + ")";
    case reading_rule::line_unreadable:
        return line_text(p.line) + " cannot be read";
    case reading_rule::field_count:
        return line_text(p.line) + " has " + counted(p.count, " field", " fields") +
               (p.header_row ? "; the header row (" : "; the first row (") + line_text(p.other_line) + ") has " +
               std::to_string(p.limit);
    case reading_rule::too_many_rows:
        return "the table has more than " + std::to_string(p.count) + " rows";
    case reading_rule::time_not_increasing:
        return "the time column (" + p.label + ") does not increase from " + line_text(p.line) + " to " +
               line_text(p.other_line);
    case reading_rule::time_step_at_junction:
        return line_text(p.line) + ": the time step (" + general(p.value) + " s) differs from the step before it (" +
               general(p.other_value) + " s) by more than 1 %; " + all_tables +
               " joins only tables whose time goes on with the same step";
    case reading_rule::time_step_off_mean:
        return line_text(p.line) + ": the time step (" + general(p.value) + " s) differs from the mean step (" +
               general(p.other_value) + " s) by more than 1 %; give the sampling frequency with " +
               names.name(setting_id::fs) + " to read the file anyway";
    case reading_rule::row_after_table:
        return line_text(p.line) + " holds a row of numbers after the table ended on " + line_text(p.other_line) +
               (p.joined ? "; " + all_tables + " joins only tables whose header and units rows are the same"
                         : std::string("; a second table is not read"));
    case reading_rule::several_tables:
        return "the file holds " + std::to_string(p.lines.size()) + " tables, their header rows on lines " +
               listed_lines(p.lines) + ": choose one with " + names.with_placeholder(setting_id::table) +
               ", or join them with " + all_tables;
    case reading_rule::one_timed_row:
        return "one row cannot give the sampling frequency: give it with " + names.name(setting_id::fs);
    case reading_rule::text_in_number_column:
        return line_text(p.line) + ": column " + std::to_string(p.count) +
               (p.label.empty() ? "" : " (" + p.label + ")") + " holds '" + p.text +
               "' where the table's first row holds a number; a summary row is no data: delete it";
    default:
        return cell_text(p, names);
    }
}

// The columns of a header row that the options name, or that the program looks for.
std::string columns_text(const reading_problem& p, const setting_names& names)
{
    const std::string word = quantity_word(p.column);
    const std::string option = p.setting ? names.name(*p.setting) : "";
    const std::string head = "the header row (" + line_text(p.other_line) + ") ";
    const std::string choose = "; choose the " + word + " column with " + option + " (a name, or a number from 1)";
    switch (p.rule) {
    case reading_rule::column_number_zero:
        return option + " numbers the columns from 1";
    case reading_rule::column_beyond_table:
        return option + " " + p.text + ": the table has " + counted(p.count, " column", " columns");
    case reading_rule::no_column_named:
        return head + "has no column named \"" + p.text + "\"; its names are " + quoted_names(p.names) + choose;
    case reading_rule::several_columns_named:
        return head + "has " + std::to_string(p.candidates.size()) + " columns named \"" + p.text +
               "\": " + listed_columns(p.candidates) + "; choose one with " + option + " by its number";
    case reading_rule::no_known_column:
        return head + "has no " + word + " column by a name the program knows; its names are " + quoted_names(p.names) +
               choose;
    case reading_rule::only_weak_columns:
        return head + "has no " + word + " column that the program takes by itself, only " +
               listed_columns(p.candidates) + choose;
    default:
        return head + "has several " + word + " columns: " + listed_columns(p.candidates) + choose;
    }
}

std::string header_text(const reading_problem& p, const setting_names& names)
{
    const std::string where = "the " + std::string(quantity_word(p.column)) + " column (" + p.label + ")" +
                              (p.other_line != 0 ? ", by the units row (" + line_text(p.other_line) + ")," : "");
    const std::string scale = p.scale_setting ? names.name(*p.scale_setting) : "";
    switch (p.rule) {
    case reading_rule::no_header_row:
        return "no header row names the v and i columns: choose them with " + names.name(setting_id::v_column) +
               " and " + names.name(setting_id::i_column) + " (a name, or a number from 1)";
    case reading_rule::table_missing: {
        const auto found = static_cast<std::int64_t>(p.lines.size());
        return names.name(setting_id::table) + " " + std::to_string(p.count) + ": the file holds " +
               counted(found, " table", " tables") +
               (!p.header_row ? ""
                : found == 1  ? " (header row on line " + listed_lines(p.lines) + ")"
                              : " (header rows on lines " + listed_lines(p.lines) + ")");
    }
    case reading_rule::no_time_column:
        return "the file has no time column to give the sampling frequency: give it with " +
               names.with_placeholder(setting_id::fs) + ", or choose the time column with " +
               names.name(setting_id::time_column);
    case reading_rule::unknown_unit:
        return where + " is in '" + p.text + "', a unit the program does not know: give " +
               (p.column == quantity::time ? names.with_placeholder(setting_id::fs)
                                           : scale + " (the factor to " + unit_word(p.column) + ")") +
               " to read it anyway";
    case reading_rule::unit_of_other_quantity:
        return where + " is in " + unit_word(p.unit_of) + ": choose the " + quantity_word(p.column) + " column with " +
               (p.setting ? names.name(*p.setting) : "") + ", or give " + scale + " to read it anyway";
    case reading_rule::units_disagree:
        return "the " + std::string(quantity_word(p.column)) + " column (" + p.label + ") is in '" + p.text +
               "' by its name but in '" + p.other_text + "' by the units row (" + line_text(p.other_line) +
               "): mend one of them, or give " + scale + " to read it anyway";
    case reading_rule::units_not_tied:
        return line_text(p.line) + " gives units that cannot be tied to the columns (" +
               (p.comment ? std::string("it is a comment")
                : p.count != p.limit
                    ? "in " + counted(p.count, " field", " fields") + ", the rows having " + std::to_string(p.limit)
                    : std::string("other lines stand between it and the rows")) +
               "): give " + names.name(setting_id::v_scale) + ", " + names.name(setting_id::i_scale) + " and " +
               names.with_placeholder(setting_id::fs) + " to read the file anyway";
    case reading_rule::preamble_unreadable:
        return line_text(p.line) + " states the sampling in a way the program does not read ('" + p.text +
               "'): give the frequency with " + names.with_placeholder(setting_id::fs);
    case reading_rule::preamble_disagrees:
        return "lines " + std::to_string(p.line) + " and " + std::to_string(p.other_line) +
               " state different samplings: give the frequency with " + names.with_placeholder(setting_id::fs);
    default:
        return columns_text(p, names);
    }
}

// "2 samples (1 s at 2 Hz)".
std::string block_length(const reading_problem& p)
{
    std::string length = std::to_string(p.count) + " samples";
    if (!p.seconds) return length;
    // A count beyond 64 bits is shown as the number it rounds to.
    if (p.count == std::numeric_limits<std::int64_t>::max())
        length = general(std::round(*p.seconds * p.value)) + " samples";
    return length + " (" + general(*p.seconds) + " s at " + general(p.value) + " Hz)";
}

std::string run_text(const reading_problem& p, const setting_names& names)
{
    switch (p.rule) {
    case reading_rule::frequency_out_of_range:
        return "the sampling frequency must be a number from 1e-37 to 1e37";
    case reading_rule::option_not_read:
        return (p.setting ? names.name(*p.setting) : "") + " does not apply to " +
               (p.raw_input                        ? "raw binary input"
                : p.format == input_format::tagged ? "a tagged file"
                                                   : "this input");
    case reading_rule::needs_frequency:
        return "raw binary input needs the sampling frequency: give it with " + names.with_placeholder(setting_id::fs);
    case reading_rule::raw_value_not_finite:
    case reading_rule::raw_value_too_large:
        return std::string("the ") + quantity_word(p.column) + " value of pair " + std::to_string(p.count) +
               (p.rule == reading_rule::raw_value_too_large ? " is too large for single precision"
                                                            : " is not a finite number");
    case reading_rule::raw_size:
        return "the file holds " + std::to_string(p.count) + " bytes, which is not a whole number of " +
               std::to_string(p.limit) + "-byte (v, i) pairs";
    case reading_rule::block_too_long:
        return "a block of " + block_length(p) + " is more than the " + std::to_string(p.limit) +
               " samples a block can hold";
    case reading_rule::block_too_short:
        return "a block of " + block_length(p) + " cannot hold the sections, which need " + std::to_string(p.limit) +
               " samples";
    default:
        return header_text(p, names);
    }
}

}  // namespace

const setting_names option_names{option_name, option_with_placeholder, option_with_word};

std::string reading_text(const reading_problem& problem, const setting_names& names)
{
    switch (problem.rule) {
    case reading_rule::value_not_a_number:
    case reading_rule::no_pair:
    case reading_rule::broken_pair:
    case reading_rule::value_too_large:
    case reading_rule::too_many_lines:
        return tagged_text(problem);
    case reading_rule::line_too_long:
    case reading_rule::no_rows:
    case reading_rule::no_rows_after_header:
    case reading_rule::cell_missing:
    case reading_rule::cell_empty:
    case reading_rule::cell_not_a_number:
    case reading_rule::cell_too_large:
    case reading_rule::line_unreadable:
    case reading_rule::field_count:
    case reading_rule::too_many_rows:
    case reading_rule::time_not_increasing:
    case reading_rule::time_step_at_junction:
    case reading_rule::time_step_off_mean:
    case reading_rule::row_after_table:
    case reading_rule::several_tables:
    case reading_rule::one_timed_row:
    case reading_rule::text_in_number_column:
        return rows_text(problem, names);
    default:
        return run_text(problem, names);
    }
}

std::vector<std::string> reading_lines(const analysis_error& error, const setting_names& names)
{
    if (error.reading->rule == reading_rule::no_structure)
        return {"\nThe structure of the input data file is unknown.\n",
                "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n"};
    const std::string text = reading_text(*error.reading, names);
    if (error.kind == error_kind::bad_data) return {"\nFatal error: " + text + ".\n"};
    return {"\n" + text + "\n"};
}

std::string settings_text(const request_problem& problem, const std::string& settings_file)
{
    switch (problem.rule) {
    case request_rule::too_few_samples:
        return "Fatal error: the number of data points is too low. Decrease " +
               (settings_file.empty() ? std::string("the number of sections or the points per section.")
                                      : "the number of sections in the file " + settings_file + ".");
    case request_rule::not_a_power_of_two:
        return "Fatal error: the number of points per section is not a power of 2.";
    case request_rule::below_least:
        return problem.setting == setting_id::points
                   ? "Fatal error: the number of points per section must be at least " + std::to_string(least_points) +
                         "."
                   : "Fatal error: the number of sections must be at least " + std::to_string(least_sections) + ".";
    case request_rule::unknown_window:
        return "Fatal error: the window must be " + window_list() + ".";
    case request_rule::outside_range:
        switch (problem.setting) {
        case setting_id::overlap:
            return "Fatal error: the overlap must be at least 0 and less than 1.";
        case setting_id::window:
            return "Fatal error: the window " + window_rule(window_row_of(window_kind_of(problem))) + ".";
        case setting_id::band:
        case setting_id::slope_band:
            return "Fatal error: a band must be F_LO:F_HI in Hz with 0 <= F_LO <= F_HI.";
        case setting_id::stern_geary:
            return "Fatal error: the Stern-Geary coefficient must be a finite number of volts above 0.";
        case setting_id::area:
            return "Fatal error: the electrode area must be a finite number of cm^2 above 0.";
        case setting_id::electrodes:
            return "Fatal error: the number of electrodes must be 1 or 2.";
        default:
            return "Fatal error: the confidence must be more than 0 and less than 1.";
        }
    case request_rule::needs_confidence:
        return "Fatal error: the coherent Zn interval needs a confidence.";
    case request_rule::needs_stern_geary:
        return "Fatal error: the electrode area needs the Stern-Geary coefficient.";
    case request_rule::no_bin:
        return std::string("Fatal error: the ") + (problem.setting == setting_id::band ? "band " : "slope band ") +
               std::get<std::string>(problem.value) + " holds no bin: the bins are " + shortest(problem.bin_spacing) +
               " Hz apart.";
    case request_rule::hanning_standard:
        return "Fatal error: the configuration estimate's Hann window does not go with the standard estimate.";
    case request_rule::needs_mean_average:
        return problem.setting == setting_id::confidence ? "Fatal error: confidence intervals need the mean average."
                                                         : "Fatal error: the coherence needs the mean average.";
    }
    return "Fatal error: the settings do not fit each other.";
}

std::string dropped_row_text(std::int64_t line)
{
    return "line " + std::to_string(line) + " has no line end: not read, as a row still being written";
}

std::string no_block_text(std::uint64_t samples, std::int64_t block_points)
{
    return "no block is complete: the recording's " + std::to_string(samples) + " samples are fewer than a block's " +
           std::to_string(block_points);
}

std::string one_line_message(const analysis_error& error, const setting_names& names)
{
    if (error.reading) {
        // The configuration mode's lines, their line ends dropped, joined by a blank.
        std::string text;
        for (const std::string& line : reading_lines(error, names)) {
            const std::size_t first = line.find_first_not_of('\n');
            const std::size_t last = line.find_last_not_of('\n');
            if (first == std::string::npos) continue;
            if (!text.empty()) text += ' ';
            text.append(line, first, last - first + 1);
        }
        return text;
    }
    const std::string& file = error.file;
    switch (error.kind) {
    case error_kind::missing_file:
        return "The file " + file + " does not exist.";
    case error_kind::unreadable_file:
        return "The file " + file + " cannot be read.";
    case error_kind::unwritable_file:
        if (error.result_is_input) return "The file " + file + " cannot be written: it is an input of this run.";
        return error.system_error != 0
                   ? "The file " + file + " cannot be written: " + std::generic_category().message(error.system_error)
                   : "The file " + file + " cannot be written.";
    case error_kind::invalid_configuration:
        return "The file " + file +
               " is not valid: it must hold the data file name, hanning, nb_section, nbpoint_section and the result "
               "file name.";
    case error_kind::bad_settings:
        if (error.problem) return settings_text(*error.problem, error.settings_file);
        break;
    case error_kind::out_of_memory:
        return "Fatal error: not enough memory.";
    case error_kind::bad_data:
    case error_kind::input_options:
        break;
    }
    return "Fatal error: the recording cannot give a table.";
}

}  // namespace veltrin
