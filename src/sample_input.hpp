// Sample-file scanner and loader: sampling interval, data block, both series.
#pragma once

#include <cstdint>
#include <vector>

#include "line_reader.hpp"

// Set by the scanner, read by the spectra and the result table.
extern float deltat;               // sampling interval, 1 / sampling frequency
extern std::int32_t nbpoint_acqui;  // samples per channel

// Both passes read the file in pieces of this many characters, line end
// included, so they agree on which text is which line.
inline constexpr std::size_t sample_piece_limit = 198;

// Finds the sampling frequency and the data block, decides the layout from the
// block's first line and counts the block's lines. On success sets deltat and
// nbpoint_acqui, leaves the reader just after the "<data>" line it counted
// from and returns the line count; returns 0 when either tag is missing.
std::int32_t DetecteXML(line_reader& file);

struct sample_series {
    std::vector<float> v;
    std::vector<float> i;
};

// Reads data_line_count lines from the reader's position into two series of
// nbpoint_acqui values each; an element that no line supplies stays 0.
sample_series load_samples(line_reader& file, std::int32_t data_line_count);
