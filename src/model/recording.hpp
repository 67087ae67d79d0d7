// A recording's samples: the sampling frequency and the v and i series.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/large_arrays.hpp"

using sample_series = std::vector<float, uninitialized_allocator<float>>;

struct recording {
    double sampling_frequency = 0.0;  // as written after "<sampling_frequency>"
    float deltat = 0.0f;              // 1 / sampling_frequency, in single precision
    std::int32_t line_count = 0;      // lines of the data block, blank ones included
    sample_series v;                  // nbpoint_acqui values each
    sample_series i;
};

// Samples to analyse, wherever they are held (a recording, numpy arrays).
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
