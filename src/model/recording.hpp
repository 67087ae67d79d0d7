// A recording's samples: the sampling frequency and the v and i series.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/large_arrays.hpp"

namespace veltrin {

using sample_series = std::vector<float, uninitialized_allocator<float>>;
using sample_times = std::vector<double, uninitialized_allocator<double>>;

// How a recording was read, for the result's settings: the input format
// and, where the format has them, the columns and scales used.
struct input_description {
    std::string format;    // as options.input.format names it; empty for samples not read from a file
    std::string v_column;  // a column's header name, or its number; empty when the format has none
    std::string i_column;
    std::optional<double> v_scale;
    std::optional<double> i_scale;
    std::string fs_source;              // delimited text: "time column", "preamble" or "option"
    std::optional<std::int64_t> table;  // the table read, 0 for all, when one was asked for
    std::int64_t dropped_last_row = 0;  // the line of a last row without its line end, not read; 0: none
};

struct recording {
    double sampling_frequency = 0.0;  // as written after "<sampling_frequency>", or as given
    float deltat = 0.0f;              // 1 / sampling_frequency, in single precision
    std::int64_t line_count = 0;      // lines of the data block (tagged: blank ones included; others: samples)
    sample_series v;                  // nbpoint_acqui values each
    sample_series i;
    std::uint64_t handed_on = 0;       // samples already given to a sink: v and i hold those after them
    std::int64_t first_slot = 0;       // the slot (line / lines of a unit) that v[0] and i[0] hold while read
    bool sink_started = false;         // the sink has been told the sampling frequency
    bool timed = false;                // the reading keeps each sample's time until the grammar takes it
    bool last_line_cut = false;        // the last line had no line end and was not read
    sample_times time;                 // a time column's values while they are read, until they are checked
    std::int64_t time_first_slot = 0;  // the slot that time[0] holds
    input_description input;
};

// Samples to analyse, wherever they are held (a recording, numpy arrays).
// The samples a reading gave: those handed on and those still held.
inline std::uint64_t samples_read(const recording& r)
{
    return r.handed_on + r.v.size();
}

struct sample_view {
    double sampling_frequency = 0.0;
    float deltat = 0.0f;
    std::span<const float> v;
    std::span<const float> i;
};

inline sample_view view_of(const recording& r)
{
    return {r.sampling_frequency, r.deltat, r.v, r.i};
}

// Where the samples go as they are read, for a recording analysed while it
// is read instead of held whole.
struct sample_sink {
    virtual ~sample_sink() = default;
    // Once, before the first samples: the sampling frequency the analysis
    // takes, and how the recording is read.
    virtual void begin(double sampling_frequency, float deltat, const input_description& input) = 0;
    // The next samples, in order.
    virtual void take(std::span<const float> v, std::span<const float> i) = 0;
    // Once, after the last samples: the reading as it ended (a last row
    // dropped is known only then).
    virtual void reading_ended(const input_description&) {}
};

}  // namespace veltrin
