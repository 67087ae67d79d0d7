// The delimited-text grammar for the reading engine: the search for the
// header row and the columns, the rules of a row, the end of the table and
// what may follow it, and the sampling frequency of a time column.
#include "input/delimited_grammar.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "input/delimited_fields.hpp"
#include "input/number_text.hpp"
#include "input/reading_engine.hpp"
#include "input/tagged_shapes.hpp"
#include "model/error.hpp"

namespace {

// A line too long to hold: a comment, or a line that stands for one that is no row.
constexpr std::string_view long_line = "\x01";

[[noreturn]] void options_do_not_fit(const std::string& name, const std::string& message)
{
    fail(error_kind::input_options, name, message);
}

[[noreturn]] void bad_file(const std::string& name, const std::string& message)
{
    fail(error_kind::bad_data, name, "\nFatal error: " + message + "\n");
}

std::string line_text(std::int64_t line) { return "line " + std::to_string(line); }

// A column as the user names it: by its header name, or by its number from 1.
struct column_name {
    bool given = false;
    bool numbered = false;
    std::size_t number = 0;
    std::string text;
};

column_name column_named(const std::optional<std::string>& option)
{
    column_name c;
    if (!option) return c;
    c.given = true;
    c.text = *option;
    c.numbered = !c.text.empty() && std::all_of(c.text.begin(), c.text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    if (c.numbered) c.number = static_cast<std::size_t>(std::min(parse_number(c.text.data(), c.text.data() + c.text.size()), 0x1p40));
    return c;
}

// A column as it is read: its field index and how messages name it.
struct column {
    std::size_t index = 0;
    std::string label;  // the header name, or "column K"
};

// The field of `fields` that the name picks (by name, number or a default name).
std::optional<std::size_t> find_column(const column_name& c, quantity q, std::span<const std::string_view> fields)
{
    if (c.numbered) {
        if (c.number >= 1 && c.number <= fields.size()) return c.number - 1;
        return std::nullopt;
    }
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const std::string_view name = trimmed(fields[k]);
        if (c.given ? name == c.text : is_default_name(name, q)) return k;
    }
    return std::nullopt;
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

// The names of a header line, quoted, for a message.
std::string names_of(std::span<const std::string_view> fields)
{
    std::string text;
    for (const std::string_view field : fields) {
        if (!text.empty()) text += ", ";
        text += '"';
        for (const char c : trimmed(field)) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte != 0x7F) {
                text += c;
                continue;
            }
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
        text += '"';
    }
    return text;
}

// What the header search and the units settle: how each row is read.
struct table_layout {
    char delimiter = ',';
    bool decimal_comma = false;
    bool decimal_comma_known = false;
    column v;
    column i;
    std::optional<column> time;
    double v_scale = 1.0;
    double i_scale = 1.0;
    double time_scale = 1.0;
    std::size_t fields_needed = 0;
    std::int64_t lines_before = 0;  // the file's lines before the table's first row
    std::int64_t header_at = 0;     // the header row's line, 0 without one
    std::size_t held_limit = default_held_limit;
};

// The delimited format's own stops.
enum delimited_stop : int {
    bad_cell = first_grammar_stop,  // a column's cell is missing, empty or not a number
    line_too_long,
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
            if (*end == '"') quoted = !quoted;
            else if (!quoted && (t.delimiter == blank_run ? blank(*end) : *end == t.delimiter)) break;
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

// The message of a row that cannot give its sample: the first column at fault.
std::string cell_fault(std::string_view line, const table_layout& t, std::int64_t file_line)
{
    row_cells cells;
    cut_row(line, t, cells);
    struct named_cell {
        const column* c;
        std::string_view text;
        const char* word;
        double scale;
    };
    std::vector<named_cell> checked = {{&t.v, cells.v, "v", t.v_scale}, {&t.i, cells.i, "i", t.i_scale}};
    if (t.time) checked.push_back({&*t.time, cells.time, "time", t.time_scale});
    std::sort(checked.begin(), checked.end(), [](const named_cell& a, const named_cell& b) { return a.c->index < b.c->index; });
    for (const named_cell& n : checked) {
        const std::string where = line_text(file_line) + ": the " + n.word + " column (" + n.c->label + ")";
        if (n.c->index >= cells.fields)
            return where + " is missing: the line has " + std::to_string(cells.fields) +
                   (cells.fields == 1 ? " field." : " fields.");
        double value = 0.0;
        if (trimmed(n.text).empty()) return where + " is empty.";
        if (!cell_number(n.text, t.decimal_comma, value))
            return where + " holds '" + std::string(trimmed(n.text)) + "', which is not a number.";
        if (n.word != std::string_view("time") && std::isinf(static_cast<float>(value * n.scale)))
            return where + " holds a value too large for single precision.";
    }
    return line_text(file_line) + " cannot be read.";
}

// The format's answers to the reading engine (see reading_engine.hpp).
struct delimited_grammar {
    using framing = line_framing;
    using run_state = line_shapes;
    static constexpr bool marked_end = false;
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

    std::int64_t file_line(std::int64_t c) const { return t.lines_before + c + 1; }

    void read_header(line_reader& reader, const std::string& file_name, recording& result);

    // The first row tells the decimal separator, unless it is given.
    void start_block(std::string_view first_line)
    {
        if (t.decimal_comma_known) return;
        if (t.delimiter == ',') return;
        std::vector<std::string_view> fields;
        split_fields(first_line, t.delimiter, fields);
        for (const std::string_view field : fields)
            if (needs_decimal_comma(field)) t.decimal_comma = true;
    }

    int unit_lines() const { return 1; }

    // A blank line or a line of text ends the table; a comment does not.
    bool ends_block(std::string_view line, std::int64_t) const
    {
        if (line.starts_with('#')) return false;
        if (line == long_line) return false;
        return is_blank_line(line) || !starts_as_number_row(line, t.delimiter);
    }

    reading_stop read_data_line(std::string_view line, std::int64_t c, run_state&, line_stores& s) const
    {
        if (line.starts_with('#')) {
            s.count = 0;
            return {};
        }
        if (line == long_line || line.size() > t.held_limit) return {line_too_long, c};
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
            s.time = time * t.time_scale;
        }
        return {};
    }

    reading_stop unfinished_unit(std::int64_t c) const { return {bad_cell, c}; }

    // A common row read straight through: unquoted numbers that
    // read_number_exactly takes right between the delimiters, a LF after
    // the line. Its values in s, where its numbers are, and p moved past
    // it; false for any other line, which the rules above then read.
    bool read_simple_row(const char*& p, const char* last, std::int64_t c, line_stores& s, const char* (&first)[2],
                         const char* (&end)[2]) const
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
                    if (slot < 2) {
                        first[slot] = number;
                        end[slot] = q;
                    }
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
        // The rest of the line: a LF at once, or fields not read, without a CR.
        if (*q != '\n') {
            if (*q != d && !(blanks && is_blank(*q))) return false;
            const void* feed = std::memchr(q, '\n', static_cast<std::size_t>(last - q));
            if (feed == nullptr) return false;
            const char* const line_end = static_cast<const char*>(feed);
            if (std::memchr(q, '\r', static_cast<std::size_t>(line_end - q)) != nullptr) return false;
            q = line_end;
        }
        if (static_cast<std::size_t>(q - p) > t.held_limit) return false;
        s = line_stores{2, {true, false}, {c, c}, {values[0] * t.v_scale, values[1] * t.i_scale}};
        s.timed = t.time.has_value();
        s.time = values[2] * t.time_scale;
        p = q + 1;
        return true;
    }

    // The common rows at once. Rows of two numbers without scales repeat
    // their shapes (tagged_shapes.hpp), which reads them fastest.
    std::int64_t skim(const char*& p, const char* last, std::int64_t c, run_state& shapes,
                      const store_target& target) const
    {
        const bool shaped = !t.decimal_comma && t.v_scale == 1.0 && t.i_scale == 1.0 && !t.time;
        std::int64_t read = 0;
        for (;;) {
            if (shaped) read += read_lines_of_known_shapes(p, last, c + read, shapes, target, gather_digits);
            const char* const line = p;
            line_stores s;
            const char* first[2];
            const char* end[2];
            if (p == last || !read_simple_row(p, last, c + read, s, first, end)) break;
            if (reading_engine::store_in(target, s, c + read).stops()) {
                p = line;
                break;
            }
            ++read;
            if (!shaped) continue;
            const auto length = static_cast<std::size_t>(p - 1 - line);
            if (length <= longest_shape && last - line >= static_cast<std::ptrdiff_t>(shape_reach))
                learn_line_shape(std::string_view(line, length), s, first, end, shapes);
            else
                shapes.current = line_shapes::none;
        }
        return read;
    }

    std::string stop_message(const reading_stop& stop, std::string_view line) const
    {
        std::string message;
        switch (stop.kind) {
        case bad_cell:
        case value_too_large: message = cell_fault(line, t, file_line(stop.line)); break;
        case line_too_long:
            message = line_text(file_line(stop.line)) + " is longer than " + std::to_string(t.held_limit) + " bytes.";
            break;
        case too_many_lines: message = "the table has more than 2147483647 rows."; break;
        default: message = line_text(file_line(stop.line)) + " cannot be read."; break;
        }
        return "\nFatal error: " + message + "\n";
    }

    void after_block(line_reader& reader, std::int64_t block_lines, std::span<const std::int64_t> no_sample,
                     recording& result) const;
};

// The header search: see read_delimited_recording.
void delimited_grammar::read_header(line_reader& reader, const std::string& file_name, recording& result)
{
    const input_request& in = options->input;
    t.held_limit = options->held_limit;
    const column_name v_name = column_named(in.v_column);
    const column_name i_name = column_named(in.i_column);
    // A frequency given makes the time column of no use: it is not read at all.
    const column_name time_name = in.sampling_frequency ? column_name{} : column_named(in.time_column);
    const bool by_number = v_name.numbered && i_name.numbered;

    std::int64_t lines = 0;  // lines of the file read
    std::string_view line;
    const auto next_line = [&] {
        if (!read_line(reader, line)) return false;
        ++lines;
        return true;
    };
    // Puts the line just read back (it is the table's first row).
    const auto put_back = [&] {
        reader.begin = static_cast<std::size_t>(line.data() - reader.buffer.get());
        --lines;
    };
    const auto is_comment = [&] { return line.starts_with('#') || line == long_line; };

    if (in.skip) {
        for (std::int64_t k = 0; k < *in.skip && next_line(); ++k) {
        }
    }
    std::vector<std::string_view> fields;
    std::string header;              // the header row, when there is one
    std::int64_t header_at = 0;
    std::string candidate;           // the last line of text before the first row of numbers
    std::int64_t candidate_at = 0;
    std::int64_t header_row = 0;  // the header row's line by the file's own count, 0 when it gives none
    bool first_row_found = false;
    const auto names_resolve = [&](std::string_view text) {
        split_fields(text, in.delimiter.value_or(delimiter_of(text)), fields);
        return find_column(v_name, quantity::voltage, fields) && find_column(i_name, quantity::current, fields);
    };
    while (next_line()) {
        if (is_comment() || is_blank_line(line)) continue;
        if (by_number) {
            const char d = in.delimiter.value_or(delimiter_of(line));
            split_fields(line, d, fields);
            if (is_number_row(line, d) && fields.size() >= std::max(v_name.number, i_name.number)) {
                first_row_found = true;
                put_back();
                break;
            }
            if (in.skip) {
                // After the skipped lines, a line of text is the header row.
                header = line;
                header_at = lines;
                break;
            }
            candidate = line;
            candidate_at = lines;
            continue;
        }
        if (!in.skip && header_row == 0) {
            header_row = header_line_count(line).value_or(0);
            if (header_row <= lines) header_row = 0;
            if (header_row != 0) continue;
        }
        if (lines < header_row) continue;
        // The file's own count of header lines, or the line after the skipped ones, is the header row.
        if (in.skip || lines == header_row || names_resolve(line)) {
            header = line;
            header_at = lines;
            break;
        }
        if (is_number_row(line)) {
            put_back();
            break;
        }
        candidate = line;
        candidate_at = lines;
    }
    check_readable(reader, file_name);

    // Neither a header nor a row: the file holds no table.
    const bool no_table = reader.begin == reader.end && reader.file_done && header.empty() && !first_row_found;
    const bool guessed = options->input.format == "auto";
    if (no_table && (by_number || !in.skip))
        bad_file(file_name, guessed ? "the file holds no row of numbers, nor the <sampling_frequency> and <data> tags "
                                      "of a tagged recording."
                                    : "the file holds no row of numbers.");
    if (header.empty() && !by_number) {
        if (candidate.empty())
            options_do_not_fit(file_name, "no header row names the v and i columns: choose them with --v-column and "
                                          "--i-column (a name, or a number from 1)");
        header = candidate;
        header_at = candidate_at;
    }

    // The delimiter: given, or shown by the header row, or by the first row.
    if (in.delimiter) {
        t.delimiter = *in.delimiter;
    } else if (!header.empty()) {
        t.delimiter = delimiter_of(header);
    } else {
        std::string_view first = reader.begin < reader.end ? std::string_view(reader.buffer.get() + reader.begin,
                                                                               reader.end - reader.begin)
                                                           : std::string_view();
        first = first.substr(0, std::min(first.find('\n'), first.find('\r')));
        t.delimiter = delimiter_of(first);
    }
    if (by_number && !candidate.empty() && header.empty() && !time_name.given && !in.sampling_frequency) {
        // Numbered columns under a line of names: the time may still be found by its name.
        std::vector<std::string_view> names;
        split_fields(candidate, t.delimiter, names);
        if (find_column(time_name, quantity::time, names)) {
            header = candidate;
            header_at = candidate_at;
        }
    }
    std::vector<std::string_view> names;
    if (!header.empty()) split_fields(header, t.delimiter, names);

    // A column by number needs no header; by name, the header row must hold it.
    const auto resolve = [&](const column_name& c, quantity q, const char* option) -> std::optional<column> {
        if (c.numbered) {
            if (c.number == 0) options_do_not_fit(file_name, std::string(option) + " numbers the columns from 1");
            const std::size_t at = c.number - 1;
            const bool named = at < names.size() && !trimmed(names[at]).empty();
            return column{at, named ? std::string(trimmed(names[at])) : "column " + std::to_string(c.number)};
        }
        const std::optional<std::size_t> at = find_column(c, q, names);
        if (at) return column{*at, std::string(trimmed(names[*at]))};
        if (q == quantity::time && !c.given) return std::nullopt;
        const std::string what = c.given ? "no column named \"" + c.text + "\""
                                         : std::string("no ") + quantity_word(q) + " column by a name the program knows";
        options_do_not_fit(file_name, "the header row (" + line_text(header_at) + ") has " + what + "; its names are " +
                                          names_of(names) + "; choose the " + quantity_word(q) + " column with " +
                                          option + " (a name, or a number from 1)");
    };
    t.v = *resolve(v_name, quantity::voltage, "--v-column");
    t.i = *resolve(i_name, quantity::current, "--i-column");
    if (!in.sampling_frequency) {
        if (!names.empty() || time_name.numbered) t.time = resolve(time_name, quantity::time, "--time-column");
        if (!t.time)
            options_do_not_fit(file_name, "the file has no time column to give the sampling frequency: give it with "
                                          "--fs HZ, or choose the time column with --time-column");
    }

    // Scales: given, or from the column's unit.
    const auto scale_of = [&](const std::optional<double>& given, const column& c, quantity q,
                              const char* option) -> double {
        if (given) return *given;
        quantity of = q;
        const std::optional<double> scale = names.empty() ? std::nullopt : unit_scale(c.label, of);
        if (!scale) return 1.0;
        if (of != q)
            options_do_not_fit(file_name, std::string("the ") + quantity_word(q) + " column (" + c.label + ") is in " +
                                              (of == quantity::voltage ? "volts" : of == quantity::current ? "amperes" : "seconds") +
                                              ": choose the " + quantity_word(q) + " column with " + option +
                                              ", or give " + (q == quantity::time ? "--fs" : q == quantity::voltage ? "--v-scale" : "--i-scale") +
                                              " to read it anyway");
        return *scale;
    };
    t.v_scale = scale_of(in.v_scale, t.v, quantity::voltage, "--v-column");
    t.i_scale = scale_of(in.i_scale, t.i, quantity::current, "--i-column");
    if (t.time) t.time_scale = scale_of(std::nullopt, *t.time, quantity::time, "--time-column");
    t.fields_needed = std::max({t.v.index, t.i.index, t.time ? t.time->index : 0}) + 1;
    t.decimal_comma = in.decimal_comma;
    t.decimal_comma_known = in.decimal_comma;

    // A line right after the header row that is no row of numbers gives the units.
    if (!header.empty() && header_at == lines && next_line()) {
        if (is_blank_line(line) || starts_as_number_row(line, t.delimiter)) put_back();
    }
    t.header_at = header.empty() ? 0 : header_at;
    check_readable(reader, file_name);
    t.lines_before = lines;
    result.timed = t.time.has_value();

    input_description& d = result.input;
    d.format = "delimited";
    d.v_column = v_name.numbered ? v_name.text : t.v.label;
    d.i_column = i_name.numbered ? i_name.text : t.i.label;
    d.v_scale = t.v_scale;
    d.i_scale = t.i_scale;
}

// The frequency from the times, and no row after the table.
void delimited_grammar::after_block(line_reader& reader, std::int64_t block_lines,
                                    std::span<const std::int64_t> no_sample, recording& result) const
{
    const std::string& file_name = *name;
    // The file line of sample k: the comments before it shift it.
    const auto line_of_sample = [&](std::size_t k) {
        std::int64_t c = static_cast<std::int64_t>(k);
        for (const std::int64_t skipped : no_sample)
            if (skipped <= c) ++c;
        return file_line(c);
    };
    if (t.time && result.time.size() >= 2) {
        const std::span<const double> times(result.time.data(), result.time.size());
        const auto n = times.size();
        const double span = times[n - 1] - times[0];
        const double mean = span / static_cast<double>(n - 1);
        if (!(mean > 0.0))
            bad_file(file_name, "the time column (" + t.time->label + ") does not increase from " +
                                    line_text(line_of_sample(0)) + " to " + line_text(line_of_sample(n - 1)) + ".");
        for (std::size_t k = 1; k < n; ++k) {
            const double step = times[k] - times[k - 1];
            if (std::fabs(step - mean) <= 0.01 * mean) continue;
            std::string step_text;
            std::string mean_text;
            char number[32];
            std::snprintf(number, sizeof number, "%.6g", step);
            step_text = number;
            std::snprintf(number, sizeof number, "%.6g", mean);
            mean_text = number;
            bad_file(file_name, line_text(line_of_sample(k)) + ": the time step (" + step_text +
                                    " s) differs from the mean step (" + mean_text +
                                    " s) by more than 1 %; give the sampling frequency with --fs to read the file anyway.");
        }
        result.sampling_frequency = static_cast<double>(n - 1) / span;
    }

    // After the table: text, blank lines and comments, but no more rows.
    std::string_view line;
    std::int64_t at = file_line(block_lines);
    while (read_line(reader, line)) {
        ++at;
        if (line.starts_with('#') || line == long_line || is_blank_line(line)) continue;
        if (starts_as_number_row(line, t.delimiter))
            bad_file(file_name, line_text(at) + " holds a row of numbers after the table ended on " +
                                    line_text(file_line(block_lines)) + "; a second table is not read.");
    }
    check_readable(reader, file_name);

    if (samples_read(result) == 0)
        bad_file(file_name, t.header_at > 0 ? "no row of numbers follows the header row (" + line_text(t.header_at) + ")."
                                           : std::string("the file holds no row of numbers."));
    if (t.time && samples_read(result) < 2)
        options_do_not_fit(file_name, "one row cannot give the sampling frequency: give it with --fs");
    if (t.time) {
        const double frequency = result.sampling_frequency;
        if (!(frequency >= 1e-37 && frequency <= 1e37))
            bad_file(file_name, "the sampling frequency must be a number from 1e-37 to 1e37.");
        result.deltat = static_cast<float>(1.0 / frequency);
    }
    result.time = sample_times();
    result.timed = false;
}

}  // namespace

recording read_delimited_recording(line_reader& reader, const std::string& name, const reading_options& options)
{
    delimited_grammar grammar;
    grammar.options = &options;
    grammar.name = &name;
    grammar.gather_digits = options.gather_digits;
    return read_with_grammar(reader, name, options, grammar);
}
