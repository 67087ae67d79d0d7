// The result table: header lines and one row per frequency bin.
#pragma once

#include <string>
#include <vector>

#include "run_config.hpp"

// One "%14.6e" field, except that not-a-number is always "nan" (never "-nan").
void append_field(std::string& text, double value);

// Writes the result file named by the configuration; a file that cannot be
// written ends the run through the fatal stop and leaves any earlier file as it was.
void write_table(const run_config& config, const std::vector<float>& psd_v, const std::vector<float>& psd_i);
