// Delimited text, a field at a time: cutting a line into fields, the
// number a cell holds, and what a line of fields is (a row, a spreadsheet's
// error value).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrin {

// The delimiter ' ' stands for a run of blanks and tabs.
inline constexpr char blank_run = ' ';

// The delimiter a header row or a row of numbers shows: the first of tab,
// ';', ',' and blanks that it holds; blank_run also when it holds none (a
// line of one field).
char delimiter_of(std::string_view line);

// The fields of a line, cut at the delimiter; a field in double quotes may
// hold the delimiter. With blank_run, blanks at the line's start and end
// make no field.
void split_fields(std::string_view line, char delimiter, std::vector<std::string_view>& fields);

// The first field of a line, quotes and all (with blank_run, after the blanks that start it).
std::string_view first_field(std::string_view line, char delimiter);

// A field without the blanks and double quotes around it.
std::string_view trimmed(std::string_view field);

// The number a whole cell holds (blanks and quotes around it allowed): the
// program's number grammar with '.', or with ',' as the decimal separator
// when `decimal_comma`. False for anything else: empty, text, a number
// followed by text.
bool cell_number(std::string_view cell, bool decimal_comma, double& value);

// Whether a cell is a number only with a decimal comma ("1,5E-3").
bool needs_decimal_comma(std::string_view cell);

// Every field of the line is a number (at least one, empty ones aside),
// the line's fields cut by `delimiter` or, when it is 0, by the one the
// line shows; a decimal comma counts unless ',' cuts the fields.
bool is_number_row(std::string_view line, char delimiter = 0);

// A line that holds nothing but blanks.
bool is_blank_line(std::string_view line);

// A cell that starts as a number does (a sign, then a digit or a point and
// a digit), or a word for a value that is not finite ("NaN", "-inf"): a
// line with such a cell is a row of the table, whatever it holds.
bool looks_numeric(std::string_view cell);

// The fields of a line of the table: a delimiter at its end adds none.
std::size_t row_field_count(std::string_view line, char delimiter);

// A cell as spreadsheets write a formula's error ("#N/A", "#VALUE!"):
// a line that starts with one is a row, not a comment.
bool is_spreadsheet_error(std::string_view cell);

}  // namespace veltrin
