// Fields of delimited text, the numbers in them, and the names and units
// of the columns.
#include "input/delimited_fields.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "input/number_text.hpp"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The end of the field that starts at p: the next delimiter outside double quotes.
const char* field_end(const char* p, const char* last, char delimiter)
{
    bool quoted = false;
    for (; p != last; ++p) {
        if (*p == '"') quoted = !quoted;  // a doubled quote inside a quoted field toggles twice
        else if (!quoted && (delimiter == blank_run ? is_blank(*p) : *p == delimiter)) break;
    }
    return p;
}

// The number that the whole of `text` is, by the program's grammar.
bool whole_number(std::string_view text, double& value)
{
    if (text.empty()) return false;
    const char* const first = text.data();
    const char* const last = first + text.size();
    if (number_extent(first, last) != text.size()) return false;
    if (read_number_exactly(first, last, value) == nullptr) value = parse_number(first, last);
    return true;
}

struct unit {
    std::string_view text;
    double scale;
    quantity of;
};

// "\xC2\xB5" is the micro sign in UTF-8; a lone "\xB5" is the same sign in Latin-1.
constexpr unit units[] = {
    {"V", 1.0, quantity::voltage},         {"mV", 1e-3, quantity::voltage},
    {"uV", 1e-6, quantity::voltage},       {"\xC2\xB5V", 1e-6, quantity::voltage},
    {"\xB5V", 1e-6, quantity::voltage},    {"nV", 1e-9, quantity::voltage},
    {"A", 1.0, quantity::current},         {"mA", 1e-3, quantity::current},
    {"uA", 1e-6, quantity::current},       {"\xC2\xB5" "A", 1e-6, quantity::current},
    {"\xB5" "A", 1e-6, quantity::current}, {"nA", 1e-9, quantity::current},
    {"pA", 1e-12, quantity::current},      {"s", 1.0, quantity::time},
    {"ms", 1e-3, quantity::time},          {"us", 1e-6, quantity::time},
    {"\xC2\xB5s", 1e-6, quantity::time},   {"min", 60.0, quantity::time},
    {"h", 3600.0, quantity::time},
};

constexpr std::string_view v_names[] = {"v", "V", "E", "Ewe/V", "Vf", "Potential (V)", "WE(1).Potential (V)"};
constexpr std::string_view i_names[] = {"i", "I", "Im", "<I>/mA", "I/mA", "Current (A)", "WE(1).Current (A)"};
constexpr std::string_view time_names[] = {"t", "T", "time", "Time", "time/s", "Time (s)"};

}  // namespace

char delimiter_of(std::string_view line)
{
    for (const char c : {'\t', ';', ','})
        if (line.find(c) != std::string_view::npos) return c;
    return blank_run;
}

void split_fields(std::string_view line, char delimiter, std::vector<std::string_view>& fields)
{
    fields.clear();
    const char* p = line.data();
    const char* const last = p + line.size();
    if (delimiter == blank_run) {
        for (;;) {
            while (p != last && is_blank(*p)) ++p;
            if (p == last) return;
            const char* const end = field_end(p, last, delimiter);
            fields.emplace_back(p, static_cast<std::size_t>(end - p));
            p = end;
        }
    }
    for (;;) {
        const char* const end = field_end(p, last, delimiter);
        fields.emplace_back(p, static_cast<std::size_t>(end - p));
        if (end == last) return;
        p = end + 1;
    }
}

std::string_view trimmed(std::string_view field)
{
    while (!field.empty() && is_blank(field.front())) field.remove_prefix(1);
    while (!field.empty() && is_blank(field.back())) field.remove_suffix(1);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
        field = field.substr(1, field.size() - 2);
        while (!field.empty() && is_blank(field.front())) field.remove_prefix(1);
        while (!field.empty() && is_blank(field.back())) field.remove_suffix(1);
    }
    return field;
}

bool cell_number(std::string_view cell, bool decimal_comma, double& value)
{
    cell = trimmed(cell);
    if (!decimal_comma) return whole_number(cell, value);
    // With the decimal comma a point is no separator: "1.5" is text.
    if (cell.find('.') != std::string_view::npos) return false;
    char short_text[64];
    std::string long_text;
    char* text = short_text;
    if (cell.size() > sizeof short_text) {
        long_text.assign(cell);
        text = long_text.data();
    } else {
        std::copy(cell.begin(), cell.end(), short_text);
    }
    std::replace(text, text + cell.size(), ',', '.');
    return whole_number(std::string_view(text, cell.size()), value);
}

bool needs_decimal_comma(std::string_view cell)
{
    double value = 0.0;
    return !cell_number(cell, false, value) && cell_number(cell, true, value);
}

bool starts_as_number_row(std::string_view line, char delimiter)
{
    const char* p = line.data();
    const char* const last = p + line.size();
    double value = 0.0;
    for (;;) {
        const char* const end = field_end(p, last, delimiter);
        const std::string_view cell = trimmed(std::string_view(p, static_cast<std::size_t>(end - p)));
        if (!cell.empty()) return cell_number(cell, false, value) || (delimiter != ',' && cell_number(cell, true, value));
        if (end == last) return false;
        p = end + 1;
    }
}

bool is_number_row(std::string_view line, char delimiter)
{
    if (delimiter == 0) delimiter = delimiter_of(line);
    std::vector<std::string_view> fields;
    split_fields(line, delimiter, fields);
    double value = 0.0;
    bool any = false;
    for (const std::string_view field : fields) {
        const std::string_view cell = trimmed(field);
        if (cell.empty()) continue;
        if (!cell_number(cell, false, value) && !(delimiter != ',' && cell_number(cell, true, value))) return false;
        any = true;
    }
    return any;
}

bool is_blank_line(std::string_view line)
{
    for (const char c : line)
        if (!is_blank(c)) return false;
    return true;
}

std::optional<double> unit_scale(std::string_view name, quantity& of)
{
    name = trimmed(name);
    for (const auto& [open, close] : std::array<std::pair<char, char>, 3>{{{'/', 0}, {'(', ')'}, {'[', ']'}}}) {
        std::string_view rest = name;
        if (close != 0) {
            if (rest.empty() || rest.back() != close) continue;
            rest.remove_suffix(1);
        }
        const std::size_t at = rest.rfind(open);
        if (at == std::string_view::npos) continue;
        const std::string_view text = trimmed(rest.substr(at + 1));
        for (const unit& u : units) {
            if (u.text != text) continue;
            of = u.of;
            return u.scale;
        }
    }
    return std::nullopt;
}

bool is_default_name(std::string_view name, quantity q)
{
    const auto among = [&](std::span<const std::string_view> names) {
        for (const std::string_view known : names)
            if (known == name) return true;
        return false;
    };
    switch (q) {
    case quantity::voltage: return among(v_names) || name.starts_with("Ewe");
    case quantity::current: return among(i_names) || name.starts_with("<I>");
    case quantity::time: return among(time_names);
    }
    return false;
}

const char* quantity_word(quantity q)
{
    switch (q) {
    case quantity::voltage: return "v";
    case quantity::current: return "i";
    case quantity::time: return "time";
    }
    return "";
}
