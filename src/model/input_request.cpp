// Whether a column as a front end gives it can be one; which reading settings a request gives.
#include "model/input_request.hpp"

#include <charconv>
#include <utility>

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
    const std::pair<setting_id, bool> given[] = {{setting_id::v_column, in.v_column.has_value()},
                                                 {setting_id::i_column, in.i_column.has_value()},
                                                 {setting_id::time_column, in.time_column.has_value()},
                                                 {setting_id::fs, in.sampling_frequency.has_value()},
                                                 {setting_id::delimiter, in.delimiter.has_value()},
                                                 {setting_id::decimal_comma, in.decimal_comma},
                                                 {setting_id::skip, in.skip.has_value()},
                                                 {setting_id::table, in.table.has_value()},
                                                 {setting_id::v_scale, in.v_scale.has_value()},
                                                 {setting_id::i_scale, in.i_scale.has_value()}};
    for (const auto& [setting, on] : given)
        if (setting == id) return on;
    return false;
}

}  // namespace veltrin
