// Tag search anchored on a rare character of the tag.
#include "tag_search.hpp"

#include <cstring>

std::size_t find_tag(std::string_view line, const tag& t)
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
