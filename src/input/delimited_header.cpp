// The search for the header row and the columns of delimited text, the
// units that scale them, the table asked for among several, and the
// sampling frequency that a preamble states.
#include "input/delimited_header.hpp"

#include <algorithm>
#include <span>

#include "input/column_names.hpp"
#include "input/delimited_fields.hpp"
#include "input/reading_engine.hpp"
#include "model/error.hpp"

namespace veltrin {

namespace {

// A column as the user names it: by its header name, or by its number from 1.
struct column_choice {
    bool given = false;
    bool numbered = false;
    std::uint64_t number = 0;  // held at 2^40: no table is that wide
    std::string text;
};

column_choice choice_of(const std::optional<std::string>& option)
{
    column_choice c;
    if (!option) return c;
    c.given = true;
    c.text = *option;
    c.numbered =
        !c.text.empty() && std::all_of(c.text.begin(), c.text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    if (c.numbered)
        for (const char ch : c.text)
            c.number = std::min<std::uint64_t>(c.number * 10 + static_cast<unsigned>(ch - '0'), std::uint64_t{1} << 40);
    return c;
}

// The names of a header row, trimmed; a delimiter at its end adds none.
std::vector<std::string_view> names_in(std::string_view line, char delimiter)
{
    std::vector<std::string_view> fields;
    split_fields(line, delimiter, fields);
    if (delimiter != blank_run && fields.size() > 1 && fields.back().empty()) fields.pop_back();
    for (std::string_view& field : fields) field = trimmed(field);
    return fields;
}

bool same_names(std::string_view line, char delimiter, const std::vector<std::string>& names)
{
    if (names.empty()) return false;
    const std::vector<std::string_view> fields = names_in(line, delimiter);
    return std::equal(fields.begin(), fields.end(), names.begin(), names.end());
}

// The columns whose names are known for q, at the best rank present.
struct candidates {
    int rank = 0;
    std::vector<std::size_t> at;
};

candidates candidates_of(std::span<const std::string_view> names, quantity q)
{
    candidates found;
    for (std::size_t k = 0; k < names.size(); ++k) {
        const int rank = name_rank(names[k], q);
        if (rank == 0 || (found.rank != 0 && rank > found.rank)) continue;
        if (rank < found.rank || found.rank == 0) found.at.clear();
        found.rank = rank;
        found.at.push_back(k);
    }
    return found;
}

// The columns that a name chosen by the user names.
std::vector<std::size_t> named(std::span<const std::string_view> names, const std::string& text)
{
    std::vector<std::size_t> at;
    for (std::size_t k = 0; k < names.size(); ++k)
        if (names[k] == text) at.push_back(k);
    return at;
}

bool finds(const column_choice& c, quantity q, std::span<const std::string_view> names)
{
    if (c.numbered) return c.number >= 1 && c.number <= names.size();
    if (c.given) return !named(names, c.text).empty();
    return candidates_of(names, q).rank != 0;
}

// The names of a header line, quoted, for a message.
std::string quoted_names(std::span<const std::string_view> names)
{
    std::string text;
    for (const std::string_view name : names) text += (text.empty() ? "\"" : ", \"") + message_text(name) + '"';
    return text;
}

// "\"Ewe/V\" (column 2), \"E/V\" (column 5)".
std::string listed(std::span<const std::string_view> names, std::span<const std::size_t> at)
{
    std::string text;
    for (const std::size_t k : at)
        text += (text.empty() ? "\"" : ", \"") + message_text(names[k]) + "\" (column " + std::to_string(k + 1) + ")";
    return text;
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

// What a preamble says of the sampling: a frequency, or a sweep's rate and
// the potential step between samples.
struct preamble_facts {
    std::optional<double> frequency;
    std::optional<double> interval_seconds;
    std::optional<double> interval_volts;
    std::optional<double> scan_rate;

    // The number after "lead =" in a line that starts with lead.
    static std::optional<double> stated(std::string_view line, std::string_view lead)
    {
        line = trimmed(line);
        if (!line.starts_with(lead)) return std::nullopt;
        line = trimmed(line.substr(lead.size()));
        if (!line.starts_with('=')) return std::nullopt;
        double value = 0.0;
        if (!cell_number(line.substr(1), false, value) || !(value > 0.0)) return std::nullopt;
        return value;
    }

    void note(std::string_view line)
    {
        std::vector<std::string_view> fields;
        split_fields(line, '\t', fields);
        double value = 0.0;
        if (fields.size() >= 3 && trimmed(fields[0]) == "FREQ" && trimmed(fields[1]) == "QUANT" &&
            cell_number(fields[2], false, value) && value > 0.0)
            frequency = value;
        if (const auto v = stated(line, "Sample Interval (s)")) interval_seconds = v;
        if (const auto v = stated(line, "Sample Interval (V)")) interval_volts = v;
        if (const auto v = stated(line, "Scan Rate (V/s)")) scan_rate = v;
    }

    std::optional<double> sampling_frequency() const
    {
        if (frequency) return frequency;
        if (interval_seconds) return 1.0 / *interval_seconds;
        if (interval_volts && scan_rate) return *scan_rate / *interval_volts;
        return std::nullopt;
    }
};

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

}  // namespace

std::string line_text(std::int64_t line)
{
    return "line " + std::to_string(line);
}

[[noreturn]] void options_do_not_fit(const std::string& name, const std::string& message)
{
    fail(error_kind::input_options, name, message);
}

[[noreturn]] void bad_file(const std::string& name, const std::string& message)
{
    fail(error_kind::bad_data, name, "\nFatal error: " + message + "\n");
}

bool repeats_header(std::string_view line, const table_layout& t)
{
    return same_names(line, t.delimiter, t.header);
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

table_layout read_table_header(line_reader& reader, const std::string& file_name, const reading_options& options,
                               recording& result)
{
    table_layout t;
    const input_request& in = options.input;
    t.held_limit = options.held_limit;
    t.join_tables = in.table && *in.table == 0;
    const column_choice v_choice = choice_of(in.v_column);
    const column_choice i_choice = choice_of(in.i_column);
    // A frequency given makes the time column of no use: it is not read at all.
    const column_choice time_choice = in.sampling_frequency ? column_choice{} : choice_of(in.time_column);
    const bool by_number = v_choice.numbered && i_choice.numbered;

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
    const auto delimiter_in = [&](std::string_view text) { return in.delimiter.value_or(delimiter_of(text)); };
    // The first row: numbers only, or numbers in the columns chosen by number.
    const auto is_first_row = [&](std::string_view text) {
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
    };

    if (in.skip)
        for (std::int64_t k = 0; k < *in.skip && next_line(); ++k) {}
    std::string header;  // the header row, when there is one
    std::int64_t header_at = 0;
    std::string last_text;  // the last two lines of text before the first row
    std::int64_t last_text_at = 0;
    std::string earlier_text;
    std::int64_t earlier_text_at = 0;
    std::string partial;  // the last line that names v or i alone
    std::int64_t partial_at = 0;
    std::int64_t header_row = 0;  // the header row's line by the file's own count, 0 when it gives none
    bool first_row_found = false;
    preamble_facts preamble;
    while (next_line()) {
        if (is_comment() || is_blank_line(line)) continue;
        if (line.size() > t.held_limit)
            bad_file(file_name, line_text(lines) + " is longer than " + std::to_string(t.held_limit) + " bytes.");
        if (!in.skip && header_row == 0) {
            header_row = header_line_count(line).value_or(0);
            if (header_row <= lines) header_row = 0;
            if (header_row != 0) continue;
        }
        if (lines < header_row) {
            preamble.note(line);
            continue;
        }
        // The file's own count of header lines, or the line after the skipped ones, is the header row.
        if ((in.skip || lines == header_row) && !(by_number && is_first_row(line))) {
            header = line;
            header_at = lines;
            break;
        }
        const std::vector<std::string_view> names = names_in(line, delimiter_in(line));
        if (!by_number && finds(v_choice, quantity::voltage, names) && finds(i_choice, quantity::current, names)) {
            header = line;
            header_at = lines;
            break;
        }
        if (is_first_row(line)) {
            put_back();
            first_row_found = true;
            break;
        }
        preamble.note(line);
        // The line right under one that names v or i is its units row ("V", "A").
        const bool under_partial = !partial.empty() && partial_at == last_text_at;
        if (names.size() >= 2 && !under_partial &&
            (finds(v_choice, quantity::voltage, names) || finds(i_choice, quantity::current, names))) {
            partial = line;
            partial_at = lines;
        }
        earlier_text = std::move(last_text);
        earlier_text_at = last_text_at;
        last_text = line;
        last_text_at = lines;
    }
    check_readable(reader, file_name);

    // Neither a header nor a row: the file holds no table; a line that names
    // v or i alone is taken as the header row, for the message.
    const bool no_table = header.empty() && !first_row_found;
    if (no_table && !partial.empty() && !by_number) {
        header = partial;
        header_at = partial_at;
    } else if (no_table && (by_number || !in.skip)) {
        const bool guessed = options.input.format == input_format::automatic;
        bad_file(file_name, guessed ? "the file holds no row of numbers, nor the <sampling_frequency> and <data> tags "
                                      "of a tagged recording."
                                    : "the file holds no row of numbers.");
    }

    // The first row, still unread, as text.
    const auto first_row = [&] {
        std::string_view first = reader.begin < reader.end
                                     ? std::string_view(reader.buffer.get() + reader.begin, reader.end - reader.begin)
                                     : std::string_view();
        return first.substr(0, std::min(first.find('\n'), first.find('\r')));
    };
    std::string units;
    std::int64_t units_at = 0;
    if (header.empty()) {
        // The last line of text before the first row, or the one before it
        // when that gives the units.
        std::string names_line = last_text;
        std::int64_t names_at = last_text_at;
        const char d = in.delimiter.value_or(delimiter_of(first_row()));
        if (!earlier_text.empty() && is_units_row(last_text, d) &&
            names_in(earlier_text, d).size() == names_in(last_text, d).size()) {
            names_line = earlier_text;
            names_at = earlier_text_at;
            units = last_text;
            units_at = last_text_at;
        }
        if (!by_number && names_line.empty())
            options_do_not_fit(file_name, "no header row names the v and i columns: choose them with --v-column and "
                                          "--i-column (a name, or a number from 1)");
        // Numbered columns take a line of names only when it is as wide as the
        // rows; one as wide that holds a number is a first row gone wrong.
        const std::vector<std::string_view> cells = names_in(names_line, d);
        const bool as_wide = !names_line.empty() && cells.size() == row_field_count(first_row(), d);
        if (by_number && as_wide && units.empty() && names_at == lines &&
            std::any_of(cells.begin(), cells.end(), looks_numeric)) {
            for (const auto& [number, word] : {std::pair{v_choice.number, "v"}, std::pair{i_choice.number, "i"}}) {
                double value = 0.0;
                if (number > cells.size()) continue;
                const std::string_view cell = cells[number - 1];
                if (cell.empty())
                    bad_file(file_name, line_text(names_at) + ": the " + word + " column (column " +
                                            std::to_string(number) + ") is empty.");
                if (!cell_number(cell, false, value) && !cell_number(cell, true, value))
                    bad_file(file_name, line_text(names_at) + ": the " + word + " column (column " +
                                            std::to_string(number) + ") holds '" + message_text(cell) +
                                            "', which is not a number.");
            }
        }
        if (!by_number || as_wide) {
            header = names_line;
            header_at = names_at;
        } else {
            units.clear();
        }
    }

    // The delimiter: given, or shown by the header row, or by the first row.
    t.delimiter = in.delimiter ? *in.delimiter : !header.empty() ? delimiter_of(header) : delimiter_of(first_row());

    // A line under the header row that holds no number gives the units.
    if (!header.empty() && header_at == lines) {
        while (next_line()) {
            if (is_comment() || is_blank_line(line)) continue;
            if (line.size() > t.held_limit)
                bad_file(file_name, line_text(lines) + " is longer than " + std::to_string(t.held_limit) + " bytes.");
            const std::vector<std::string_view> cells = names_in(line, t.delimiter);
            if (std::none_of(cells.begin(), cells.end(), looks_numeric) && !is_table_title(line, t.delimiter) &&
                cells != names_in(header, t.delimiter)) {
                units = line;
                units_at = lines;
            } else {
                put_back();
            }
            break;
        }
    }
    const std::vector<std::string_view> names =
        header.empty() ? std::vector<std::string_view>{} : names_in(header, t.delimiter);
    for (const std::string_view name : names) t.header.emplace_back(name);
    const std::vector<std::string_view> unit_cells =
        units.empty() ? std::vector<std::string_view>{} : names_in(units, t.delimiter);
    for (const std::string_view cell : unit_cells) t.units.emplace_back(cell);
    t.header_at = header.empty() ? 0 : header_at;
    t.tables.push_back(t.header_at);

    // The table asked for: the header row repeated starts each one after the first.
    if (in.table && *in.table > 1) {
        std::int64_t found = 1;
        while (found < *in.table && next_line()) {
            if (line == long_line || !same_names(line, t.delimiter, t.header)) continue;
            ++found;
            t.tables.push_back(lines);
        }
        check_readable(reader, file_name);
        if (found < *in.table) {
            std::string where;
            for (std::size_t k = 0; k < t.tables.size(); ++k)
                where += (k == 0 ? "" : k + 1 == t.tables.size() ? " and " : ", ") + std::to_string(t.tables[k]);
            options_do_not_fit(file_name, "--table " + std::to_string(*in.table) + ": the file holds " +
                                              std::to_string(found) + (found == 1 ? " table" : " tables") +
                                              (t.header.empty() ? ""
                                               : found == 1     ? " (header row on line " + where + ")"
                                                                : " (header rows on lines " + where + ")"));
        }
        if (next_line()) {
            if (!(line != long_line && !t.units.empty() && same_names(line, t.delimiter, t.units))) put_back();
        }
    }

    // The columns: by number, by the name given, or by the best rank of the known names.
    const std::size_t width = !names.empty() ? names.size() : row_field_count(first_row(), t.delimiter);
    const auto resolve = [&](const column_choice& c, quantity q, const char* option) -> std::optional<table_column> {
        const std::string word = quantity_word(q);
        const std::string head = "the header row (" + line_text(header_at) + ") ";
        const std::string choose = "; choose the " + word + " column with " + option + " (a name, or a number from 1)";
        if (c.numbered) {
            if (c.number == 0) options_do_not_fit(file_name, std::string(option) + " numbers the columns from 1");
            if (width != 0 && c.number > width)
                options_do_not_fit(file_name, std::string(option) + " " + c.text + ": the table has " +
                                                  std::to_string(width) + (width == 1 ? " column" : " columns"));
            const auto at = static_cast<std::size_t>(c.number - 1);
            const bool has_name = at < names.size() && !names[at].empty();
            return table_column{at, has_name ? std::string(names[at]) : "column " + c.text};
        }
        if (c.given) {
            const std::vector<std::size_t> at = named(names, c.text);
            if (at.size() == 1) return table_column{at[0], std::string(names[at[0]])};
            if (at.empty())
                options_do_not_fit(file_name, head + "has no column named \"" + message_text(c.text) +
                                                  "\"; its names are " + quoted_names(names) + choose);
            options_do_not_fit(file_name, head + "has " + std::to_string(at.size()) + " columns named \"" +
                                              message_text(c.text) + "\": " + listed(names, at) + "; choose one with " +
                                              option + " by its number");
        }
        const candidates found = candidates_of(names, q);
        if (found.rank == 0) {
            if (q == quantity::time) return std::nullopt;
            options_do_not_fit(file_name, head + "has no " + word +
                                              " column by a name the program knows; its names are " +
                                              quoted_names(names) + choose);
        }
        if (found.rank == weak_rank)
            options_do_not_fit(file_name, head + "has no " + word + " column that the program takes by itself, only " +
                                              listed(names, found.at) + choose);
        if (found.at.size() > 1)
            options_do_not_fit(file_name,
                               head + "has several " + word + " columns: " + listed(names, found.at) + choose);
        return table_column{found.at[0], std::string(names[found.at[0]])};
    };
    t.v = *resolve(v_choice, quantity::voltage, "--v-column");
    t.i = *resolve(i_choice, quantity::current, "--i-column");
    std::optional<double> preamble_frequency;
    if (!in.sampling_frequency) {
        if (!names.empty() || time_choice.numbered) t.time = resolve(time_choice, quantity::time, "--time-column");
        if (!t.time) preamble_frequency = preamble.sampling_frequency();
        if (!t.time && !preamble_frequency)
            options_do_not_fit(file_name, "the file has no time column to give the sampling frequency: give it with "
                                          "--fs HZ, or choose the time column with --time-column");
    }

    // Scales: given, or from the column's unit in its name or in the units row.
    const auto scale_of = [&](const std::optional<double>& given, const table_column& c, quantity q,
                              const char* option) -> double {
        if (given) return *given;
        const std::string label = message_text(c.label);
        const char* const scale_option = q == quantity::time      ? "--fs"
                                         : q == quantity::voltage ? "--v-scale"
                                                                  : "--i-scale";
        std::optional<std::string_view> unit;
        std::string where = "the " + std::string(quantity_word(q)) + " column (" + label + ")";
        if (c.index < names.size()) unit = split_header_name(names[c.index]).unit;
        if (!unit && c.index < unit_cells.size() && !unit_cells[c.index].empty() && unit_cells[c.index] != "#") {
            unit = unit_cells[c.index];
            where += ", by the units row (" + line_text(units_at) + "),";
        }
        if (!unit) return 1.0;
        const std::optional<unit_reading> read = read_unit(*unit);
        if (!read)
            options_do_not_fit(
                file_name, where + " is in '" + message_text(*unit) + "', a unit the program does not know: give " +
                               scale_option +
                               (q == quantity::time ? " HZ" : " (the factor to " + std::string(unit_word(q)) + ")") +
                               " to read it anyway");
        if (read->of != q)
            options_do_not_fit(file_name, where + " is in " + unit_word(read->of) + ": choose the " + quantity_word(q) +
                                              " column with " + option + ", or give " + scale_option +
                                              " to read it anyway");
        return read->scale;
    };
    t.v_scale = scale_of(in.v_scale, t.v, quantity::voltage, "--v-column");
    t.i_scale = scale_of(in.i_scale, t.i, quantity::current, "--i-column");
    if (t.time) t.time_scale = scale_of(std::nullopt, *t.time, quantity::time, "--time-column");
    t.fields_needed = std::max({t.v.index, t.i.index, t.time ? t.time->index : 0}) + 1;
    t.field_count = names.size();
    t.decimal_comma = in.decimal_comma;
    t.decimal_comma_known = in.decimal_comma;
    check_readable(reader, file_name);
    t.lines_before = lines;
    result.timed = t.time.has_value();

    input_description& d = result.input;
    d.format = format_name(input_format::delimited);
    d.v_column = message_text(v_choice.numbered ? v_choice.text : t.v.label);
    d.i_column = message_text(i_choice.numbered ? i_choice.text : t.i.label);
    d.v_scale = t.v_scale;
    d.i_scale = t.i_scale;
    d.fs_source = in.sampling_frequency ? "option" : t.time ? "time column" : "preamble";
    if (in.table) d.table = in.table;
    if (preamble_frequency) {
        if (!(*preamble_frequency >= 1e-37 && *preamble_frequency <= 1e37))
            bad_file(file_name, "the sampling frequency must be a number from 1e-37 to 1e37.");
        result.sampling_frequency = *preamble_frequency;
        result.deltat = static_cast<float>(1.0 / *preamble_frequency);
    }
    return t;
}

}  // namespace veltrin
