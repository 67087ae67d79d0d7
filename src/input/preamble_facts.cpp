// The sampling that a delimited table's preamble states.
#include "input/preamble_facts.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "input/column_names.hpp"
#include "input/delimited_fields.hpp"
#include "model/error.hpp"

namespace veltrin {

namespace {

// The factor to Hz of a frequency unit, or none.
std::optional<double> hertz(std::string_view unit)
{
    if (unit == "Hz") return 1.0;
    if (unit == "mHz") return 1e-3;
    if (unit == "kHz") return 1e3;
    if (unit == "MHz") return 1e6;
    return std::nullopt;
}

// The unit in the last brackets of a description ("Acquisition Frequency (Hz)").
std::string_view bracketed(std::string_view text)
{
    const std::size_t close = text.rfind(')');
    const std::size_t open = text.rfind('(', close);
    if (close == std::string_view::npos || open == std::string_view::npos) return {};
    return trimmed(text.substr(open + 1, close - open - 1));
}

// Two statements of the sampling agree to 0.01 %, as the preamble rounds them.
// A number with a decimal point or, as a statement holds one number, a decimal comma.
bool stated_number(std::string_view text, double& value)
{
    return cell_number(text, false, value) || cell_number(text, true, value);
}

// Whether text starts with lead, whatever the letters' case.
bool starts_as(std::string_view text, std::string_view lead)
{
    return text.size() >= lead.size() && std::equal(lead.begin(), lead.end(), text.begin(), [](char a, char b) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(a) == lower(b);
           });
}

bool differ(double a, double b)
{
    return !(std::fabs(a - b) <= 1e-4 * std::fabs(a));
}

}  // namespace

void preamble_facts::note(std::string_view line, std::int64_t at)
{
    std::string shown(trimmed(line));
    std::replace(shown.begin(), shown.end(), '\t', ' ');
    const reading_problem unread{.rule = reading_rule::preamble_unreadable, .line = at, .text = message_text(shown)};
    const auto take = [&](std::optional<statement>& kept, std::optional<double> value) {
        if (!value || !(*value > 0.0) || !std::isfinite(*value)) {
            if (!problem) problem = unread;
            return;
        }
        if (kept && differ(kept->value, *value) && !problem)
            problem = reading_problem{.rule = reading_rule::preamble_disagrees, .line = kept->line, .other_line = at};
        if (!kept) kept = statement{*value, at};
    };
    const auto number_after = [](std::string_view rest) -> std::optional<double> {
        rest = trimmed(rest);
        double value = 0.0;
        if (!rest.starts_with('=') || !stated_number(rest.substr(1), value)) return std::nullopt;
        return value;
    };

    std::vector<std::string_view> fields;
    split_fields(line, '\t', fields);
    if (fields.size() >= 3 && trimmed(fields[0]) == "FREQ" && trimmed(fields[1]) == "QUANT") {
        double value = 0.0;
        const std::optional<double> factor = fields.size() >= 4 ? hertz(bracketed(fields[3])) : std::nullopt;
        const bool read = stated_number(fields[2], value) && factor;
        take(frequency, read ? std::optional<double>(value * *factor) : std::nullopt);
        return;
    }
    const std::string_view text = trimmed(line);
    constexpr std::string_view interval_lead = "Sample Interval";
    constexpr std::string_view rate_lead = "Scan Rate";
    for (const std::string_view lead : {interval_lead, rate_lead}) {
        if (!starts_as(text, lead)) continue;
        // The unit in brackets right after the words; a statement without it is not read.
        const std::string_view rest = trimmed(text.substr(lead.size()));
        const std::size_t close = rest.find(')');
        if (!rest.starts_with('(') || close == std::string_view::npos) {
            take(interval_seconds, std::nullopt);
            return;
        }
        std::string_view unit = rest.substr(1, close - 1);
        const std::optional<double> value = number_after(rest.substr(close + 1));
        if (lead == rate_lead) {
            // A potential per second.
            const bool per_second = unit.ends_with("/s");
            const std::optional<unit_reading> u =
                per_second ? read_unit(unit.substr(0, unit.size() - 2)) : std::nullopt;
            const bool volts = u && u->of == quantity::voltage;
            take(scan_rate, value && volts ? std::optional<double>(*value * u->scale) : std::nullopt);
            return;
        }
        const std::optional<unit_reading> u = read_unit(unit);
        const bool timed = u && u->of == quantity::time;
        const bool volts = u && u->of == quantity::voltage;
        take(volts ? interval_volts : interval_seconds,
             value && (timed || volts) ? std::optional<double>(*value * u->scale) : std::nullopt);
        return;
    }
}

std::optional<double> preamble_facts::sampling_frequency(const std::string& file_name) const
{
    if (problem) fail_reading(error_kind::bad_data, file_name, *problem);
    // Each way the preamble gives it, with the line that does.
    std::vector<statement> given;
    if (frequency) given.push_back(*frequency);
    if (interval_seconds) given.push_back({1.0 / interval_seconds->value, interval_seconds->line});
    if (interval_volts && scan_rate)
        given.push_back({scan_rate->value / interval_volts->value, std::max(interval_volts->line, scan_rate->line)});
    if (given.empty()) return std::nullopt;
    for (const statement& s : given)
        if (differ(given.front().value, s.value))
            fail_reading(error_kind::bad_data, file_name,
                         {.rule = reading_rule::preamble_disagrees,
                          .line = std::min(given.front().line, s.line),
                          .other_line = std::max(given.front().line, s.line)});
    return given.front().value;
}

}  // namespace veltrin
