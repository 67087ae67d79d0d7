// Delimited text, a field at a time: cutting a line into fields, the
// number a cell holds, and what a column's name tells (a default name of
// v, i or time, and its unit).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// A field without the blanks and double quotes around it.
std::string_view trimmed(std::string_view field);

// The number a whole cell holds (blanks and quotes around it allowed): the
// program's number grammar with '.', or with ',' as the decimal separator
// when `decimal_comma`. False for anything else: empty, text, a number
// followed by text.
bool cell_number(std::string_view cell, bool decimal_comma, double& value);

// Whether a cell is a number only with a decimal comma ("1,5E-3").
bool needs_decimal_comma(std::string_view cell);

// A line's first non-empty field is a number (either decimal separator):
// the line is a row of the table, not text.
bool starts_as_number_row(std::string_view line, char delimiter);

// Every field of the line is a number (at least one, empty ones aside),
// the line's fields cut by `delimiter` or, when it is 0, by the one the
// line shows; a decimal comma counts unless ',' cuts the fields.
bool is_number_row(std::string_view line, char delimiter = 0);

// A line that holds nothing but blanks.
bool is_blank_line(std::string_view line);

enum class quantity { voltage, current, time };

// The factor to volts, amperes or seconds that a name's unit gives: a name
// ending in "/UNIT", "(UNIT)" or "[UNIT]"; nullopt when it has none that
// the program knows. `of` receives the unit's quantity.
std::optional<double> unit_scale(std::string_view name, quantity& of);

// Whether a header name is one of the names of v, i or the time that the
// program takes when no column is chosen.
bool is_default_name(std::string_view name, quantity q);

// "v", "i" or "time", for the messages.
const char* quantity_word(quantity q);
