// The configuration mode: five settings from a file, the table to a file.
#pragma once

#include <string>

#include "platform/platform.hpp"
#include "model/result.hpp"

namespace veltrin {

// The analysis a configuration file asks for, not yet written: the result,
// where it goes, and the run's inputs (which it must not replace).
struct config_analysis {
    spectrum_result result;
    std::string result_path;
    file_identity inputs[2];
};
config_analysis analyse_config_file(const std::string& config_path, const std::string& shown_name,
                                    const std::string& base_directory, unsigned threads);

// Runs one analysis from the configuration file at `config_path` (named
// `shown_name` in the messages). Relative names inside it are taken
// relative to `base_directory` ("" for the current one). A failure raises
// analysis_error, whose settings_file names the configuration when its
// settings are at fault (or std::bad_alloc). `threads` parse the recording.
void run_config_mode(const std::string& config_path, const std::string& shown_name, const std::string& base_directory,
                     unsigned threads);

}  // namespace veltrin
