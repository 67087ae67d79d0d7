// The one error type of the library: what failed, as data for the front
// ends to word (src/front_ends/messages.hpp), and a terse summary.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "model/problem.hpp"
#include "model/request.hpp"

namespace veltrin {

// Which failure: the front ends choose their wording and, for Python, the
// exception type from it.
enum class error_kind {
    missing_file,           // a file to read does not exist
    unreadable_file,        // it exists but cannot be read
    unwritable_file,        // the result cannot be written
    invalid_configuration,  // the configuration file does not hold its five fields
    bad_data,               // the recording cannot give a table (see reading)
    bad_settings,           // the settings break a rule of the request (see problem)
    input_options,          // the options that tell how to read a file do not fit it (see reading)
    out_of_memory,
};

class analysis_error : public std::exception {
public:
    analysis_error(error_kind kind, std::string file);

    error_kind kind;
    std::string file;                        // the file concerned, as the user named it
    std::int64_t data_line = 0;              // the data block's line concerned, from 1; 0 when none is
    std::optional<request_problem> problem;  // bad_settings: the setting, the rule and the value
    std::optional<reading_problem> reading;  // bad_data, input_options: the rule broken, where and what
    std::string settings_file;               // the configuration file the settings came from, if any
    int system_error = 0;                    // the errno value of the call that failed, 0 when none applies
    bool result_is_input = false;            // unwritable_file: the result would replace an input of the run
    bool looks_like_utf16 = false;           // an unknown structure, and the file starts as UTF-16 text does

    // The kind and the rule broken, with the line, for logs and tests; the
    // front ends word the error from its data.
    const char* what() const noexcept override;

private:
    mutable std::string message_;
};

[[noreturn]] void fail(error_kind kind, std::string file);
// The file breaks a rule of its format (bad_data), or the options do not fit it (input_options).
[[noreturn]] void fail_reading(error_kind kind, std::string file, reading_problem problem);
// The result FILE cannot be written, with the errno value that says why.
[[noreturn]] void fail_unwritable(std::string file, int system_error);
// The settings break a rule: the problem names the data FILE they were applied to.
[[noreturn]] void fail_settings(std::string file, request_problem problem);

}  // namespace veltrin
