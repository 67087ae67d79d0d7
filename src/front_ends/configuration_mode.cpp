// The configuration mode's wording of a failure, its prompt and its key wait.
#include "front_ends/configuration_mode.hpp"

#include <cstdio>
#include <new>

#include "analysis/configuration_run.hpp"
#include "front_ends/messages.hpp"
#include "input/configuration_file.hpp"

namespace veltrin {

std::vector<std::string> configuration_mode_lines(const analysis_error& error)
{
    // The configuration mode names the options as the command line does.
    if (error.reading) return reading_lines(error, option_names);
    switch (error.kind) {
    case error_kind::missing_file:
        return {"\nThe file " + error.file + " does not exist in the current directory.\n"};
    // The reason a file cannot be written is the command line's to tell.
    case error_kind::unwritable_file:
        if (error.result_is_input) break;
        return {"\nThe file " + error.file + " cannot be written.\n"};
    case error_kind::bad_settings:
        if (error.problem && error.problem->rule == request_rule::too_few_samples)
            return {"\nFatal error: the number of data points is too low. Decrease\n",
                    "the number of sections in the file " + error.settings_file + ".\n"};
        break;
    default:
        break;
    }
    // Otherwise the message reads as in every front end, on a line of its own.
    std::string line = "\n";
    line.append(one_line_message(error, option_names)).push_back('\n');
    return {line};
}

namespace {

void show_fatal_stop(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputs("Press any key to exit\n", stdout);
    std::fflush(stdout);
    std::getchar();
}

}  // namespace

int run_configuration_mode(unsigned threads)
{
    try {
        run_config_mode(config_file_name, config_file_name, "", threads);
    } catch (const analysis_error& error) {
        show_fatal_stop(configuration_mode_lines(error));
    } catch (const std::bad_alloc&) {
        show_fatal_stop(configuration_mode_lines(analysis_error(error_kind::out_of_memory, "")));
    }
    return 0;
}

}  // namespace veltrin
