// The one error type of the library: what failed, in the program's own words.
#pragma once

#include <string>
#include <vector>

// What a front end needs to show a failure its own way: the configuration
// mode prints the lines and the prompt, the command line one line on
// standard error, Python an exception of the matching type.
enum class error_kind {
    missing_file,     // a file to read does not exist
    unreadable_file,  // it exists but cannot be read
    unwritable_file,  // the result cannot be written
    bad_data,         // the recording cannot give a table
    bad_settings,     // the settings do not fit each other or the recording
    out_of_memory,
};

struct analysis_error {
    error_kind kind;
    std::string file;                // the file concerned, as the user named it
    std::vector<std::string> lines;  // the configuration mode's message lines, line ends included
    int system_error = 0;            // the errno value of the call that failed, 0 when none applies
    bool looks_like_utf16 = false;   // an unknown structure, and the file starts as UTF-16 text does
};

[[noreturn]] void fail(error_kind kind, std::string file, std::string line);
[[noreturn]] void fail(error_kind kind, std::string file, std::string first_line, std::string second_line);
// "The file FILE cannot be written." with the errno value that says why.
[[noreturn]] void fail_unwritable(std::string file, int system_error);

// The message on one line: line ends dropped, lines joined by a blank,
// "in the current directory" left out (a command line names paths).
std::string one_line_message(const analysis_error& error);

inline const char* const structure_unknown_message = "\nThe structure of the input data file is unknown.\n";
inline const char* const not_enough_memory_message = "\nFatal error: not enough memory.\n";
