// Lines of names and of units above a delimited table: their cells, and
// whether they give units the program reads and as many as the rows' fields.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace veltrin {

// The names of a header row, trimmed; a delimiter at its end adds none.
std::vector<std::string_view> names_in(std::string_view line, char delimiter);

// A line under the header row that gives units: text only, with a unit the
// program reads in some cell.
bool is_units_row(std::string_view line, char delimiter);

// A units row that starts with the point number's "#" (a tab between the
// cells): no comment.
bool is_marked_units_row(std::string_view line, char delimiter);

// "(mV)" and "[mV]" as a units row writes them: "mV".
std::string_view unbracketed(std::string_view unit);

// Cells of units alone ("ms", "mV", "(uA)"), the point number's "#" and empty
// ones aside; at least one.
bool all_units(std::span<const std::string_view> cells);

// Units the program reads: after a name ("E (mV)", "I/uA"), or alone in every cell.
bool carries_units(std::span<const std::string_view> cells);

// Cells as many as a row of `width` fields has, a delimiter at the line's
// end standing for an empty last one.
bool as_wide_as(std::string_view line, std::size_t cells, std::size_t width, char delimiter);

}  // namespace veltrin
