// The tagged format's grammar for the reading engine: the header search,
// the data block's line rules (one value per tag, nothing else where a
// value should be, the layout's values on every line), its stops and their
// messages, and the line that stands for a line too long to hold. Common
// lines take the fast shape reader (tagged_shapes.hpp).
#include "input/tagged_grammar.hpp"

#include <optional>
#include <span>
#include <string_view>

#include "input/number_text.hpp"
#include "input/reading_engine.hpp"
#include "input/tag_search.hpp"
#include "input/tagged_shapes.hpp"
#include "model/error.hpp"

namespace veltrin {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

const char* skip_blanks(const char* p, const char* last)
{
    while (p != last && is_blank(*p)) ++p;
    return p;
}

// A value: blanks, a number (at least one digit), blanks, then `closing`
// or the end of [first, last). Blanks are spaces and tabs.
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

// The value after the tag found at `at`, closed by `closing` or the line's end.
bool value_after(std::string_view line, std::size_t at, const tag& t, std::string_view closing, double& value)
{
    return read_value(line.data() + at + t.text.size(), line.data() + line.size(), closing, value);
}

// The sampling frequency on a line holding the frequency tag: the number
// right after the tag, then blanks and "<" or the end of the line. False
// for anything else, which the frequency check then refuses.
bool read_frequency(std::string_view line, double& frequency)
{
    const std::size_t at = find_tag(line, frequency_tag);
    return at != std::string_view::npos && value_after(line, at, frequency_tag, "<", frequency);
}

// Why a line of the data block gives no sample.
enum class line_fault {
    none,
    not_a_number,  // a value's text is not a number of the grammar
    no_values,     // the line does not hold what its layout needs
};

// The values of block line c: a paired block's line holds "<v>", its value,
// "</v><i>" and the i value; a split block's line holds one v or one i value.
// The stores go where the layout puts them (index c, or c / 2).
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

// The tagged format's own stops.
enum tagged_stop : int {
    not_a_number = first_grammar_stop,
    no_pair,      // a paired line without its two values
    broken_pair,  // a split pair without one v and one i value
};

// The problem of a stop, lines counted from 1.
reading_problem stop_problem_of(const reading_stop& stop)
{
    const std::int64_t line = stop.line + 1;
    switch (stop.kind) {
    case not_a_number:
        return {.rule = reading_rule::value_not_a_number, .line = line};
    case no_pair:
        return {.rule = reading_rule::no_pair, .line = line};
    case broken_pair:
        return {.rule = reading_rule::broken_pair, .line = stop.line / 2 * 2 + 1};
    case value_too_large:
        return {.rule = reading_rule::value_too_large, .line = line};
    case too_many_lines:
        return {.rule = reading_rule::too_many_lines, .count = stop.line};
    default:
        return {.rule = reading_rule::line_unreadable, .line = line};
    }
}

// The short line that stands for a line too long to hold: the tags the
// reading looks for, and values that read as the whole line's would in
// either layout ("x" where the line's value is no number).
std::string summary_of(std::span<const tag_value> tags)
{
    const auto find = [&](const tag& t) -> const tag_value& {
        for (const tag_value& value : tags)
            if (value.tag == t.text) return value;
        return tags.front();  // every tag is watched
    };
    const tag_value& frequency = find(frequency_tag);
    const tag_value& pair = find(pair_tag);
    const tag_value& v = find(v_tag);
    const tag_value& i = find(i_tag);
    const auto value = [](const tag_value& t, std::string_view closing) {
        return t.closed_by(closing) ? t.number_text + std::string(closing) : std::string("x");
    };
    std::string line;
    if (frequency.found) line += std::string(frequency_tag.text) + value(frequency, "<");
    if (find(data_tag).found) line += data_tag.text;
    if (find(data_end_tag).found) line += data_end_tag.text;
    if (pair.found) {
        // The v value is closed by the first pair tag, which then follows it at once.
        if (v.found && v.position < pair.position) {
            const bool v_closed = v.number && v.after.starts_with(pair_tag.text);
            line += std::string(v_tag.text) + (v_closed ? v.number_text : "x") + std::string(pair_tag.text) +
                    value(pair, "</i>");
        } else {
            line += pair_tag.text;
        }
    } else if (v.found && i.found) {
        line += "<v><i>";
    } else if (v.found) {
        line += std::string(v_tag.text) + value(v, "</v>");
    } else if (i.found) {
        line += std::string(i_tag.text) + value(i, "</i>");
    }
    return line;
}

// The first line holding the frequency tag gives the frequency; the data
// tag on it or on a later line starts the block.
void read_tagged_header(line_reader& reader, const std::string& name, recording& result)
{
    std::string_view line;
    bool frequency_found = false;
    bool frequency_read = false;
    bool data_found = false;
    while (!data_found && read_line(reader, line)) {
        if (!frequency_found) {
            if (!holds(line, frequency_tag)) continue;
            frequency_found = true;
            frequency_read = read_frequency(line, result.sampling_frequency);
        }
        // The frequency line itself may carry the data tag too.
        data_found = holds(line, data_tag);
    }
    check_readable(reader, name);
    if (!data_found) {
        analysis_error error(error_kind::bad_data, name);
        error.reading = reading_problem{.rule = reading_rule::no_structure};
        error.looks_like_utf16 = reader.starts_as_utf16;
        throw error;
    }
    const double frequency = result.sampling_frequency;
    if (!frequency_read || !(frequency >= 1e-37 && frequency <= 1e37))
        fail_reading(error_kind::bad_data, name, {.rule = reading_rule::frequency_out_of_range});
    result.deltat = static_cast<float>(1.0 / frequency);
}

// The format's answers to the reading engine (see reading_engine.hpp).
struct tagged_grammar {
    using framing = line_framing;
    // The shapes of recent common lines, and the channel of a split pair's
    // first line (open_pair).
    using run_state = line_shapes;

    static constexpr std::string_view watched_tags[] = {frequency_tag.text, data_tag.text, data_end_tag.text,
                                                        pair_tag.text,      v_tag.text,    i_tag.text};

    static std::string summarize(std::span<const tag_value> tags) { return summary_of(tags); }

    bool gather_digits = true;
    bool paired = false;

    void read_header(line_reader& reader, const std::string& name, recording& result)
    {
        read_tagged_header(reader, name, result);
    }

    // A first line holding the pair tag makes the block paired.
    void start_block(std::string_view first_line) { paired = holds(first_line, pair_tag); }
    int unit_lines() const { return paired ? 1 : 2; }
    bool ends_block(std::string_view line, std::int64_t c) const { return c > 0 && holds(line, data_end_tag); }

    // A split pair holds one v and one i value, in either order (for the two readings below).
    reading_stop check_pair(std::int64_t c, line_shapes& state, const line_stores& s) const
    {
        if (paired) return {};
        const int channel = s.to_v[0] ? 0 : 1;
        if (c % 2 == 1 && channel == state.open_pair) return {broken_pair, c};
        state.open_pair = c % 2 == 0 ? channel : -1;
        return {};
    }

    reading_stop read_data_line(std::string_view line, std::int64_t c, line_shapes& state, line_stores& s) const
    {
        const line_fault fault = read_block_line(line, c, paired, s);
        if (fault == line_fault::not_a_number) return {not_a_number, c};
        if (fault == line_fault::no_values) return {paired ? no_pair : broken_pair, c};
        return check_pair(c, state, s);
    }

    reading_stop unfinished_unit(std::int64_t c) const { return {broken_pair, c}; }
    reading_problem stop_problem(const reading_stop& stop, std::string_view) const { return stop_problem_of(stop); }

    std::int64_t skim(const char*& p, const char* last, std::int64_t c, line_shapes& state,
                      const store_target& target) const
    {
        return read_lines_of_known_shapes(p, last, c, state, target, {}, gather_digits);
    }

    std::optional<reading_stop> read_common(std::string_view line, const char* readable_end, std::int64_t c,
                                            line_shapes& state, line_stores& s) const
    {
        if (!read_common_line(line, readable_end, c, paired, state, s)) return std::nullopt;
        return check_pair(c, state, s);
    }
};

static_assert(line_grammar<tagged_grammar>);

}  // namespace

recording read_tagged_recording(line_reader& reader, const std::string& name, const reading_options& options)
{
    tagged_grammar grammar;
    grammar.gather_digits = options.gather_digits;
    return read_with_grammar(reader, name, options, grammar);
}

}  // namespace veltrin
