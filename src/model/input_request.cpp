// Whether a column as a front end gives it can be one; which reading settings a request gives.
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

bool gives(const input_request& in, setting_id id)
{
    switch (id) {
    case setting_id::v_column:
        return in.v_column.has_value();
    case setting_id::i_column:
        return in.i_column.has_value();
    case setting_id::time_column:
        return in.time_column.has_value();
    case setting_id::fs:
        return in.sampling_frequency.has_value();
    case setting_id::delimiter:
        return in.delimiter.has_value();
    case setting_id::decimal_comma:
        return in.decimal_comma;
    case setting_id::skip:
        return in.skip.has_value();
    case setting_id::table:
        return in.table.has_value();
    case setting_id::v_scale:
        return in.v_scale.has_value();
    case setting_id::i_scale:
        return in.i_scale.has_value();
    default:
        return false;
    }
}

}  // namespace veltrin
