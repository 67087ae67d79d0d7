// The data block's line rules: one value per tag, nothing else where a
// value should be, and the layout's values on every line.
#include "input/tagged_lines.hpp"

#include "input/number_text.hpp"
#include "input/tag_search.hpp"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

const char* skip_blanks(const char* p, const char* last)
{
    while (p != last && is_blank(*p)) ++p;
    return p;
}

// The value after the tag found at `at`, closed by `closing` or the line's end.
bool value_after(std::string_view line, std::size_t at, const tag& t, std::string_view closing, double& value)
{
    return read_value(line.data() + at + t.text.size(), line.data() + line.size(), closing, value);
}

}  // namespace

bool read_value(const char* first, const char* last, std::string_view closing, double& value)
{
    const char* const number = skip_blanks(first, last);
    const std::size_t extent = number_extent(number, last);
    if (extent == 0) return false;
    const char* const after = skip_blanks(number + extent, last);
    const auto rest = static_cast<std::size_t>(last - after);
    if (rest != 0 && (rest < closing.size() || closing.empty() || std::string_view(after, closing.size()) != closing))
        return false;
    value = parse_number(number, number + extent);
    return true;
}

line_fault read_block_line(std::string_view line, std::int64_t c, bool paired, line_stores& s)
{
    const std::size_t pair_at = find_tag(line, pair_tag);
    const std::size_t v_at = find_tag(line, v_tag);
    if (paired) {
        if (pair_at == std::string_view::npos || v_at == std::string_view::npos || v_at > pair_at)
            return line_fault::no_values;
        // The v value runs up to the pair tag, which closes it.
        double v = 0.0;
        double i = 0.0;
        if (!read_value(line.data() + v_at + v_tag.text.size(), line.data() + pair_at, "", v) ||
            !value_after(line, pair_at, pair_tag, "</i>", i))
            return line_fault::not_a_number;
        s = line_stores{2, {true, false}, {c, c}, {v, i}};
        return line_fault::none;
    }
    const std::size_t i_at = find_tag(line, i_tag);
    if (pair_at != std::string_view::npos || (v_at == std::string_view::npos) == (i_at == std::string_view::npos))
        return line_fault::no_values;
    const bool to_v = v_at != std::string_view::npos;
    double value = 0.0;
    if (!(to_v ? value_after(line, v_at, v_tag, "</v>", value) : value_after(line, i_at, i_tag, "</i>", value)))
        return line_fault::not_a_number;
    s = line_stores{1, {to_v, false}, {c / 2, 0}, {value, 0.0}};
    return line_fault::none;
}

bool read_frequency(std::string_view line, double& frequency)
{
    const std::size_t at = find_tag(line, frequency_tag);
    return at != std::string_view::npos && value_after(line, at, frequency_tag, "<", frequency);
}

reading_stop stop_for(line_fault fault, std::int64_t c, bool paired)
{
    if (fault == line_fault::not_a_number) return {stop_kind::not_a_number, c};
    if (fault == line_fault::no_values) return {paired ? stop_kind::no_pair : stop_kind::broken_pair, c};
    return {};
}

std::string stop_message(const reading_stop& stop)
{
    const std::string line = std::to_string(stop.line + 1);
    switch (stop.kind) {
    case stop_kind::not_a_number:
        return "\nFatal error: the value on line " + line + " of the data block is not a number.\n";
    case stop_kind::no_pair:
        return "\nFatal error: line " + line + " of the data block does not hold a v and an i value.\n";
    case stop_kind::broken_pair: {
        const std::int64_t first = stop.line / 2 * 2 + 1;
        return "\nFatal error: lines " + std::to_string(first) + " and " + std::to_string(first + 1) +
               " of the data block do not hold one v and one i value.\n";
    }
    case stop_kind::too_large:
        return "\nFatal error: the value on line " + line +
               " of the data block is too large for single precision.\n";
    case stop_kind::none: break;
    }
    return "";
}
