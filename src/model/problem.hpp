// What stops the reading of a recording or its cutting into blocks, as
// data: the rule that the file or the options break, where, and what was
// found. The front ends word it, each naming the settings its own way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/input_request.hpp"
#include "model/settings.hpp"

namespace veltrin {

// The quantity a column holds.
enum class quantity { voltage, current, time };

enum class reading_rule : std::uint8_t {
    // Any format.
    frequency_out_of_range,  // the file's sampling frequency, or the one given (setting: fs)
    no_structure,            // neither a tagged recording's tags nor anything else the program reads
    option_not_read,         // setting: an option the format does not read; format; raw_input
    needs_frequency,         // raw binary without a sampling frequency
    // The data block of a tagged recording; its lines counted from 1.
    value_not_a_number,  // line
    no_pair,             // line: a paired line without its two values
    broken_pair,         // line: the first of a split pair without one v and one i value
    value_too_large,     // line
    too_many_lines,      // count: the most lines a block may have
    // Raw binary.
    raw_value_not_finite,  // column (voltage or current), count: the pair, from 1
    raw_value_too_large,   // the same
    raw_size,              // count: the file's bytes; limit: the bytes of a pair
    // Delimited text: its rows, by the file's lines.
    line_too_long,          // line; limit: the bytes a line may hold
    no_rows,                // tags_possible: a tagged recording was looked for too
    no_rows_after_header,   // other_line: the header row
    cell_missing,           // line, column, label; count: the line's fields
    cell_empty,             // line, column, label
    cell_not_a_number,      // line, column, label, text: the cell; the hints
    cell_too_large,         // line, column, label
    line_unreadable,        // line
    field_count,            // line; count: its fields; other_line: the header row (header_row) or the first row;
                            // limit: their fields
    too_many_rows,          // count: the most rows a table may have
    time_not_increasing,    // label; line, other_line: the first and the last time
    time_step_at_junction,  // line; value: the step; other_value: the step before it (joined tables)
    time_step_off_mean,     // line; value: the step; other_value: the mean step
    row_after_table,        // line; other_line: where the table ended; joined
    several_tables,         // lines: their header rows
    one_timed_row,          // a time column with one row cannot give the sampling frequency
    // Delimited text: its header, and the columns the options name.
    no_header_row,           // no line names the v and i columns
    table_missing,           // count: the table asked for; lines: the header rows of those found (none without)
    column_number_zero,      // setting
    column_beyond_table,     // setting, text: the number given; count: the columns
    no_column_named,         // setting, column, other_line: the header row; text: the name; names
    several_columns_named,   // setting, column, other_line, text, candidates
    no_known_column,         // setting, column, other_line, names
    only_weak_columns,       // setting, column, other_line, candidates
    several_known_columns,   // setting, column, other_line, candidates
    no_time_column,          // no time column nor preamble to give the sampling frequency
    preamble_unreadable,     // line, text: a statement of the sampling the program does not read
    preamble_disagrees,      // line, other_line: two statements of the sampling that differ
    units_not_tied,          // line: a line of units; count: its fields; limit: the rows' fields; comment
    units_disagree,          // column, label; text: the unit in the name; other_text: in the units row (other_line)
    text_in_number_column,   // line, label, text: a cell of text in a column whose first row holds a number
    unknown_unit,            // setting: the scale's; column, label; text: the unit; other_line: the units row or 0
    unit_of_other_quantity,  // setting: the column's; scale_setting; column, label, other_line; unit_of
    // A run in blocks.
    block_too_long,   // count: the block's samples; limit: the most a block holds; seconds, value: the frequency
    block_too_short,  // count, seconds, value as above; limit: the samples the sections need
};

// A column of a header row: its name as messages show it, and its number from 1.
struct numbered_name {
    std::string name{};
    std::size_t number = 0;
};

struct reading_problem {
    reading_rule rule;
    std::optional<setting_id> setting{};  // the setting concerned, when one is
    std::optional<setting_id> scale_setting{};
    std::int64_t line = 0;        // the file's line, from 1 (a tagged block's line for its rules)
    std::int64_t other_line = 0;  // a second line, as the rule says
    quantity column = quantity::voltage;
    quantity unit_of = quantity::voltage;
    std::string label{};                      // the column as messages name it: its header name, or "column K"
    std::string text{};                       // the cell, name, unit or number concerned, as messages show it
    std::string other_text{};                 // a second such text, as the rule says
    std::vector<std::string> names{};         // a header row's names
    std::vector<numbered_name> candidates{};  // the columns that could be meant
    std::vector<std::int64_t> lines{};        // header rows' lines
    std::int64_t count = 0;
    std::int64_t limit = 0;
    double value = 0.0;
    double other_value = 0.0;
    std::optional<double> seconds{};  // a block's duration when given in time
    bool decimal_comma_hint = false;  // the cell reads as a number with a decimal comma
    bool thousands_hint = false;      // the cell's whole part is cut into thousands
    bool tags_possible = false;
    bool header_row = false;
    bool comment = false;                  // the line is a comment
    bool joined = false;                   // the tables are joined
    std::optional<input_format> format{};  // the format concerned
    bool raw_input = false;                // the format is raw binary
};

}  // namespace veltrin
