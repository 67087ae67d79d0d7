// A result file, written completely or not at all, never over an input.
#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "platform/platform.hpp"

namespace veltrin {

// The name a data file gives its results: its base name without its last
// extension (NAME for dir/NAME.xml; a leading dot stays).
std::string result_base_of(const std::string& data_file);

// Writes the result file `name` through replace_file; a failure raises
// analysis_error ("cannot be written", with the system's reason) naming
// `shown_name`. `allow_unnamed` as for replace_file.
void write_result_file(const std::string& name, const std::string& shown_name, std::span<const file_identity> inputs,
                       const std::function<void(std::FILE*)>& content, bool allow_unnamed = true);

}  // namespace veltrin
