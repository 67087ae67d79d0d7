// Whether a column as a front end gives it can be one.
#include "model/input_request.hpp"

#include <charconv>

namespace veltrin {

bool valid_column(std::string_view column)
{
    if (column.empty()) return false;
    if (column.find_first_not_of("0123456789") != std::string_view::npos) return true;  // a header name
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(column.data(), column.data() + column.size(), number);
    return error == std::errc() && number >= 1 && number <= most_column_number;
}

}  // namespace veltrin
