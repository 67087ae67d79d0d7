// The options mode and --config: Unix conventions around the same analysis.
#pragma once

namespace veltrin {

// True when some argument starts with '-'; otherwise the arguments are
// ignored and the configuration mode runs as it always did.
bool wants_command_line(int argc, char** argv);

// One line on standard error: arguments without an option were ignored, and
// how to analyse a file instead. The configuration mode's own output is untouched.
void report_ignored_arguments();

// Runs the command line; returns the exit status: 0 when every file
// succeeded, 1 when a data or result file failed, 2 for a usage error.
int run_command_line(int argc, char** argv);

}  // namespace veltrin
