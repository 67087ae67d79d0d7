// The names instruments and spreadsheets give the columns of v, i and the
// time, ranked, and the units that follow them.
#include "input/column_names.hpp"

#include <cstdio>
#include <span>

#include "model/printable_text.hpp"

namespace veltrin {

namespace {

std::string_view without_blanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Where a reference electrode's text starts ("vs. SCE", "vs Ag/AgCl"), or npos.
std::size_t reference_at(std::string_view text)
{
    for (std::size_t at = text.find("vs"); at != std::string_view::npos; at = text.find("vs", at + 1)) {
        const bool word_start = at == 0 || text[at - 1] == ' ';
        const bool word_end = at + 2 == text.size() || text[at + 2] == '.' || text[at + 2] == ' ';
        if (word_start && word_end) return at;
    }
    return std::string_view::npos;
}

struct known_name {
    std::string_view name;
    quantity of;
    int rank;
};

// The name before the unit, as instruments write it.
constexpr known_name known_names[] = {
    {"v", quantity::voltage, 1},
    {"V", quantity::voltage, 1},
    {"E", quantity::voltage, 1},
    {"Ewe", quantity::voltage, 1},
    {"Vf", quantity::voltage, 1},
    {"Potential", quantity::voltage, 1},
    {"WE(1).Potential", quantity::voltage, 1},
    {"Voltage", quantity::voltage, 1},
    {"<Ewe>", quantity::voltage, 2},
    {"Ewe-Ece", quantity::voltage, weak_rank},
    {"Ece", quantity::voltage, weak_rank},
    {"<Ece>", quantity::voltage, weak_rank},
    {"Vm", quantity::voltage, weak_rank},
    {"Vu", quantity::voltage, weak_rank},
    {"Ach", quantity::voltage, weak_rank},
    {"Potential applied", quantity::voltage, weak_rank},
    {"i", quantity::current, 1},
    {"I", quantity::current, 1},
    {"Im", quantity::current, 1},
    {"Current", quantity::current, 1},
    {"WE(1).Current", quantity::current, 1},
    {"<I>", quantity::current, 2},
    {"control/V", quantity::current, weak_rank},
    {"I Range", quantity::current, weak_rank},
    {"t", quantity::time, 1},
    {"T", quantity::time, 1},
    {"time", quantity::time, 1},
    {"Time", quantity::time, 1},
};

struct prefix {
    std::string_view text;
    double scale;
};

// The micro sign in UTF-8, the Greek mu in UTF-8, the micro sign in Latin-1.
constexpr prefix prefixes[] = {{"", 1.0},      {"p", 1e-12}, {"n", 1e-9}, {"\xC2\xB5", 1e-6}, {"\xCE\xBC", 1e-6},
                               {"\xB5", 1e-6}, {"u", 1e-6},  {"m", 1e-3}, {"k", 1e3}};

struct unit_name {
    std::string_view text;
    quantity of;
    double scale;
};
constexpr unit_name base_units[] = {
    {"V", quantity::voltage, 1.0}, {"A", quantity::current, 1.0}, {"s", quantity::time, 1.0}};
constexpr unit_name whole_units[] = {
    {"sec", quantity::time, 1.0}, {"min", quantity::time, 60.0}, {"h", quantity::time, 3600.0}};

// The length of a valid UTF-8 sequence at text[at], or 0.
std::size_t utf8_length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned least = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, least = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, least = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, least = 0x10000;
    else
        return 0;
    if (at + length > text.size()) return 0;
    unsigned code = lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(at + k) & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

name_and_unit split_header_name(std::string_view header_name)
{
    std::string_view name = without_blanks(header_name);
    for (const auto& [open, close] : {std::pair{'(', ')'}, std::pair{'[', ']'}}) {
        if (name.empty() || name.back() != close) continue;
        const std::size_t at = name.rfind(open);
        if (at == std::string_view::npos) continue;
        return {without_blanks(name.substr(0, at)), without_blanks(name.substr(at + 1, name.size() - at - 2))};
    }
    // After a slash: "Ewe/V", and "Ewe/V vs. Ag/AgCl" without its reference.
    std::string_view cut = name;
    const std::size_t reference = reference_at(cut);
    if (reference != std::string_view::npos) cut = without_blanks(cut.substr(0, reference));
    const std::size_t slash = cut.rfind('/');
    if (slash == std::string_view::npos) return {name, std::nullopt};
    return {without_blanks(cut.substr(0, slash)), without_blanks(name.substr(slash + 1))};
}

std::optional<unit_reading> read_unit(std::string_view unit)
{
    unit = without_blanks(unit);
    const std::size_t reference = reference_at(unit);
    if (reference != std::string_view::npos) unit = without_blanks(unit.substr(0, reference));
    for (const unit_name& whole : whole_units)
        if (unit == whole.text) return unit_reading{whole.of, whole.scale};
    for (const prefix& p : prefixes) {
        if (!unit.starts_with(p.text)) continue;
        for (const unit_name& base : base_units)
            if (unit.substr(p.text.size()) == base.text) return unit_reading{base.of, p.scale * base.scale};
    }
    return std::nullopt;
}

int name_rank(std::string_view header_name, quantity q)
{
    const std::string_view name = split_header_name(header_name).name;
    for (const known_name& known : known_names)
        if (known.of == q && known.name == name) return known.rank;
    return 0;
}

std::string message_text(std::string_view text)
{
    bool utf8 = true;
    for (std::size_t at = 0; at < text.size() && utf8;) {
        const std::size_t length = utf8_length(text, at);
        utf8 = length != 0;
        at += length;
    }
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0xA0 && !utf8) {
            out += static_cast<char>(0xC0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else if (byte >= 0x80 && !utf8) {
            // Latin-1's control characters, which a terminal would act on.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            append_printable(out, c);
        }
    }
    return out;
}

}  // namespace veltrin
