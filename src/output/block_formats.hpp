// The time series of a recording cut into blocks, written a row at a time
// as the blocks are complete: table, CSV, JSON or JSON Lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/result.hpp"
#include "output/result_formats.hpp"

namespace veltrin {

// What the settings add for a run in blocks.
struct block_run {
    std::int64_t block_points = 0;
    double sampling_frequency = 0.0;
    std::int64_t blocks = 0;
    std::uint64_t dropped_samples = 0;  // the unfinished block's
    bool interrupted = false;
};

// Writes the blocks to the stream: start() before the first, add() for
// each (the row flushed at once, so that a live run shows it), finish()
// with the settings after the last. `keys` name the values of each block
// after block, start and end. Errors show in the stream's state.
class block_writer {
public:
    block_writer(std::FILE* stream, result_format format, std::vector<std::string> keys);
    void start(const std::string& data_file, double sampling_frequency, std::int64_t block_points);
    void add(const block_result& block, const std::vector<double>& values);
    void finish(const spectrum_result& settings, const block_run& run);

private:
    std::FILE* stream_;
    result_format format_;
    std::vector<std::string> keys_;
    std::string data_file_;
    double sampling_frequency_ = 0.0;
    std::int64_t rows_ = 0;
};

}  // namespace veltrin
