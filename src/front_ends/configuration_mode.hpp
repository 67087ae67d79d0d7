// The configuration mode as its users know it: config_veltrin.txt in the
// current directory, the table, or a message, the prompt and the key wait.
#pragma once

#include <string>
#include <vector>

#include "model/error.hpp"

namespace veltrin {

// The configuration mode's message for a failure, in its lines (line ends included).
std::vector<std::string> configuration_mode_lines(const analysis_error& error);

// Runs config_veltrin.txt of the current directory on `threads`; on a
// failure prints its lines and "Press any key to exit", then waits for one
// character of standard input (end of input ends the wait too). Status 0 either way.
int run_configuration_mode(unsigned threads);

}  // namespace veltrin
