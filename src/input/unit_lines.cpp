// Lines of names and of units above a delimited table.
#include "input/unit_lines.hpp"

#include <algorithm>
#include <optional>

#include "input/column_names.hpp"
#include "input/delimited_fields.hpp"

namespace veltrin {

// The names of a header row, trimmed; a delimiter at its end adds none.
std::vector<std::string_view> names_in(std::string_view line, char delimiter)
{
    std::vector<std::string_view> fields;
    split_fields(line, delimiter, fields);
    if (delimiter != blank_run && fields.size() > 1 && fields.back().empty()) fields.pop_back();
    for (std::string_view& field : fields) field = trimmed(field);
    return fields;
}

// A line under the header row that gives units: text only, with a unit the
// program reads in some cell.
bool is_units_row(std::string_view line, char delimiter)
{
    bool unit = false;
    for (const std::string_view cell : names_in(line, delimiter)) {
        if (looks_numeric(cell)) return false;
        unit = unit || read_unit(cell).has_value();
    }
    return unit;
}

// A units row that starts with the point number's "#" (a tab between the
// cells): no comment.
bool is_marked_units_row(std::string_view line, char delimiter)
{
    if (delimiter == blank_run) return false;
    const std::vector<std::string_view> cells = names_in(line, delimiter);
    return cells.size() >= 2 && cells.front() == "#" && is_units_row(line, delimiter);
}

// "(mV)" and "[mV]" as a units row writes them.
std::string_view unbracketed(std::string_view unit)
{
    if (unit.size() >= 2 &&
        ((unit.front() == '(' && unit.back() == ')') || (unit.front() == '[' && unit.back() == ']')))
        return trimmed(unit.substr(1, unit.size() - 2));
    return unit;
}

// Cells of units alone ("ms", "mV", "(uA)"), the point number's "#" and empty
// ones aside; at least one.
bool all_units(std::span<const std::string_view> cells)
{
    bool unit = false;
    for (const std::string_view cell : cells) {
        if (cell.empty() || cell == "#") continue;
        if (!read_unit(unbracketed(cell))) return false;
        unit = true;
    }
    return unit;
}

// Units the program reads: after a name ("E (mV)", "I/uA"), or alone in every cell.
bool carries_units(std::span<const std::string_view> cells)
{
    const bool named = std::any_of(cells.begin(), cells.end(), [](std::string_view cell) {
        const std::optional<std::string_view> unit = split_header_name(cell).unit;
        return !looks_numeric(cell) && unit && read_unit(*unit);
    });
    return named || all_units(cells);
}

// Cells as many as a row of `width` fields has, a delimiter at the line's
// end standing for an empty last one.
bool as_wide_as(std::string_view line, std::size_t cells, std::size_t width, char delimiter)
{
    while (line.ends_with('\r')) line.remove_suffix(1);
    return cells == width || (delimiter != blank_run && cells + 1 == width && line.ends_with(delimiter));
}

}  // namespace veltrin
