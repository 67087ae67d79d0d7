// The columns the user chooses, and those the program finds by rank.
#include "input/column_choice.hpp"

#include <algorithm>

namespace veltrin {

namespace {

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

// The names of a header line, as messages show them.
std::vector<std::string> shown_names(std::span<const std::string_view> names)
{
    std::vector<std::string> shown;
    for (const std::string_view name : names) shown.push_back(message_text(name));
    return shown;
}

// The columns at `at`, with their numbers from 1.
std::vector<numbered_name> numbered(std::span<const std::string_view> names, std::span<const std::size_t> at)
{
    std::vector<numbered_name> columns;
    for (const std::size_t k : at) columns.push_back({message_text(names[k]), k + 1});
    return columns;
}

}  // namespace

bool finds(const column_choice& c, quantity q, std::span<const std::string_view> names)
{
    if (c.numbered) return c.number >= 1 && c.number <= names.size();
    if (c.given) return !named(names, c.text).empty();
    return candidates_of(names, q).rank != 0;
}

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

// A column by number, by the name given, or by the best rank of the known names.
std::optional<table_column> resolve(const column_lookup& at, const column_choice& c, quantity q, setting_id setting)
{
    reading_problem problem{.rule = reading_rule::no_known_column,
                            .setting = setting,
                            .other_line = at.header_at,
                            .column = q,
                            .text = message_text(c.text),
                            .names = shown_names(at.names)};
    if (c.numbered) {
        problem.text = c.text;
        problem.count = static_cast<std::int64_t>(at.width);
        if (c.number == 0)
            options_do_not_fit(at.file_name, {.rule = reading_rule::column_number_zero, .setting = setting});
        if (at.width != 0 && c.number > at.width) {
            problem.rule = reading_rule::column_beyond_table;
            options_do_not_fit(at.file_name, std::move(problem));
        }
        const auto k = static_cast<std::size_t>(c.number - 1);
        const bool has_name = k < at.names.size() && !at.names[k].empty();
        return table_column{k, has_name ? std::string(at.names[k]) : "column " + c.text};
    }
    if (c.given) {
        const std::vector<std::size_t> columns = named(at.names, c.text);
        if (columns.size() == 1) return table_column{columns[0], std::string(at.names[columns[0]])};
        problem.rule = columns.empty() ? reading_rule::no_column_named : reading_rule::several_columns_named;
        problem.candidates = numbered(at.names, columns);
        options_do_not_fit(at.file_name, std::move(problem));
    }
    const candidates found = candidates_of(at.names, q);
    if (found.rank == 0 && q == quantity::time) return std::nullopt;
    if (found.rank == 0) options_do_not_fit(at.file_name, std::move(problem));
    problem.candidates = numbered(at.names, found.at);
    if (found.rank == weak_rank)
        problem.rule = reading_rule::only_weak_columns;
    else if (found.at.size() > 1)
        problem.rule = reading_rule::several_known_columns;
    if (problem.rule != reading_rule::no_known_column) options_do_not_fit(at.file_name, std::move(problem));
    return table_column{found.at[0], std::string(at.names[found.at[0]])};
}

}  // namespace veltrin
