// The result of one analysis and the three formats it is written in.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "spectra.hpp"

struct spectrum_result {
    std::string data_file;            // as the user named it; the table's first line echoes it
    double sampling_frequency = 0.0;  // as read
    float deltat = 0.0f;
    section_settings settings;
    density_pair densities;
};

// The rows every format writes, bins 1 ... nbpoint_section / 2.
struct result_columns {
    std::vector<double> frequency;  // (fN / (N/2)) * k with fN = float(1 / (2 deltat))
    std::vector<double> psd_v;      // the single-precision densities, widened
    std::vector<double> psd_i;
    std::vector<double> zn;  // sqrt(psd_v / psd_i)
};
result_columns columns_of(const spectrum_result& result);

enum class result_format { table, csv, json };

// Writes the whole result to the stream; errors show in the stream's state.
void write_result(std::FILE* stream, const spectrum_result& result, result_format format);

// One "%14.6e" field, except that not-a-number is always "nan" (never "-nan").
void append_field(std::string& text, double value);

// The shortest text that reads back to the same double; "nan", "inf", "-inf".
void append_shortest(std::string& text, double value);
