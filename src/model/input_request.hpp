// What the user says about how to read a data file: its format and, for
// delimited text and raw binary, what the file itself does not say or says
// otherwise. Every front end fills it; the input layer reads by it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/settings.hpp"

namespace veltrin {

// The input formats, by the names of the table in input/reading.cpp:
// "auto", then the formats the program reads.
enum class input_format { automatic, tagged, delimited, f32le, f64le, f32be, f64be };

// What the user says about the file: its format and, for delimited text
// and raw binary, what the file itself does not say or says otherwise.
struct input_request {
    input_format format = input_format::tagged;  // the front ends default to auto
    // A column by its header name, or by its number from 1 (all digits).
    std::optional<std::string> v_column{};
    std::optional<std::string> i_column{};
    std::optional<std::string> time_column{};
    std::optional<double> sampling_frequency{};  // overrides the file's
    std::optional<char> delimiter{};             // ',' ';' '\t', or ' ' for a run of blanks and tabs
    bool decimal_comma = false;                  // forced on; otherwise found from the first data row
    std::optional<std::int64_t> skip{};          // lines before the header row
    std::optional<std::int64_t> table{};         // which of several tables, from 1; 0 joins them all
    std::optional<double> v_scale{};             // overrides the column's unit
    std::optional<double> i_scale{};
};

// A column number from 1 to this; a larger one is no column of any table.
inline constexpr std::int64_t most_column_number = 2147483647;

// Whether a column as the options give it is one: a header name (not all
// digits), or all digits for a number from 1 to most_column_number.
bool valid_column(std::string_view column);

// Whether the request gives a reading setting (false for any other setting).
bool gives(const input_request& in, setting_id id);

}  // namespace veltrin
