// What the lines before a delimited table say of the sampling: a frequency
// ("FREQ<tab>QUANT<tab>1.5E+1<tab>Acquisition Frequency (Hz)"), a sampling
// interval ("Sample Interval (s) = 0.01"), or a sweep's rate and the
// potential step between samples. A statement that cannot be read, or two
// that disagree, are kept as the problem they make if the frequency is needed.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/problem.hpp"

namespace veltrin {

struct preamble_facts {
    struct statement {
        double value = 0.0;
        std::int64_t line = 0;
    };
    std::optional<statement> frequency;  // in Hz
    std::optional<statement> interval_seconds;
    std::optional<statement> interval_volts;
    std::optional<statement> scan_rate;
    std::optional<reading_problem> problem;  // the first statement not read, or the first disagreement

    // Takes what the file's line `at` states.
    void note(std::string_view line, std::int64_t at);

    // The sampling frequency the statements give (a frequency, an interval,
    // or a rate over a step, which must agree), or none; raises the problem
    // kept for `file_name` instead, when there is one.
    std::optional<double> sampling_frequency(const std::string& file_name) const;
};

}  // namespace veltrin
