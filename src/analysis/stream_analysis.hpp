// The analysis of a recording as its samples arrive: the sections are
// transformed and summed as soon as they are complete, so that memory
// holds a few sections, not the recording.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "estimates/configuration_estimate.hpp"
#include "estimates/noise_statistics.hpp"
#include "estimates/welch_estimate.hpp"
#include "model/recording.hpp"
#include "model/result.hpp"
#include "platform/worker_team.hpp"

namespace veltrin {

struct estimate_rows;

class stream_analysis final : public sample_sink {
public:
    // `data_file` is echoed in the result; errors name `shown_name`.
    // `threads` compute at once; the result does not depend on them.
    stream_analysis(const analysis_request& request, std::string data_file, std::string shown_name, unsigned threads);
    stream_analysis(const stream_analysis&) = delete;
    stream_analysis& operator=(const stream_analysis&) = delete;

    void begin(double sampling_frequency, float deltat, const input_description& input) override;
    void reading_ended(const input_description& input) override { input_ = input; }
    void take(std::span<const float> v, std::span<const float> i) override;

    // The result of all the samples taken: what analyse() gives for them.
    // Raises the analysis's errors (too few samples for the sections first,
    // then a setting that breaks its rule).
    spectrum_result finish();

private:
    void sum_sections(bool last);
    // Zn's interval takes the coherence: the cross spectrum is summed too.
    bool coherent_interval() const { return request_.confidence && request_.zn_interval == zn_interval_mode::coherent; }
    void make_sums(std::size_t first_batch);
    // The sections asked for against the samples taken, in the order the messages always had.
    void check_sectioning(analysis_request& s) const;
    // The densities of each estimate as rows, with what the intervals and the band need of their bins.
    estimate_rows standard_rows() const;
    estimate_rows configuration_rows(const analysis_request& s) const;

    analysis_request request_;
    std::string data_file_;
    std::string shown_name_;
    unsigned threads_;
    double fs_ = 0.0;
    input_description input_;
    float deltat_ = 0.0f;
    bool settings_broken_ = false;  // the request breaks a rule: the samples are only counted
    section_layout layout_;
    std::uint64_t most_sections_ = 0;  // the sections asked for, or all that come
    std::size_t batch_ = 1;            // sections summed at once

    std::unique_ptr<worker_team> team_;
    segment_plan plan_;  // made with the first complete section
    std::unique_ptr<welch_sums> welch_;
    std::unique_ptr<configuration_sums> configuration_;
    std::unique_ptr<statistics_sums> statistics_;
    std::vector<std::vector<double>> scratch_;

    std::uint64_t taken_ = 0;
    std::uint64_t sections_done_ = 0;
    std::uint64_t statistics_end_ = 0;  // samples given to the statistics
    std::uint64_t held_first_ = 0;      // the index of v_held_[0]
    std::vector<float> v_held_;
    std::vector<float> i_held_;
};

}  // namespace veltrin
