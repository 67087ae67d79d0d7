// A recording cut into consecutive blocks of equal length, each analysed
// on its own as it is read: a time series of results.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/stream_analysis.hpp"
#include "model/recording.hpp"
#include "model/result.hpp"

namespace veltrin {

// How long a block is: a duration in seconds (rounded to whole samples at
// the recording's sampling frequency), or a number of samples.
struct block_request {
    std::optional<double> seconds;
    std::optional<std::int64_t> points;
};

// A duration in seconds from its text: a number, or one with the unit s,
// min or h ("90s", "20min", "1h"); none when the text is no duration above 0.
std::optional<double> duration_of(std::string_view text);

// The block length a request gives at sampling frequency fs: round(seconds
// x fs), or the points given.
std::int64_t block_points(const block_request& blocks, double fs);

// The most samples a block holds, as many as the points a block may be given.
inline constexpr std::int64_t most_block_points = most_count;

// Raised by take() once *interrupted is true: the run ends after the blocks
// already given.
struct blocks_interrupted {};

// The per-block columns after block, start and end: the statistics' names
// with --stats, then the band quantities' when asked.
std::vector<std::string> block_keys(const analysis_request& request);

// The scalars of a block's result, in the order of block_keys.
std::vector<double> block_values(const block_result& block);

class block_analysis final : public sample_sink {
public:
    using block_done = std::function<void(block_result&&)>;

    // Each block's result goes to on_block as soon as its last sample is
    // taken. `data_file` is echoed in the results; errors name `shown_name`.
    block_analysis(const analysis_request& request, block_request blocks, std::string data_file, std::string shown_name,
                   unsigned threads, block_done on_block, const std::atomic<bool>* interrupted = nullptr);

    // Fixes the blocks' length; raises when the request breaks a rule, a
    // block cannot hold the sections it asks for, or a duration asks for
    // more than most_block_points.
    void begin(double sampling_frequency, float deltat, const input_description& input) override;
    void reading_ended(const input_description& input) override { input_ = input; }
    void take(std::span<const float> v, std::span<const float> i) override;

    // Tests only: counts `blocks` blocks as done before the first sample, so
    // that block numbers and times past 32 bits come with a few samples.
    void count_from(std::int64_t blocks) { blocks_ = blocks; }

    bool started() const { return points_ > 0; }
    double sampling_frequency() const { return fs_; }
    std::int64_t points() const { return points_; }
    std::int64_t blocks_done() const { return blocks_; }
    // The samples of the unfinished block: not analysed.
    std::uint64_t dropped_samples() const { return in_block_; }
    // A result that holds the run's settings: the first block's, without its
    // columns, or the request's when no block was complete.
    spectrum_result settings() const;

private:
    analysis_request request_;
    block_request blocks_asked_;
    std::string data_file_;
    std::string shown_name_;
    unsigned threads_;
    block_done on_block_;
    const std::atomic<bool>* interrupted_;
    double fs_ = 0.0;
    float deltat_ = 0.0f;
    input_description input_;
    std::int64_t points_ = 0;
    std::int64_t blocks_ = 0;
    std::uint64_t in_block_ = 0;
    std::unique_ptr<stream_analysis> current_;
    std::optional<spectrum_result> first_settings_;
};

}  // namespace veltrin
