// The window table's look-ups, names and messages.
#include "model/windows.hpp"

#include <charconv>
#include <cmath>

namespace veltrin {

namespace {

std::string shortest(double x)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

std::string written(const window_row& row)
{
    return row.parameter.empty() ? std::string(row.name) : std::string(row.name) + ":" + std::string(row.parameter);
}

}  // namespace

const window_row& window_row_of(window_kind kind)
{
    for (const window_row& row : window_rows)
        if (row.kind == kind) return row;
    return window_rows[0];  // every kind has its row
}

std::optional<window_choice> window_named(std::string_view text)
{
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    for (const window_row& row : window_rows) {
        if (row.name != name) continue;
        if (row.parameter.empty()) {
            if (colon != std::string_view::npos) return std::nullopt;
            return window_choice{row.kind};
        }
        window_choice choice{row.kind, std::numeric_limits<double>::quiet_NaN()};
        if (colon != std::string_view::npos) {
            const std::string_view number = text.substr(colon + 1);
            double x = 0.0;
            const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), x);
            if (error == std::errc() && end == number.data() + number.size()) choice.parameter = x;
        }
        return choice;
    }
    return std::nullopt;
}

std::string window_text(const window_choice& window)
{
    const window_row& row = window_row_of(window.kind);
    if (row.parameter.empty()) return std::string(row.name);
    return std::string(row.name) + ":" + shortest(window.parameter);
}

bool valid_window(const window_choice& window)
{
    const window_row& row = window_row_of(window.kind);
    return row.parameter.empty() || (window.parameter >= row.least && window.parameter <= row.most);
}

std::string window_list()
{
    std::string list;
    const std::size_t count = std::size(window_rows);
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) list += k + 1 == count ? " or " : ", ";
        list += written(window_rows[k]);
    }
    return list;
}

std::string parameter_range(const window_row& row)
{
    if (std::isinf(row.most)) return "of at least " + shortest(row.least);
    return "from " + shortest(row.least) + " to " + shortest(row.most);
}

std::string window_rule(const window_row& row)
{
    return written(row) + " needs a number " + std::string(row.parameter) + " " + parameter_range(row);
}

}  // namespace veltrin
