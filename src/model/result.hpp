// The result of one analysis: its columns, settings and statistics.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model/recording.hpp"
#include "model/request.hpp"

namespace veltrin {

struct result_column {
    std::string name;  // as in the CSV header
    std::vector<double> values;
};

struct spectrum_result {
    std::string data_file;  // as the user named it; the table's first line echoes it
    double sampling_frequency = 0.0;
    analysis_request settings;           // as asked, with nb_section as used
    std::vector<result_column> columns;  // frequency, psd_v, psd_i, zn, then the optional ones
    double nu = 0.0;                     // degrees of freedom of the inner bins, with a confidence
    std::vector<std::pair<std::string, double>> statistics;
    std::vector<std::pair<std::string, setting_value>> band;  // the band quantities, when asked
    input_description input{};                                // how the recording was read
};

// One block of a recording cut into blocks, and its result.
struct block_result {
    std::int64_t number = 0;  // from 1
    double start = 0.0;       // seconds from the recording's start
    double end = 0.0;
    spectrum_result result;
};

}  // namespace veltrin
