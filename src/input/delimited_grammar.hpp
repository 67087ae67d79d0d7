// Delimited text as instruments export it: an optional preamble, a header
// row of column names (and a units row), then one row of numbers a sample,
// the columns cut by a tab, ';', ',' or blanks.
#pragma once

#include <cstdio>
#include <string>

#include "input/line_reader.hpp"
#include "input/reading.hpp"
#include "model/recording.hpp"

namespace veltrin {

// Reads delimited text from a reader started on the file: finds the header
// row and the v, i and time columns (options.input, else by their usual
// names), their units and the decimal separator, stores each row's values
// (scaled in double, rounded once to single precision) and takes the
// sampling frequency from the time column unless one is given. Raises
// analysis_error naming the file and the line: bad_data for a row that
// breaks the rules, input_options when the options do not fit the file.
recording read_delimited_recording(line_reader& reader, const std::string& name, const reading_options& options);

}  // namespace veltrin
