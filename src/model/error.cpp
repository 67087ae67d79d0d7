// Raising the library's error, and its terse summary.
#include "model/error.hpp"

#include <utility>

namespace veltrin {

namespace {

// The kinds in the order of error_kind.
constexpr const char* kind_texts[] = {"missing file", "unreadable file", "unwritable file", "invalid configuration",
                                      "bad data",     "bad settings",    "input options",   "out of memory"};
static_assert(std::size(kind_texts) == static_cast<std::size_t>(error_kind::out_of_memory) + 1);

const char* kind_text(error_kind kind)
{
    return kind_texts[static_cast<std::size_t>(kind)];
}

}  // namespace

analysis_error::analysis_error(error_kind kind, std::string file) : kind(kind), file(std::move(file)) {}

const char* analysis_error::what() const noexcept
{
    // Built when asked: a reader adds the file name to an error raised below it.
    try {
        message_ = file + ": " + kind_text(kind);
        if (reading)
            message_ += ", reading rule " + std::to_string(static_cast<int>(reading->rule)) + " at line " +
                        std::to_string(reading->line) + (reading->text.empty() ? "" : ": " + reading->text);
        if (problem)
            message_ += ", request rule " + std::to_string(static_cast<int>(problem->rule)) + " of setting " +
                        std::to_string(static_cast<int>(problem->setting));
        return message_.c_str();
    } catch (...) {
        return "out of memory";
    }
}

void fail(error_kind kind, std::string file)
{
    throw analysis_error(kind, std::move(file));
}

void fail_reading(error_kind kind, std::string file, reading_problem problem)
{
    analysis_error error(kind, std::move(file));
    error.reading = std::move(problem);
    throw error;
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
