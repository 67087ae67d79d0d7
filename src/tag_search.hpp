// Exact, case-sensitive search for the sample file's tags in a line.
#pragma once

#include <cstddef>
#include <string_view>

// A tag and the position of its character that the search looks for first:
// one that data lines rarely hold (no digit, sign, point or exponent letter),
// so that most lines are passed over with a single memchr.
struct tag {
    std::string_view text;
    std::size_t anchor;
};

inline constexpr tag frequency_tag{"<sampling_frequency>", 2};
inline constexpr tag data_tag{"<data>", 1};
inline constexpr tag data_end_tag{"</data>", 2};
inline constexpr tag pair_tag{"</v><i>", 5};
inline constexpr tag v_tag{"<v>", 1};
inline constexpr tag i_tag{"<i>", 1};

// Position of the first occurrence of the tag in line, or npos.
std::size_t find_tag(std::string_view line, const tag& t);

inline bool holds(std::string_view line, const tag& t)
{
    return find_tag(line, t) != std::string_view::npos;
}
