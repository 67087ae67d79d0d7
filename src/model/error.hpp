// The one error type of the library: what failed, as data for the front
// ends to word, and a plain one-line message.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "model/request.hpp"

namespace veltrin {

// Which failure: the front ends choose their wording and, for Python, the
// exception type from it.
enum class error_kind {
    missing_file,           // a file to read does not exist
    unreadable_file,        // it exists but cannot be read
    unwritable_file,        // the result cannot be written
    invalid_configuration,  // the configuration file does not hold its five fields
    bad_data,               // the recording cannot give a table
    bad_settings,           // the settings break a rule of the request (see problem)
    input_options,          // the options that tell how to read a file do not fit it
    out_of_memory,
};

class analysis_error : public std::exception {
public:
    analysis_error(error_kind kind, std::string file, std::vector<std::string> lines = {});

    error_kind kind;
    std::string file;                        // the file concerned, as the user named it
    std::int64_t data_line = 0;              // the data block's line concerned, from 1; 0 when none is
    std::optional<request_problem> problem;  // bad_settings: the setting, the rule and the value
    std::string settings_file;               // the configuration file the settings came from, if any
    int system_error = 0;                    // the errno value of the call that failed, 0 when none applies
    bool looks_like_utf16 = false;           // an unknown structure, and the file starts as UTF-16 text does
    // The message as the reader or the platform words it, in the configuration
    // mode's lines (line ends included); empty when the front ends word it from the data above.
    std::vector<std::string> lines;

    // The message on one line, in plain English, without a front end's terms.
    const char* what() const noexcept override;

private:
    mutable std::string message_;
};

[[noreturn]] void fail(error_kind kind, std::string file);
[[noreturn]] void fail(error_kind kind, std::string file, std::string line);
[[noreturn]] void fail(error_kind kind, std::string file, std::string first_line, std::string second_line);
// The result FILE cannot be written, with the errno value that says why.
[[noreturn]] void fail_unwritable(std::string file, int system_error);
// The settings break a rule: the problem names the data FILE they were applied to.
[[noreturn]] void fail_settings(std::string file, request_problem problem);

inline const char* const structure_unknown_message = "\nThe structure of the input data file is unknown.\n";

}  // namespace veltrin
