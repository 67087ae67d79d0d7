// The options mode's runs in blocks: the block table written as the
// blocks are complete, each block's spectra to a directory when asked.
#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "analysis/block_analysis.hpp"
#include "input/reading.hpp"
#include "model/error.hpp"
#include "output/result_formats.hpp"
#include "platform/platform.hpp"

namespace veltrin {

struct block_run_request {
    analysis_request analysis;
    block_request blocks;
    result_format format = result_format::table;
    std::optional<std::string> spectra_dir;  // each block's full result goes there
};

// How a run in blocks ended, once its table was begun.
struct blocks_outcome {
    bool interrupted = false;
    std::optional<analysis_error> failure;  // the reading's or a block's, after the blocks done
    std::int64_t dropped_last_row = 0;      // the line of a last row without its line end, not read
    std::int64_t blocks = 0;                // the blocks done
    std::uint64_t samples_left = 0;         // the samples after the last block, in no block
    std::int64_t block_points = 0;
};

// Reads `data` (named data_file) in blocks and writes their table to `out`.
// Once the table is begun, a failure of the reading or of a block still
// ends it (the blocks done stay, with their settings) and is returned; so
// is an interruption (*interrupted true, which the reading also watches).
// A failure before the table begins is raised, nothing written. `inputs`
// are the run's files, which no spectra file may replace.
blocks_outcome run_blocks(std::FILE* data, const std::string& data_file, const block_run_request& request,
                          reading_options reading, unsigned threads, std::FILE* out,
                          std::span<const file_identity> inputs, const std::atomic<bool>& interrupted);

// The name of block k's spectra: DIRECTORY/NAME.block0001.psd.csv for
// NAME.xml (stdin for -), with the format's extension.
std::string spectra_file_name(const std::string& directory, const std::string& data_file, std::int64_t block,
                              result_format format);
// Whether the last component of FILE_NAME is named as a block's spectra of
// DATA_FILE are, at any block number and in any format.
bool like_block_spectra(const std::string& file_name, const std::string& data_file);

}  // namespace veltrin
