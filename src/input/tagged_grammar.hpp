// The tagged sample-file format: "<sampling_frequency>" and its value, then
// a data block from "<data>" to "</data>" of paired lines
// "<v>x</v><i>y</i>", or of split lines "<v>x</v>" and "<i>y</i>" in pairs.
#pragma once

#include <cstdio>
#include <string>

#include "input/line_reader.hpp"
#include "input/reading.hpp"
#include "model/recording.hpp"

namespace veltrin {

// Reads the file from a reader started on it, once, from its start: finds the sampling frequency
// and the data block, takes the layout from the block's first line and
// stores each line's values where its index puts them (a paired line at its
// index, a split line at half of it; a store past the series is dropped;
// an element that no line supplies is 0). The result is the same for every
// thread count. `name` is the file as the user named it, for the messages.
// Raises analysis_error when the file cannot be read, has no frequency or
// data tag, has a frequency outside [1e-37, 1e37], a line that breaks the
// block's rules or a stored value too large for single precision.
recording read_tagged_recording(line_reader& reader, const std::string& name, const reading_options& options);

}  // namespace veltrin
