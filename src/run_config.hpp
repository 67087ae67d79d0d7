// The run configuration read from "config_veltrin.txt".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct run_config {
    std::string data_file_name;
    std::int32_t hanning = 0;          // 1 selects the Hann window
    std::int32_t nb_section = 0;       // sections averaged
    std::int32_t nbpoint_section = 0;  // points per section
    std::string result_file_name;
};

inline constexpr const char* config_file_name = "config_veltrin.txt";

// Reads the five fields like a formatted scan with "%s %d %d %d %s": tokens
// separated by any white space, numbers as decimal integers with an optional
// sign. Returns false when fewer than five fields convert or a number does not
// fit in 32 bits.
bool parse_run_config(std::string_view text, run_config& config);

// Opens, reads and closes the configuration file; a missing or unreadable
// file and an invalid content end the run through the fatal stop.
run_config read_run_config();
