// The words of the library's errors, shared by the front ends: each gives
// how it names a setting (the command line its options, Python its
// keywords) and shows the text its own way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/error.hpp"

namespace veltrin {

// How a front end names a setting in its messages.
struct setting_names {
    std::string (*name)(setting_id);  // "--v-column"; Python "v_column"
    // With its value's placeholder, where a message shows one: "--fs HZ", "--table N"; Python "fs", "table=N".
    std::string (*with_placeholder)(setting_id);
    // Given a word as its value: "--table all"; Python "table='all'".
    std::string (*with_word)(setting_id, std::string_view);
};

// The command line's (and the configuration mode's) names: the options.
extern const setting_names option_names;

// A reading problem in words, without the frame its kind gives (see one_line_message).
std::string reading_text(const reading_problem& problem, const setting_names& names);

// A request problem as the configuration mode words it ("Fatal error: ..."),
// the settings taken from the configuration file settings_file when one is named.
std::string settings_text(const request_problem& problem, const std::string& settings_file);

// The error on one line: a file that breaks its format's rules as
// "Fatal error: ...", the options that do not fit it as they are.
std::string one_line_message(const analysis_error& error, const setting_names& names);

// Notices of a run that goes on: a last row without its line end, not read
// ("line 12 has no line end: ..."), and a run in blocks with none complete.
std::string dropped_row_text(std::int64_t line);
std::string no_block_text(std::uint64_t samples, std::int64_t block_points);

// A reading problem (error.reading) in the configuration mode's lines, their line ends included.
std::vector<std::string> reading_lines(const analysis_error& error, const setting_names& names);

}  // namespace veltrin
