// Exact, case-sensitive search for the sample file's tags in a line.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace veltrin {

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

// Position of the first occurrence of the tag in line, or npos. Inline: with
// the tag known at the call, the compiler turns the compare into a few loads.
inline std::size_t find_tag(std::string_view line, const tag& t)
{
    if (line.size() < t.text.size()) return std::string_view::npos;
    const char* const first = line.data();
    const char* p = first + t.anchor;
    const char* const last_anchor = first + (line.size() - t.text.size()) + t.anchor;  // inclusive
    while (p <= last_anchor) {
        p = static_cast<const char*>(std::memchr(p, t.text[t.anchor], static_cast<std::size_t>(last_anchor - p) + 1));
        if (p == nullptr) return std::string_view::npos;
        if (std::memcmp(p - t.anchor, t.text.data(), t.text.size()) == 0)
            return static_cast<std::size_t>(p - t.anchor - first);
        ++p;
    }
    return std::string_view::npos;
}

inline bool holds(std::string_view line, const tag& t)
{
    return find_tag(line, t) != std::string_view::npos;
}

}  // namespace veltrin
