// The search for the header row and the columns of delimited text, the
// units that scale them, the table asked for among several, and the
// sampling frequency that a preamble states.
#include "input/delimited_header.hpp"

#include <algorithm>
#include <span>

#include "input/column_choice.hpp"
#include "input/column_names.hpp"
#include "input/delimited_fields.hpp"
#include "input/preamble_facts.hpp"
#include "input/unit_lines.hpp"
#include "input/reading_engine.hpp"
#include "model/error.hpp"

namespace veltrin {

namespace {

bool same_names(std::string_view line, char delimiter, const std::vector<std::string>& names)
{
    if (names.empty()) return false;
    const std::vector<std::string_view> fields = names_in(line, delimiter);
    return std::equal(fields.begin(), fields.end(), names.begin(), names.end());
}

// The same names, whatever units follow them ("I/mA" and "I/uA").
bool alike_names(std::string_view line, char delimiter, const std::vector<std::string>& names)
{
    if (names.empty()) return false;
    const std::vector<std::string_view> fields = names_in(line, delimiter);
    return std::equal(fields.begin(), fields.end(), names.begin(), names.end(),
                      [](std::string_view a, const std::string& b) {
                          return split_header_name(a).name == split_header_name(b).name;
                      });
}

// "Nb header lines : N": the header row is the file's line N.
std::optional<std::int64_t> header_line_count(std::string_view line)
{
    line = trimmed(line);
    constexpr std::string_view lead = "Nb header lines";
    if (!line.starts_with(lead)) return std::nullopt;
    line = trimmed(line.substr(lead.size()));
    if (!line.starts_with(':')) return std::nullopt;
    line = trimmed(line.substr(1));
    std::int64_t n = 0;
    if (line.empty() || line.size() > 9) return std::nullopt;
    for (const char c : line) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

[[noreturn]] void options_do_not_fit(const std::string& name, reading_problem problem)
{
    fail_reading(error_kind::input_options, name, std::move(problem));
}

[[noreturn]] void bad_file(const std::string& name, reading_problem problem)
{
    fail_reading(error_kind::bad_data, name, std::move(problem));
}

bool repeats_header(std::string_view line, const table_layout& t)
{
    return same_names(line, t.delimiter, t.header);
}

bool starts_table(std::string_view line, const table_layout& t)
{
    return alike_names(line, t.delimiter, t.header);
}

bool repeats_units(std::string_view line, const table_layout& t)
{
    return same_names(line, t.delimiter, t.units);
}

bool is_table_title(std::string_view line, char delimiter)
{
    const std::vector<std::string_view> fields = names_in(line, delimiter);
    return fields.size() >= 2 && fields[1] == "TABLE" && !fields[0].empty() && !looks_numeric(fields[0]);
}

namespace {

// The lines before the table as they are read: the reader, the options,
// the line just read and its number in the file.
struct header_reader {
    line_reader& reader;
    const std::string& file_name;
    const input_request& in;
    std::size_t held_limit;
    column_choice v_choice;
    column_choice i_choice;
    column_choice time_choice;
    bool by_number = false;
    std::int64_t lines = 0;  // lines of the file read
    std::string_view line{};

    bool next_line()
    {
        if (!read_line(reader, line)) return false;
        ++lines;
        return true;
    }

    // Puts the line just read back (it is the table's first row).
    void put_back()
    {
        reader.begin = static_cast<std::size_t>(line.data() - reader.buffer.get());
        --lines;
    }

    bool is_comment() const
    {
        return (line.starts_with('#') && !is_marked_units_row(line, delimiter_in(line))) || line == long_line;
    }
    char delimiter_in(std::string_view text) const { return in.delimiter.value_or(delimiter_of(text)); }

    void check_length() const
    {
        if (line.size() > held_limit)
            bad_file(
                file_name,
                {.rule = reading_rule::line_too_long, .line = lines, .limit = static_cast<std::int64_t>(held_limit)});
    }

    // The first row: numbers only, or numbers in the columns chosen by number.
    bool is_first_row(std::string_view text) const
    {
        if (is_number_row(text, in.delimiter.value_or(0))) return true;
        if (!by_number) return false;
        std::vector<std::string_view> fields;
        split_fields(text, delimiter_in(text), fields);
        double value = 0.0;
        const auto holds_number = [&](std::uint64_t number) {
            return number <= fields.size() &&
                   (cell_number(fields[number - 1], false, value) || cell_number(fields[number - 1], true, value));
        };
        return holds_number(v_choice.number) && holds_number(i_choice.number);
    }

    // The first row, still unread, as text.
    std::string_view first_row() const
    {
        std::string_view first = reader.begin < reader.end
                                     ? std::string_view(reader.buffer.get() + reader.begin, reader.end - reader.begin)
                                     : std::string_view();
        return first.substr(0, std::min(first.find('\n'), first.find('\r')));
    }
};

// What the lines before the first row show.
struct header_lines {
    std::string header;  // the header row, when there is one
    std::int64_t header_at = 0;
    std::string last_text;  // the last two lines of text before the first row
    std::int64_t last_text_at = 0;
    std::string earlier_text;
    std::int64_t earlier_text_at = 0;
    std::string partial;  // the last line that names v or i alone
    std::int64_t partial_at = 0;
    std::string units;  // the units row, when there is one
    std::int64_t units_at = 0;
    std::string comment;  // the last comment, without its "#"
    std::int64_t comment_at = 0;
    std::int64_t long_at = 0;  // the first line too long to hold that is no comment
    bool first_row_found = false;
    preamble_facts preamble;
};

// Reads up to the header row, or up to the first row (put back) when no line names the columns.
header_lines find_header(header_reader& h)
{
    header_lines found;
    if (h.in.skip)
        for (std::int64_t k = 0; k < *h.in.skip && h.next_line(); ++k) {}
    std::int64_t header_row = 0;  // the header row's line by the file's own count, 0 when it gives none
    while (h.next_line()) {
        if (h.is_comment() && h.line != long_line) {
            found.comment = h.line.substr(1);
            found.comment_at = h.lines;
        }
        if (h.line == long_line && found.long_at == 0) found.long_at = h.lines;
        if (h.is_comment() || is_blank_line(h.line)) continue;
        h.check_length();
        if (!h.in.skip && header_row == 0) {
            header_row = header_line_count(h.line).value_or(0);
            if (header_row <= h.lines) header_row = 0;
            if (header_row != 0) continue;
        }
        if (h.lines < header_row) {
            found.preamble.note(h.line, h.lines);
            continue;
        }
        const std::vector<std::string_view> names = names_in(h.line, h.delimiter_in(h.line));
        // The file's own count of header lines, or the line after the skipped ones, is the header row.
        const bool counted_header = (h.in.skip || h.lines == header_row) && !(h.by_number && h.is_first_row(h.line));
        if (counted_header || (!h.by_number && finds(h.v_choice, quantity::voltage, names) &&
                               finds(h.i_choice, quantity::current, names))) {
            found.header = h.line;
            found.header_at = h.lines;
            break;
        }
        if (h.is_first_row(h.line)) {
            h.put_back();
            found.first_row_found = true;
            break;
        }
        found.preamble.note(h.line, h.lines);
        // The line right under one that names v or i is its units row ("V", "A").
        const bool under_partial = !found.partial.empty() && found.partial_at == found.last_text_at;
        if (names.size() >= 2 && !under_partial &&
            (finds(h.v_choice, quantity::voltage, names) || finds(h.i_choice, quantity::current, names))) {
            found.partial = h.line;
            found.partial_at = h.lines;
        }
        found.earlier_text = std::move(found.last_text);
        found.earlier_text_at = found.last_text_at;
        found.last_text = h.line;
        found.last_text_at = h.lines;
    }
    check_readable(h.reader, h.file_name);
    return found;
}

// Units that cannot be said to be whose, unless all three are given.
void units_not_tied(const header_reader& h, std::int64_t line, std::size_t cells, std::size_t width, bool comment)
{
    if (h.in.v_scale && h.in.i_scale && h.in.sampling_frequency) return;
    options_do_not_fit(h.file_name, {.rule = reading_rule::units_not_tied,
                                     .line = line,
                                     .count = static_cast<std::int64_t>(cells),
                                     .limit = static_cast<std::int64_t>(width),
                                     .comment = comment});
}

// Columns chosen by number take a line of names only when it is as wide as
// the rows; one as wide that holds a number is a first row gone wrong.
void check_numbered_cells(const header_reader& h, std::span<const std::string_view> cells, std::int64_t names_at)
{
    for (const auto& [number, column] :
         {std::pair{h.v_choice.number, quantity::voltage}, std::pair{h.i_choice.number, quantity::current}}) {
        double value = 0.0;
        if (number > cells.size()) continue;
        const std::string_view cell = cells[number - 1];
        reading_problem problem{.rule = reading_rule::cell_empty,
                                .line = names_at,
                                .column = column,
                                .label = "column " + std::to_string(number)};
        if (cell.empty()) bad_file(h.file_name, std::move(problem));
        if (!cell_number(cell, false, value) && !cell_number(cell, true, value)) {
            problem.rule = reading_rule::cell_not_a_number;
            problem.text = message_text(cell);
            bad_file(h.file_name, std::move(problem));
        }
    }
}

// Without a header row found: the file holds no table, or the header is
// a line that names v or i alone, or the last line of text before the
// first row (or the one before it, when that gives the units).
void settle_header(const header_reader& h, header_lines& found, bool tags_possible)
{
    const bool no_table = found.header.empty() && !found.first_row_found;
    if (no_table && !found.partial.empty() && !h.by_number) {
        found.header = found.partial;
        found.header_at = found.partial_at;
    } else if (no_table && (h.by_number || !h.in.skip)) {
        bad_file(h.file_name, {.rule = reading_rule::no_rows, .tags_possible = tags_possible});
    }
    if (!found.header.empty()) return;
    std::string names_line = found.last_text;
    std::int64_t names_at = found.last_text_at;
    const char d = h.in.delimiter.value_or(delimiter_of(h.first_row()));
    if (!found.earlier_text.empty() && is_units_row(found.last_text, d) &&
        names_in(found.earlier_text, d).size() == names_in(found.last_text, d).size()) {
        names_line = found.earlier_text;
        names_at = found.earlier_text_at;
        found.units = found.last_text;
        found.units_at = found.last_text_at;
    }
    if (!h.by_number && names_line.empty()) {
        // A header row too long to hold names no column.
        if (found.long_at != 0)
            bad_file(h.file_name, {.rule = reading_rule::line_too_long,
                                   .line = found.long_at,
                                   .limit = static_cast<std::int64_t>(h.held_limit)});
        options_do_not_fit(h.file_name, {.rule = reading_rule::no_header_row});
    }
    const std::vector<std::string_view> cells = names_in(names_line, d);
    const std::size_t width = row_field_count(h.first_row(), d);
    const bool as_wide = !names_line.empty() && as_wide_as(names_line, cells.size(), width, d);
    // A first row gone wrong: a chosen cell empty, or begun as a number but none.
    const auto broken = [&](std::uint64_t number) {
        double value = 0.0;
        return number >= 1 && number <= cells.size() &&
               (cells[number - 1].empty() ||
                (looks_numeric(cells[number - 1]) && !cell_number(cells[number - 1], false, value) &&
                 !cell_number(cells[number - 1], true, value)));
    };
    if (h.by_number && as_wide && found.units.empty() && names_at == h.lines &&
        std::any_of(cells.begin(), cells.end(), looks_numeric) &&
        (broken(h.v_choice.number) || broken(h.i_choice.number)))
        check_numbered_cells(h, cells, names_at);
    // Units alone over the rows are their units row, with no names above.
    if (h.by_number && as_wide && found.units.empty() && all_units(cells)) {
        found.units = names_line;
        found.units_at = names_at;
        return;
    }
    if (!h.by_number || as_wide) {
        found.header = names_line;
        found.header_at = names_at;
        return;
    }
    found.units.clear();
    // No line names the columns chosen by number: one of units above the
    // rows would otherwise be passed over, and the values read as volts,
    // amperes and seconds.
    for (const auto& [text, at, comment] :
         {std::tuple{std::string_view(found.last_text), found.last_text_at, false},
          std::tuple{std::string_view(found.earlier_text), found.earlier_text_at, false},
          std::tuple{std::string_view(found.comment), found.comment_at, true}}) {
        // A statement of the preamble ("Sample Interval (s) = 0.01") names no column.
        if (text.find('=') != std::string_view::npos) continue;
        const std::vector<std::string_view> units = names_in(text, d);
        if (!units.empty() && carries_units(units)) units_not_tied(h, at, units.size(), width, comment);
    }
}

// A line right under the header row that holds no number gives the units.
void read_units_row(header_reader& h, header_lines& found, char delimiter)
{
    if (found.header.empty() || found.header_at != h.lines) return;
    const std::vector<std::string_view> names = names_in(found.header, delimiter);
    while (h.next_line()) {
        if (is_blank_line(h.line)) continue;
        if (h.is_comment()) {
            // Units written as a comment ("# s mV uA"): the point number's "#"
            // standing for a column ties them; else they cannot be tied.
            if (h.line == long_line || !all_units(names_in(h.line.substr(1), delimiter))) continue;
            const std::vector<std::string_view> cells = names_in(h.line, delimiter);
            if (cells.front() == "#" && cells.size() == names.size()) {
                found.units = h.line;
                found.units_at = h.lines;
                return;
            }
            units_not_tied(h, h.lines, cells.size(), names.size(), true);
            continue;
        }
        h.check_length();
        const std::vector<std::string_view> cells = names_in(h.line, delimiter);
        if (std::none_of(cells.begin(), cells.end(), looks_numeric) && !is_table_title(h.line, delimiter) &&
            cells != names) {
            const bool wide = as_wide_as(h.line, cells.size(), names.size(), delimiter);
            // A line of text that gives no unit and stands for no column ("Data:") is passed over.
            if (!wide && !carries_units(cells)) continue;
            // Units that do not stand one a column cannot say which is whose.
            if (!wide) units_not_tied(h, h.lines, cells.size(), names.size(), false);
            found.units = h.line;
            found.units_at = h.lines;
        } else {
            h.put_back();
        }
        return;
    }
}

// The table asked for: the header row repeated starts each one after the first.
void move_to_table(header_reader& h, table_layout& t, header_lines& lines)
{
    const std::int64_t asked = h.in.table.value_or(1);
    if (asked <= 1) return;
    std::int64_t found = 1;
    while (found < asked && h.next_line()) {
        if (h.line == long_line || !alike_names(h.line, t.delimiter, t.header)) continue;
        ++found;
        t.tables.push_back(h.lines);
    }
    // The table's own header row: its units may differ from the first's.
    if (found == asked) {
        lines.header = h.line;
        lines.header_at = h.lines;
    }
    check_readable(h.reader, h.file_name);
    if (found < asked)
        options_do_not_fit(
            h.file_name,
            {.rule = reading_rule::table_missing, .lines = t.tables, .count = asked, .header_row = !t.header.empty()});
    if (!h.next_line()) return;
    // The table's own units row, which need not be the first table's.
    const std::vector<std::string_view> cells = names_in(h.line, t.delimiter);
    if (h.line != long_line && as_wide_as(h.line, cells.size(), t.header.size(), t.delimiter) &&
        !is_table_title(h.line, t.delimiter) && std::none_of(cells.begin(), cells.end(), looks_numeric)) {
        lines.units = h.line;
        lines.units_at = h.lines;
    } else {
        h.put_back();
    }
}

// A column's scale, from its unit in its name or in the units row.
double scale_of(const column_lookup& at, const header_lines& found, std::span<const std::string_view> unit_cells,
                const table_column& c, quantity q, setting_id setting)
{
    reading_problem problem{.rule = reading_rule::unknown_unit,
                            .setting = setting,
                            .scale_setting = q == quantity::time      ? setting_id::fs
                                             : q == quantity::voltage ? setting_id::v_scale
                                                                      : setting_id::i_scale,
                            .column = q,
                            .label = message_text(c.label)};
    std::optional<std::string_view> unit;
    if (c.index < at.names.size()) unit = split_header_name(at.names[c.index]).unit;
    std::optional<std::string_view> row_unit;
    if (c.index < unit_cells.size() && !unit_cells[c.index].empty() && unit_cells[c.index] != "#") {
        row_unit = unbracketed(unit_cells[c.index]);
    }
    if (unit && row_unit) {
        const std::optional<unit_reading> by_name = read_unit(*unit);
        const std::optional<unit_reading> by_row = read_unit(*row_unit);
        if (by_name && (!by_row || by_name->of != by_row->of || by_name->scale != by_row->scale)) {
            problem.rule = reading_rule::units_disagree;
            problem.text = message_text(*unit);
            problem.other_text = message_text(*row_unit);
            problem.other_line = found.units_at;
            options_do_not_fit(at.file_name, std::move(problem));
        }
    } else if (row_unit) {
        unit = row_unit;
        problem.other_line = found.units_at;
    }
    if (!unit) return 1.0;
    const std::optional<unit_reading> read = read_unit(*unit);
    problem.text = message_text(*unit);
    if (!read) options_do_not_fit(at.file_name, std::move(problem));
    if (read->of != q) {
        problem.rule = reading_rule::unit_of_other_quantity;
        problem.unit_of = read->of;
        options_do_not_fit(at.file_name, std::move(problem));
    }
    return read->scale;
}

std::vector<std::string_view> fields_of(const std::string& line, char delimiter)
{
    return line.empty() ? std::vector<std::string_view>{} : names_in(line, delimiter);
}

}  // namespace

table_layout read_table_header(line_reader& reader, const std::string& file_name, const reading_options& options,
                               recording& result)
{
    table_layout t;
    const input_request& in = options.input;
    t.held_limit = options.held_limit;
    t.join_tables = in.table && *in.table == 0;
    // A frequency given makes the time column of no use: it is not read at all.
    header_reader h{reader,
                    file_name,
                    in,
                    t.held_limit,
                    choice_of(in.v_column),
                    choice_of(in.i_column),
                    in.sampling_frequency ? column_choice{} : choice_of(in.time_column)};
    h.by_number = h.v_choice.numbered && h.i_choice.numbered;

    header_lines found = find_header(h);
    // Options only delimited text reads say the file was meant as one.
    const bool meant_delimited =
        in.delimiter || in.decimal_comma || in.skip || in.table || in.v_column || in.i_column || in.time_column;
    settle_header(h, found, in.format == input_format::automatic && !meant_delimited);
    // The delimiter: given, or shown by the header row, or by the first row.
    // Columns by number: the rows' own delimiter, whatever a line above them holds.
    const bool from_rows = found.header.empty() || (h.by_number && found.first_row_found);
    t.delimiter =
        in.delimiter ? *in.delimiter : delimiter_of(from_rows ? h.first_row() : std::string_view(found.header));
    read_units_row(h, found, t.delimiter);
    for (const std::string_view name : fields_of(found.header, t.delimiter)) t.header.emplace_back(name);
    t.header_at = found.header.empty() ? 0 : found.header_at;
    t.tables.push_back(t.header_at);
    move_to_table(h, t, found);
    t.header_at = found.header.empty() ? 0 : found.header_at;
    const std::vector<std::string_view> names = fields_of(found.header, t.delimiter);
    const std::vector<std::string_view> unit_cells = fields_of(found.units, t.delimiter);
    for (const std::string_view cell : unit_cells) t.units.emplace_back(cell);

    const column_lookup at{
        file_name, names, !names.empty() ? names.size() : row_field_count(h.first_row(), t.delimiter), found.header_at};
    t.v = *resolve(at, h.v_choice, quantity::voltage, setting_id::v_column);
    t.i = *resolve(at, h.i_choice, quantity::current, setting_id::i_column);
    std::optional<double> preamble_frequency;
    if (!in.sampling_frequency) {
        if (!names.empty() || h.time_choice.numbered)
            t.time = resolve(at, h.time_choice, quantity::time, setting_id::time_column);
        if (!t.time) preamble_frequency = found.preamble.sampling_frequency(file_name);
        if (!t.time && !preamble_frequency) options_do_not_fit(file_name, {.rule = reading_rule::no_time_column});
    }
    t.v_scale =
        in.v_scale ? *in.v_scale : scale_of(at, found, unit_cells, t.v, quantity::voltage, setting_id::v_column);
    t.i_scale =
        in.i_scale ? *in.i_scale : scale_of(at, found, unit_cells, t.i, quantity::current, setting_id::i_column);
    if (t.time) t.time_scale = scale_of(at, found, unit_cells, *t.time, quantity::time, setting_id::time_column);
    t.fields_needed = std::max({t.v.index, t.i.index, t.time ? t.time->index : 0}) + 1;
    t.field_count = names.size();
    t.decimal_comma = in.decimal_comma;
    t.decimal_comma_known = in.decimal_comma;
    check_readable(reader, file_name);
    t.lines_before = h.lines;
    result.timed = t.time.has_value();

    input_description& d = result.input;
    d.format = format_name(input_format::delimited);
    d.v_column = message_text(h.v_choice.numbered ? h.v_choice.text : t.v.label);
    d.i_column = message_text(h.i_choice.numbered ? h.i_choice.text : t.i.label);
    d.v_scale = t.v_scale;
    d.i_scale = t.i_scale;
    d.fs_source = in.sampling_frequency ? "option" : t.time ? "time column" : "preamble";
    if (in.table) d.table = in.table;
    if (preamble_frequency) {
        if (!(*preamble_frequency >= 1e-37 && *preamble_frequency <= 1e37))
            bad_file(file_name, {.rule = reading_rule::frequency_out_of_range});
        result.sampling_frequency = *preamble_frequency;
        result.deltat = static_cast<float>(1.0 / *preamble_frequency);
    }
    return t;
}

}  // namespace veltrin
