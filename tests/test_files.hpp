// Scratch directories, file contents and runs of the executable for the tests.
#pragma once

#include <cstdio>
#include <string>

// A fresh empty directory under the system's temporary directory.
std::string make_scratch_directory();

void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

struct run_outcome {
    std::string console;  // standard output
    int status = -1;      // exit status, -1 when the process did not exit normally
};

// The executable the process tests run: $VELTRIN_TEST_EXE when set (the
// Windows build under Wine, say), otherwise the one built with the tests.
std::string program_under_test();

// Runs the program under test in directory with standard input from /dev/null,
// after the shell commands in setup (for example a resource limit).
run_outcome run_program(const std::string& directory, const std::string& setup = "");

struct command_outcome {
    std::string out;  // standard output
    std::string err;  // standard error
    int status = -1;
};

// Runs the built veltrin in directory with the given shell-quoted arguments
// and standard input from stdin_file (relative to directory), /dev/null by
// default; prefix comes before the program (a resource limit and "&&", say,
// or a command that runs it).
command_outcome run_command(const std::string& directory, const std::string& arguments,
                            const std::string& stdin_file = "/dev/null", const std::string& prefix = "");

// Quotes a text for the shell.
std::string quoted(const std::string& text);

// An open stream over the given bytes, for reading as a sample file: a
// regular file, or with sequential a memory stream over content itself
// (which must outlive it), read line by line as a pipe is. Windows has no
// memory streams, and fmemopen needs a byte: a regular file then.
std::FILE* stream_of(const std::string& content, bool sequential = false);

// The exact console text of a fatal stop with the given lines.
std::string fatal_console(const std::string& lines);

// A team of `threads` kept for the tests' whole run, one per size.
namespace veltrin {
class worker_team;
}
veltrin::worker_team& team_of(unsigned threads);
