// The configuration mode's file: five fields, and the request they make.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/request.hpp"

namespace veltrin {

struct run_config {
    std::string data_file_name;
    std::int32_t hanning = 0;          // 1 selects the Hann window
    std::int32_t nb_section = 0;       // sections averaged
    std::int32_t nbpoint_section = 0;  // points per section
    std::string result_file_name;
};

inline constexpr const char* config_file_name = "config_veltrin.txt";

// Reads the five white-space-separated fields: a name, three whole tokens
// that are decimal integers with an optional sign within 32 bits, a name.
// Anything after the fifth field is ignored; a name ends at a NUL byte.
// A UTF-8 byte-order mark at the start is skipped. False when a field is
// missing or a number is not such a token.
bool parse_run_config(std::string_view text, run_config& config);

// Reads and parses the configuration file at `path`; `shown_name` is how
// the messages name it. A missing, unreadable or invalid file raises analysis_error.
run_config read_run_config(const std::string& path, const std::string& shown_name);

// The configuration estimate with the file's window switch and sectioning.
analysis_request request_of(const run_config& config);

}  // namespace veltrin
