// Fields of delimited text, the numbers in them, and the names and units
// of the columns.
#include "input/delimited_fields.hpp"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "input/number_text.hpp"

namespace veltrin {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// The end of the field that starts at p: the next delimiter outside double quotes.
const char* field_end(const char* p, const char* last, char delimiter)
{
    bool quoted = false;
    for (; p != last; ++p) {
        if (*p == '"')
            quoted = !quoted;  // a doubled quote inside a quoted field toggles twice
        else if (!quoted && (delimiter == blank_run ? is_blank(*p) : *p == delimiter))
            break;
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

std::string_view first_field(std::string_view line, char delimiter)
{
    const char* p = line.data();
    const char* const last = p + line.size();
    if (delimiter == blank_run)
        while (p != last && is_blank(*p)) ++p;
    return {p, static_cast<std::size_t>(field_end(p, last, delimiter) - p)};
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

bool looks_numeric(std::string_view cell)
{
    cell = trimmed(cell);
    if (!cell.empty() && (cell.front() == '+' || cell.front() == '-')) cell.remove_prefix(1);
    if (cell.empty()) return false;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (digit(cell[0])) return true;
    if ((cell[0] == '.' || cell[0] == ',') && cell.size() > 1 && digit(cell[1])) return true;
    std::string word;
    for (const char c : cell) word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return word == "nan" || word == "inf" || word == "infinity";
}

std::size_t row_field_count(std::string_view line, char delimiter)
{
    const char* p = line.data();
    const char* const last = p + line.size();
    std::size_t fields = 0;
    if (delimiter == blank_run) {
        for (;;) {
            while (p != last && is_blank(*p)) ++p;
            if (p == last) return fields;
            ++fields;
            p = field_end(p, last, delimiter);
        }
    }
    for (;;) {
        const char* const end = field_end(p, last, delimiter);
        ++fields;
        if (end == last) return fields;
        p = end + 1;
        // A delimiter at the line's end adds no field.
        if (p == last) return fields;
    }
}

bool is_spreadsheet_error(std::string_view cell)
{
    cell = trimmed(cell);
    for (const std::string_view error : {"#N/A", "#VALUE!", "#DIV/0!", "#REF!", "#NUM!", "#NAME?", "#NULL!"})
        if (cell == error) return true;
    return false;
}

}  // namespace veltrin
