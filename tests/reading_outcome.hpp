// A reading's outcome as text to compare, for the tests and the fuzz targets
// that read one input several ways: the lines, the frequency, the sample
// count and the series' bits, or the configuration mode's lines of the stop.
#pragma once

#include <cstdio>
#include <string>

#include "front_ends/configuration_mode.hpp"
#include "input/reading.hpp"
#include "model/error.hpp"

// Reads the open stream as samples.txt, and closes it.
inline std::string reading_outcome(std::FILE* file, const veltrin::reading_options& options)
{
    std::string text;
    try {
        const veltrin::recording r = veltrin::read_recording(file, "samples.txt", options);
        text = std::to_string(r.line_count) + " " + std::to_string(r.sampling_frequency) + " " +
               std::to_string(r.v.size()) + ":";
        text.append(reinterpret_cast<const char*>(r.v.data()), r.v.size() * sizeof(float));
        text.append(reinterpret_cast<const char*>(r.i.data()), r.i.size() * sizeof(float));
    } catch (const veltrin::analysis_error& error) {
        for (const std::string& line : veltrin::configuration_mode_lines(error)) text += line;
    }
    std::fclose(file);
    return text;
}
