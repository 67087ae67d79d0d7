// Raising the library's error, and its plain one-line message.
#include "model/error.hpp"

#include <charconv>
#include <system_error>
#include <utility>

namespace veltrin {

namespace {

std::string shortest(double x)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

std::string settings_message(const request_problem& problem, const std::string& settings_file)
{
    switch (problem.rule) {
    case request_rule::too_few_samples:
        return "Fatal error: the number of data points is too low. Decrease " +
               (settings_file.empty() ? std::string("the number of sections or the points per section.")
                                      : "the number of sections in the file " + settings_file + ".");
    case request_rule::not_a_power_of_two:
        return "Fatal error: the number of points per section is not a power of 2.";
    case request_rule::below_least:
        return problem.setting == request_setting::points
                   ? "Fatal error: the number of points per section must be at least " + std::to_string(least_points) +
                         "."
                   : "Fatal error: the number of sections must be at least " + std::to_string(least_sections) + ".";
    case request_rule::unknown_window:
        return "Fatal error: the window must be " + window_list() + ".";
    case request_rule::outside_range:
        switch (problem.setting) {
        case request_setting::overlap:
            return "Fatal error: the overlap must be at least 0 and less than 1.";
        case request_setting::band:
        case request_setting::slope_band:
            return "Fatal error: a band must be F_LO:F_HI in Hz with 0 <= F_LO <= F_HI.";
        case request_setting::stern_geary:
            return "Fatal error: the Stern-Geary coefficient must be a finite number of volts above 0.";
        case request_setting::area:
            return "Fatal error: the electrode area must be a finite number of cm^2 above 0.";
        case request_setting::electrodes:
            return "Fatal error: the number of electrodes must be 1 or 2.";
        default:
            return "Fatal error: the confidence must be more than 0 and less than 1.";
        }
    case request_rule::needs_confidence:
        return "Fatal error: the coherent Zn interval needs a confidence.";
    case request_rule::needs_stern_geary:
        return "Fatal error: the electrode area needs the Stern-Geary coefficient.";
    case request_rule::no_bin:
        return std::string("Fatal error: the ") + (problem.setting == request_setting::band ? "band " : "slope band ") +
               std::get<std::string>(problem.value) + " holds no bin: the bins are " + shortest(problem.bin_spacing) +
               " Hz apart.";
    case request_rule::hanning_standard:
        return "Fatal error: the configuration estimate's Hann window does not go with the standard estimate.";
    case request_rule::needs_mean_average:
        return problem.setting == request_setting::confidence
                   ? "Fatal error: confidence intervals need the mean average."
                   : "Fatal error: the coherence needs the mean average.";
    }
    return "Fatal error: the settings do not fit each other.";
}

std::string one_line(const analysis_error& error)
{
    if (!error.lines.empty()) {
        // The configuration mode's lines, their line ends dropped, joined by a blank.
        std::string text;
        for (const std::string& line : error.lines) {
            const std::size_t first = line.find_first_not_of('\n');
            const std::size_t last = line.find_last_not_of('\n');
            if (first == std::string::npos) continue;
            if (!text.empty()) text += ' ';
            text.append(line, first, last - first + 1);
        }
        return text;
    }
    const std::string& file = error.file;
    switch (error.kind) {
    case error_kind::missing_file:
        return "The file " + file + " does not exist.";
    case error_kind::unreadable_file:
        return "The file " + file + " cannot be read.";
    case error_kind::unwritable_file:
        return error.system_error != 0
                   ? "The file " + file + " cannot be written: " + std::generic_category().message(error.system_error)
                   : "The file " + file + " cannot be written.";
    case error_kind::invalid_configuration:
        return "The file " + file +
               " is not valid: it must hold the data file name, hanning, nb_section, nbpoint_section and the result "
               "file name.";
    case error_kind::bad_settings:
        if (error.problem) return settings_message(*error.problem, error.settings_file);
        break;
    case error_kind::out_of_memory:
        return "Fatal error: not enough memory.";
    case error_kind::bad_data:
    case error_kind::input_options:
        break;
    }
    return "Fatal error: the recording cannot give a table.";
}

}  // namespace

analysis_error::analysis_error(error_kind kind, std::string file, std::vector<std::string> lines)
    : kind(kind), file(std::move(file)), lines(std::move(lines))
{
}

const char* analysis_error::what() const noexcept
{
    // Built when asked: a reader adds the file name to an error raised below it.
    try {
        message_ = one_line(*this);
        return message_.c_str();
    } catch (...) {
        return "Fatal error: not enough memory.";
    }
}

void fail(error_kind kind, std::string file)
{
    throw analysis_error(kind, std::move(file));
}

void fail(error_kind kind, std::string file, std::string line)
{
    throw analysis_error(kind, std::move(file), {std::move(line)});
}

void fail(error_kind kind, std::string file, std::string first_line, std::string second_line)
{
    throw analysis_error(kind, std::move(file), {std::move(first_line), std::move(second_line)});
}

void fail_unwritable(std::string file, int system_error)
{
    analysis_error error(error_kind::unwritable_file, std::move(file));
    error.system_error = system_error;
    throw error;
}

void fail_settings(std::string file, request_problem problem)
{
    analysis_error error(error_kind::bad_settings, std::move(file));
    error.problem = std::move(problem);
    throw error;
}

}  // namespace veltrin
