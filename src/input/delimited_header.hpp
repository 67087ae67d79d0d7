// Delimited text up to its first row: the preamble, the header row and its
// units row, the columns of v, i and the time and their scales, the table
// asked for, and what the preamble says of the sampling frequency.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/line_reader.hpp"
#include "input/reading.hpp"
#include "model/problem.hpp"

namespace veltrin {

// A line too long to hold: a comment, or a line that stands for one that is no row.
inline constexpr std::string_view long_line = "\x01";

// A column as it is read: its field index and how messages name it.
struct table_column {
    std::size_t index = 0;
    std::string label;  // the header name, or "column K"
};

// How every row of the table is read.
struct table_layout {
    char delimiter = ',';
    bool decimal_comma = false;
    bool decimal_comma_known = false;
    table_column v;
    table_column i;
    std::optional<table_column> time;
    double v_scale = 1.0;
    double i_scale = 1.0;
    double time_scale = 1.0;
    std::size_t fields_needed = 0;     // the read columns' last, plus one
    std::size_t field_count = 0;       // every row's fields; 0 until the first row tells (no header row)
    std::vector<std::string> header;   // the header row's names, trimmed; empty without one
    std::vector<std::string> units;    // the units row's cells, trimmed; empty without one
    std::int64_t lines_before = 0;     // the file's lines before the table's first row
    std::int64_t header_at = 0;        // the header row's line, 0 without one
    std::vector<std::int64_t> tables;  // the header rows' lines of the tables before the one read, and its own
    bool join_tables = false;          // --table all
    std::size_t held_limit = default_held_limit;
};

// Reads from the file's start up to the first row of the table asked for,
// and settles how its rows are read; fills the reading's description.
// Raises analysis_error (input_options when the options do not fit).
table_layout read_table_header(line_reader& reader, const std::string& file_name, const reading_options& options,
                               recording& result);

// A line of the table that repeats the header row, or the units row; one
// that names the same columns, whatever their units, starts a table.
bool repeats_header(std::string_view line, const table_layout& t);
bool starts_table(std::string_view line, const table_layout& t);
bool repeats_units(std::string_view line, const table_layout& t);

// A line that names the next table ("CURVE2<tab>TABLE<tab>601").
bool is_table_title(std::string_view line, char delimiter);

// The two failures of delimited text: options that do not fit the file
// (input_options), and a file that breaks the rules (bad_data).
[[noreturn]] void options_do_not_fit(const std::string& name, reading_problem problem);
[[noreturn]] void bad_file(const std::string& name, reading_problem problem);

}  // namespace veltrin
