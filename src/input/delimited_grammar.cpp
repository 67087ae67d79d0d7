// The delimited-text grammar for the reading engine: the rules of a row,
// the end of the table and what may follow it, and the sampling frequency
// of a time column.
#include "input/delimited_grammar.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "input/column_names.hpp"
#include "input/delimited_fields.hpp"
#include "input/delimited_header.hpp"
#include "input/number_text.hpp"
#include "input/reading_engine.hpp"
#include "input/tagged_shapes.hpp"
#include "input/time_steps.hpp"
#include "input/unit_lines.hpp"
#include "model/error.hpp"

namespace veltrin {

namespace {

// The delimited format's own stops.
enum delimited_stop : int {
    bad_cell = first_grammar_stop,  // a column's cell is missing, empty or not a number
    line_too_long,
    field_count,  // a row with more or fewer fields than the header row
    summary_row,  // text in a first column not read whose first row holds a number
};

// The cells of one row at the table's columns; false when the row is too short.
struct row_cells {
    std::string_view v, i, time;
    std::size_t fields = 0;
};

void cut_row(std::string_view line, const table_layout& t, row_cells& cells)
{
    const char* p = line.data();
    const char* const last = p + line.size();
    std::size_t k = 0;
    const std::size_t wanted = t.fields_needed;
    const std::size_t time_index = t.time ? t.time->index : wanted;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (t.delimiter == blank_run)
        while (p != last && blank(*p)) ++p;
    while (k < wanted) {
        const char* end = p;
        bool quoted = false;
        for (; end != last; ++end) {
            if (*end == '"')
                quoted = !quoted;
            else if (!quoted && (t.delimiter == blank_run ? blank(*end) : *end == t.delimiter))
                break;
        }
        const std::string_view cell(p, static_cast<std::size_t>(end - p));
        if (k == t.v.index) cells.v = cell;
        if (k == t.i.index) cells.i = cell;
        if (k == time_index) cells.time = cell;
        ++k;
        if (end == last) break;
        p = end + 1;
        if (t.delimiter == blank_run) {
            while (p != last && blank(*p)) ++p;
            if (p == last) break;
        }
    }
    cells.fields = k;
}

// Whether a cell's whole part is cut into groups of three digits by
// `separator` ("1,000.5", "-12,345").
bool has_thousands(std::string_view text, char separator, char point)
{
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
    text = text.substr(0, text.find(point));
    std::size_t group = 0;
    bool first = true;
    bool cut = false;
    for (const char c : text) {
        if (c == separator) {
            if (group == 0 || group > 3 || (!first && group != 3)) return false;
            first = false;
            cut = true;
            group = 0;
        } else if (c >= '0' && c <= '9') {
            ++group;
        } else {
            return false;
        }
    }
    return cut && group == 3;
}

// The rest of a row from q, after the last field read: a LF or CR LF at
// once, or fields not read, without another CR or a quote. The LF that
// ends the line, `fields` counted on; nullptr for any other line.
const char* end_of_row(const char* q, const char* last, char d, std::size_t& fields)
{
    const bool blanks = d == blank_run;
    const auto is_blank = [](char ch) { return ch == ' ' || ch == '\t'; };
    if (*q == '\r' && last - q >= 2 && q[1] == '\n') return q + 1;
    if (*q == '\n') return q;
    if (*q != d && !(blanks && is_blank(*q))) return nullptr;
    const void* feed = std::memchr(q, '\n', static_cast<std::size_t>(last - q));
    if (feed == nullptr) return nullptr;
    const char* const line_end = static_cast<const char*>(feed);
    const char* const fields_end = line_end[-1] == '\r' ? line_end - 1 : line_end;
    for (const char* r = q; r != fields_end;) {
        if (*r == '\r' || *r == '"') return nullptr;
        if (blanks) {
            while (r != fields_end && is_blank(*r)) ++r;
            if (r == fields_end) break;
            ++fields;
            while (r != fields_end && !is_blank(*r)) {
                if (*r == '\r' || *r == '"') return nullptr;
                ++r;
            }
        } else {
            fields += *r == d ? 1 : 0;
            ++r;
        }
    }
    // A delimiter at the line's end adds no field.
    if (!blanks && fields_end[-1] == d) --fields;
    return line_end;
}

// The problem of a row that cannot give its sample: the first column at fault.
reading_problem cell_problem(std::string_view line, const table_layout& t, std::int64_t file_line)
{
    row_cells cells;
    cut_row(line, t, cells);
    struct named_cell {
        const table_column* c;
        std::string_view text;
        quantity q;
        double scale;
    };
    std::vector<named_cell> checked = {{&t.v, cells.v, quantity::voltage, t.v_scale},
                                       {&t.i, cells.i, quantity::current, t.i_scale}};
    if (t.time) checked.push_back({&*t.time, cells.time, quantity::time, t.time_scale});
    std::sort(checked.begin(), checked.end(),
              [](const named_cell& a, const named_cell& b) { return a.c->index < b.c->index; });
    for (const named_cell& n : checked) {
        reading_problem problem{
            .rule = reading_rule::cell_missing, .line = file_line, .column = n.q, .label = message_text(n.c->label)};
        if (n.c->index >= cells.fields) {
            problem.count = static_cast<std::int64_t>(cells.fields);
            return problem;
        }
        double value = 0.0;
        const std::string_view text = trimmed(n.text);
        if (text.empty()) {
            problem.rule = reading_rule::cell_empty;
            return problem;
        }
        if (!cell_number(n.text, t.decimal_comma, value)) {
            // Why a cell that is no number may still be meant as one.
            problem.rule = reading_rule::cell_not_a_number;
            problem.text = message_text(text);
            problem.decimal_comma_hint = !t.decimal_comma && cell_number(text, true, value);
            problem.thousands_hint = has_thousands(text, t.decimal_comma ? '.' : ',', t.decimal_comma ? ',' : '.');
            return problem;
        }
        if (n.q != quantity::time && std::isinf(static_cast<float>(value * n.scale))) {
            problem.rule = reading_rule::cell_too_large;
            return problem;
        }
    }
    return {.rule = reading_rule::line_unreadable, .line = file_line};
}

// The format's answers to the reading engine (see reading_engine.hpp).
struct delimited_grammar {
    using framing = delimited_line_framing;
    using run_state = line_shapes;
    static constexpr bool marked_end = false;
    // A last line without its line end was still being written: it is no row.
    static constexpr bool unended_line_cut = true;
    static constexpr std::string_view watched_tags[] = {"#"};

    // A comment stays a comment however long; any other long line is no row.
    static std::string summarize(std::span<const tag_value> tags)
    {
        return tags.front().found && tags.front().position == 0 ? "#" : std::string(long_line);
    }

    const reading_options* options = nullptr;
    const std::string* name = nullptr;
    bool gather_digits = true;
    table_layout t;
    time_steps steps;
    bool first_numeric = false;  // the first column, not read, holds a number in the first row

    std::int64_t file_line(std::int64_t c) const { return t.lines_before + c + 1; }

    void read_header(line_reader& reader, const std::string& file_name, recording& result)
    {
        reader.cr_cr_lf = true;
        t = read_table_header(reader, file_name, *options, result);
    }

    enum class line_kind { row, no_sample, table_end };

    // A row holds a number in some field; comments, blank lines and, when
    // the tables are joined, the lines between them hold no sample; a line
    // of text, or the next table's title, ends the table.
    line_kind kind_of(std::string_view line) const
    {
        if (line == long_line) return line_kind::row;
        if (line.starts_with('#')) {
            const std::size_t end = t.delimiter == blank_run ? line.find_first_of(" \t") : line.find(t.delimiter);
            return is_spreadsheet_error(line.substr(0, end)) ? line_kind::row : line_kind::no_sample;
        }
        if (is_blank_line(line)) return line_kind::no_sample;
        // Most rows start with a number: no need to look further.
        const std::size_t first_end = t.delimiter == blank_run
                                          ? line.find_first_of(" \t", line.find_first_not_of(" \t"))
                                          : line.find(t.delimiter);
        if (looks_numeric(line.substr(0, first_end)) && !trimmed(line.substr(0, first_end)).starts_with('"'))
            return line_kind::row;
        const bool title = is_table_title(line, t.delimiter);
        if (t.join_tables && (title || repeats_header(line, t) || repeats_units(line, t))) return line_kind::no_sample;
        if (title) return line_kind::table_end;
        std::vector<std::string_view> fields;
        split_fields(line, t.delimiter, fields);
        return std::any_of(fields.begin(), fields.end(), looks_numeric) ? line_kind::row : line_kind::table_end;
    }

    // Without a header row, the first row tells how many fields a row has;
    // it also tells the decimal separator, unless that is given.
    void start_block(std::string_view first_line)
    {
        if (kind_of(first_line) != line_kind::row || first_line == long_line) return;
        if (t.field_count == 0) t.field_count = row_field_count(first_line, t.delimiter);
        const bool first_read = t.v.index == 0 || t.i.index == 0 || (t.time && t.time->index == 0);
        first_numeric = !first_read && looks_numeric(first_field(first_line, t.delimiter));
        if (t.decimal_comma_known || t.delimiter == ',') return;
        std::vector<std::string_view> fields;
        split_fields(first_line, t.delimiter, fields);
        for (const std::string_view field : fields)
            if (needs_decimal_comma(field)) t.decimal_comma = true;
    }

    int unit_lines() const { return 1; }

    // Text in a first column not read whose first row holds a number: a
    // summary row ("Mean", "Std") under the table, which is no sample.
    bool summary_cell(std::string_view line) const
    {
        if (!first_numeric) return false;
        const std::string_view cell = trimmed(first_field(line, t.delimiter));
        return !cell.empty() && !looks_numeric(cell);
    }

    bool ends_block(std::string_view line, std::int64_t) const { return kind_of(line) == line_kind::table_end; }

    reading_stop read_data_line(std::string_view line, std::int64_t c, run_state&, line_stores& s) const
    {
        if (line == long_line || line.size() > t.held_limit) return {line_too_long, c};
        if (kind_of(line) != line_kind::row) {
            s.count = 0;
            return {};
        }
        // A delimiter at a row's end adds no field, unless the header row names one more: an empty last column.
        if (t.field_count != 0 && !as_wide_as(line, row_field_count(line, t.delimiter), t.field_count, t.delimiter))
            return {field_count, c};
        if (summary_cell(line)) return {summary_row, c};
        row_cells cells;
        cut_row(line, t, cells);
        double v = 0.0;
        double i = 0.0;
        double time = 0.0;
        if (cells.fields < t.fields_needed || !cell_number(cells.v, t.decimal_comma, v) ||
            !cell_number(cells.i, t.decimal_comma, i) || (t.time && !cell_number(cells.time, t.decimal_comma, time)))
            return {bad_cell, c};
        s = line_stores{2, {true, false}, {c, c}, {v * t.v_scale, i * t.i_scale}};
        if (t.time) {
            s.timed = true;
            s.time = time;
        }
        return {};
    }

    reading_stop unfinished_unit(std::int64_t c) const { return {bad_cell, c}; }

    // A slot is a line: the lines that hold a sample give the times, in
    // order, in runs between those without one.
    void take_times(std::span<const double> times, std::int64_t first_slot, std::span<const std::int64_t> no_sample)
    {
        auto empty = std::lower_bound(no_sample.begin(), no_sample.end(), first_slot);
        std::size_t k = 0;
        while (k < times.size()) {
            const std::size_t run_end =
                empty == no_sample.end() || *empty - first_slot >= static_cast<std::int64_t>(times.size())
                    ? times.size()
                    : static_cast<std::size_t>(*empty - first_slot);
            if (k < run_end) steps.add_run(times.subspan(k, run_end - k), first_slot + static_cast<std::int64_t>(k));
            k = run_end + 1;
            if (empty != no_sample.end()) ++empty;
        }
    }

    // A common row read straight through: unquoted numbers that
    // read_number_exactly takes right between the delimiters, the row's
    // number of fields, a LF after the line. Its values in s, where its
    // numbers are (v, i, then the time), and p moved past it; false for any
    // other line, which the rules above then read.
    bool read_simple_row(const char*& p, const char* last, std::int64_t c, line_stores& s, const char* (&first)[3],
                         const char* (&end)[3]) const
    {
        const char point = t.decimal_comma ? ',' : '.';
        const char d = t.delimiter;
        // Decimal commas between commas are quoted: the rules read them.
        if (point == d) return false;
        const bool blanks = d == blank_run;
        const std::size_t time_index = t.time ? t.time->index : t.fields_needed;
        const auto is_blank = [](char ch) { return ch == ' ' || ch == '\t'; };
        const char* q = p;
        if (blanks)
            while (q != last && is_blank(*q)) ++q;
        double values[3] = {0.0, 0.0, 0.0};
        bool row = false;  // a number has been the first field that is not empty
        for (std::size_t k = 0; k < t.fields_needed; ++k) {
            // One column may be read twice (v and i the same, say).
            const bool read[3] = {k == t.v.index, k == t.i.index, k == time_index};
            if (read[0] || read[1] || read[2]) {
                const char* const number = q;
                double value = 0.0;
                q = read_number_exactly(q, last, value, point);
                if (q == nullptr) return false;
                for (int slot = 0; slot < 3; ++slot) {
                    if (!read[slot]) continue;
                    values[slot] = value;
                    first[slot] = number;
                    end[slot] = q;
                }
                row = true;
            } else {
                const char* const field = q;
                while (q != last && *q != d && *q != '\n' && *q != '\r' && *q != '"' && !(blanks && is_blank(*q))) ++q;
                // A row starts with a number: the first field with text must be one.
                if (!row && q != field) {
                    double ignored = 0.0;
                    if (read_number_exactly(field, q, ignored, point) != q) return false;
                    row = true;
                }
            }
            if (k + 1 == t.fields_needed) break;
            if (q == last || !(blanks ? is_blank(*q) : *q == d)) return false;
            ++q;
            if (blanks)
                while (q != last && is_blank(*q)) ++q;
        }
        if (q == last) return false;
        std::size_t fields = t.fields_needed;
        q = end_of_row(q, last, d, fields);
        if (q == nullptr) return false;
        if (fields != t.field_count) return false;
        if (static_cast<std::size_t>(q - p) > t.held_limit) return false;
        s = line_stores{2, {true, false}, {c, c}, {values[0] * t.v_scale, values[1] * t.i_scale}};
        s.timed = t.time.has_value();
        s.time = values[2];
        p = q + 1;
        return true;
    }

    // The common rows at once. Rows repeat their shapes (tagged_shapes.hpp),
    // which reads them fastest, unless a scale could take a value beyond a
    // float, which the straight reading stops at.
    std::int64_t skim(const char*& p, const char* last, std::int64_t c, run_state& shapes,
                      const store_target& target) const
    {
        const bool shaped = shapes_can_scale(t.v_scale) && shapes_can_scale(t.i_scale);
        // Times stay in the file's unit: their steps are exact there.
        const value_scales scales{t.v_scale, t.i_scale, 1.0};
        const char point = t.decimal_comma ? ',' : '.';
        std::int64_t read = 0;
        for (;;) {
            if (shaped) read += read_lines_of_known_shapes(p, last, c + read, shapes, target, scales, gather_digits);
            const char* const line = p;
            line_stores s;
            const char* first[3] = {};
            const char* end[3] = {};
            if (p == last || !read_simple_row(p, last, c + read, s, first, end)) break;
            if (reading_engine::store_in(target, s, c + read).stops()) {
                p = line;
                break;
            }
            ++read;
            if (!shaped) continue;
            const auto length = static_cast<std::size_t>(p - 1 - line);
            if (length <= longest_shape && last - line >= static_cast<std::ptrdiff_t>(shape_reach))
                learn_line_shape(std::string_view(line, length), s, first, end, point, shapes);
            else
                shapes.current = line_shapes::none;
        }
        return read;
    }

    reading_problem stop_problem(const reading_stop& stop, std::string_view line) const
    {
        const std::int64_t at = file_line(stop.line);
        switch (stop.kind) {
        case bad_cell:
        case value_too_large:
            return cell_problem(line, t, at);
        case line_too_long:
            return {.rule = reading_rule::line_too_long, .line = at, .limit = static_cast<std::int64_t>(t.held_limit)};
        case field_count:
            return {.rule = reading_rule::field_count,
                    .line = at,
                    .other_line = t.header_at > 0 ? t.header_at : t.lines_before + 1,
                    .count = static_cast<std::int64_t>(row_field_count(line, t.delimiter)),
                    .limit = static_cast<std::int64_t>(t.field_count),
                    .header_row = t.header_at > 0};
        case too_many_lines:
            return {.rule = reading_rule::too_many_rows, .count = most_count};
        case summary_row:
            return {.rule = reading_rule::text_in_number_column,
                    .line = at,
                    .label = t.header.empty() ? std::string() : message_text(t.header.front()),
                    .text = message_text(trimmed(first_field(line, t.delimiter))),
                    .count = 1};
        default:
            return {.rule = reading_rule::line_unreadable, .line = at};
        }
    }

    void after_block(line_reader& reader, std::int64_t block_lines, std::string_view ending_line,
                     std::span<const std::int64_t> no_sample, recording& result) const;
    void take_frequency_from_times(recording& result) const;
    std::vector<std::int64_t> read_after_table(line_reader& reader, std::int64_t block_lines,
                                               std::string_view ending_line) const;
};

static_assert(line_grammar<delimited_grammar>);

// The frequency from the times: they increase, each step within 1 % of the
// mean (and, joined tables, of the step before the junction).
void delimited_grammar::take_frequency_from_times(recording& result) const
{
    if (!t.time || steps.count < 2) return;
    const std::int64_t n = steps.count;
    const double span = steps.last - steps.first;  // in the column's unit
    const double mean = span / static_cast<double>(n - 1);
    const double unit = t.time_scale;
    if (!(mean > 0.0))
        bad_file(*name, {.rule = reading_rule::time_not_increasing,
                         .line = file_line(steps.first_line),
                         .other_line = file_line(steps.last_line),
                         .label = message_text(t.time->label)});
    // Joined tables: each goes on with the step the one before ended with.
    if (t.join_tables && steps.junction)
        bad_file(*name, {.rule = reading_rule::time_step_at_junction,
                         .line = file_line(steps.junction->line),
                         .value = steps.junction->size * unit,
                         .other_value = steps.junction_before * unit});
    if (const std::optional<time_steps::step> broken = steps.first_broken(mean))
        bad_file(*name, {.rule = reading_rule::time_step_off_mean,
                         .line = file_line(broken->line),
                         .value = broken->size * unit,
                         .other_value = mean * unit});
    // Steps of whole milliseconds give 1000 / step Hz exactly.
    result.sampling_frequency = static_cast<double>(n - 1) / span * (1.0 / unit);
}

// After the table: text, blank lines, comments and other tables whose
// header row repeats this one's, but no more rows. The header rows' lines.
std::vector<std::int64_t> delimited_grammar::read_after_table(line_reader& reader, std::int64_t block_lines,
                                                              std::string_view ending_line) const
{
    enum class place { after_table, other_header, other_rows } at_place = place::after_table;
    std::vector<std::int64_t> headers = t.tables;
    const std::int64_t ended_on = file_line(block_lines);
    const auto take = [&](std::string_view line, std::int64_t at) {
        if (line == long_line || is_blank_line(line)) return;
        if (line.starts_with('#') && kind_of(line) != line_kind::row) return;
        if (t.join_tables ? repeats_header(line, t) : starts_table(line, t)) {
            headers.push_back(at);
            at_place = place::other_header;
            return;
        }
        std::vector<std::string_view> fields;
        split_fields(line, t.delimiter, fields);
        if (is_table_title(line, t.delimiter) || std::none_of(fields.begin(), fields.end(), looks_numeric)) {
            if (at_place == place::other_rows) at_place = place::after_table;
            return;
        }
        if (at_place == place::after_table)
            bad_file(
                *name,
                {.rule = reading_rule::row_after_table, .line = at, .other_line = ended_on, .joined = t.join_tables});
        at_place = place::other_rows;
    };
    std::int64_t at = ended_on;
    if (ending_line.data() != nullptr) take(ending_line, at);
    std::string_view line;
    while (read_line(reader, line)) take(line, ++at);
    check_readable(reader, *name);
    return headers;
}

void delimited_grammar::after_block(line_reader& reader, std::int64_t block_lines, std::string_view ending_line,
                                    std::span<const std::int64_t>, recording& result) const
{
    const std::string& file_name = *name;
    if (result.last_line_cut) result.input.dropped_last_row = file_line(block_lines);
    take_frequency_from_times(result);
    std::vector<std::int64_t> headers = read_after_table(reader, block_lines, ending_line);
    if (headers.size() > 1 && !options->input.table)
        options_do_not_fit(file_name, {.rule = reading_rule::several_tables, .lines = std::move(headers)});
    if (samples_read(result) == 0)
        bad_file(file_name, t.header_at > 0
                                ? reading_problem{.rule = reading_rule::no_rows_after_header, .other_line = t.header_at}
                                : reading_problem{.rule = reading_rule::no_rows});
    if (t.time && samples_read(result) < 2) options_do_not_fit(file_name, {.rule = reading_rule::one_timed_row});
    if (t.time) {
        const double frequency = result.sampling_frequency;
        if (!(frequency >= 1e-37 && frequency <= 1e37))
            bad_file(file_name, {.rule = reading_rule::frequency_out_of_range});
        result.deltat = static_cast<float>(1.0 / frequency);
    }
}

}  // namespace

recording read_delimited_recording(line_reader& reader, const std::string& name, const reading_options& options)
{
    delimited_grammar grammar;
    grammar.options = &options;
    grammar.name = &name;
    grammar.gather_digits = options.gather_digits;
    try {
        return read_with_grammar(reader, name, options, grammar);
    } catch (analysis_error& error) {
        error.looks_like_utf16 = reader.starts_as_utf16;
        throw;
    }
}

}  // namespace veltrin
