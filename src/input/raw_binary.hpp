// Raw binary recordings: interleaved (v, i) pairs of IEEE floats, no header.
#pragma once

#include <cstdio>
#include <string>

#include "input/reading.hpp"
#include "model/recording.hpp"

namespace veltrin {

enum class sample_encoding { f32le, f64le, f32be, f64be };

struct raw_layout {
    sample_encoding encoding = sample_encoding::f32le;
    double sampling_frequency = 0.0;  // given by the user; the file has none
    double v_scale = 1.0;             // each value is multiplied by its scale in double, then rounded once to float
    double i_scale = 1.0;
};

// Reads the open file (binary mode, at its start) once as raw pairs. Result: sampling_frequency as given, deltat =
// float(1 / sampling_frequency), line_count = number of pairs, v and i as float32. Raises analysis_error naming `name`.
recording read_raw_binary(std::FILE* file, const std::string& name, const reading_options& options,
                          const raw_layout& layout);

}  // namespace veltrin
