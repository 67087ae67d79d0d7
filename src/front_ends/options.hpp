// The command line's options: parsed from the settings table, checked, and
// worded in the options' terms; the usage lines and the help.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/block_analysis.hpp"
#include "model/input_request.hpp"
#include "model/request.hpp"
#include "model/settings.hpp"
#include "output/result_formats.hpp"

namespace veltrin {

struct usage_error {
    std::string message;
};

struct options {
    setting_set given;  // the settings on the command line
    std::optional<std::string> config;
    // The estimate's settings as given, with the request's defaults for the
    // others; request_of adds what follows from which were given.
    analysis_request analysis;
    std::optional<std::string> output;
    result_format format = result_format::table;
    unsigned jobs = 0;     // 0: the number of cores
    unsigned threads = 0;  // 0: the number of cores
    bool quiet = false;
    bool progress = false;
    input_request input{.format = input_format::automatic};
    block_request blocks;
    std::optional<std::string> spectra_dir;
    std::vector<std::string> data_files;

    bool wants(setting_id id) const { return has(given, id); }
};

// The options and data files of a command line; a usage_error for one
// that is unknown, lacks its value or has a value out of its range.
options parse_options(int argc, char** argv);

// The rules between the options, and those of the request they make.
void check_options(const options& o);

// The request the options make.
analysis_request request_of(const options& o);

// A rule of the request, in the options' terms.
std::string option_message(const request_problem& problem);

// "usage: veltrin -n N ...": the usage lines, and the help after them.
std::string usage_text();
std::string help_text();

}  // namespace veltrin
