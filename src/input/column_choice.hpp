// The columns of v, i and the time as the user chooses them (by name or by
// number) or as the program finds them by the ranks of their known names.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/column_names.hpp"
#include "input/delimited_header.hpp"
#include "model/problem.hpp"
#include "model/settings.hpp"

namespace veltrin {

// A column as the user names it: by its header name, or by its number from 1.
struct column_choice {
    bool given = false;
    bool numbered = false;
    std::uint64_t number = 0;  // held at 2^40: no table is that wide
    std::string text;
};

column_choice choice_of(const std::optional<std::string>& option);

// Whether the header row's names hold the column chosen, or one of q's known names.
bool finds(const column_choice& c, quantity q, std::span<const std::string_view> names);

// The header row's names and where they stand, for finding the columns.
struct column_lookup {
    const std::string& file_name;
    std::span<const std::string_view> names;
    std::size_t width;  // the rows' fields
    std::int64_t header_at;
};

// A column by number, by the name given, or by the best rank of the known
// names; none for a time column that no name gives. Raises input_options
// when the choice does not fit the file.
std::optional<table_column> resolve(const column_lookup& at, const column_choice& c, quantity q, setting_id setting);

}  // namespace veltrin
