// The three formats a result is written in: table, CSV and JSON.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "model/result.hpp"

namespace veltrin {

// The settings as the CSV "#" lines and the JSON "settings" object give them.
using setting_value = std::variant<std::int64_t, double, std::string>;
std::vector<std::pair<std::string, setting_value>> settings_of(const spectrum_result& result);

// jsonl: JSON Lines, one object a line; a whole result is one line of JSON.
enum class result_format { table, csv, json, jsonl };

// Writes the whole result to the stream; errors show in the stream's state.
// The table names the data file with its control characters as \xHH, or,
// for the configuration mode, byte for byte as configured.
void write_result(std::FILE* stream, const spectrum_result& result, result_format format,
                  bool name_as_configured = false);

// A name on a "#" line or a table's first line, control characters as \xHH.
std::string printable(const std::string& name);

// A setting's value as the "#" lines write it.
std::string text_of(const setting_value& value);

// One "%14.6e" field, except that not-a-number is always "nan" (never "-nan").
void append_field(std::string& text, double value);

// The shortest text that reads back to the same double; "nan", "inf", "-inf".
void append_shortest(std::string& text, double value);

}  // namespace veltrin
