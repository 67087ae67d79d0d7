// A small recording and its table, and a scratch directory that holds it,
// for the tests that run the executable with options.
#pragma once

#include <string>

#include "test_files.hpp"

// v alternates +1, -1 (bin 4), i repeats 1, 1, -1, -1 (bin 2): 8 samples at 500 Hz.
inline std::string small_recording()
{
    const char* v[] = {"1", "-1", "1", "-1", "1", "-1", "1", "-1"};
    const char* i[] = {"1", "1", "-1", "-1", "1", "1", "-1", "-1"};
    std::string text = "<sampling_frequency>500</sampling_frequency>\n<data>\n";
    for (int k = 0; k < 8; ++k) text += std::string("<v>") + v[k] + "</v><i>" + i[k] + "</i>\n";
    return text + "</data>\n";
}

inline std::string small_table(const std::string& name, int sections = 1, int points = 8)
{
    std::string table = "data file = " + name + "    hanning = 0    nb_section = " + std::to_string(sections) +
                        "     nbpoint_section = " + std::to_string(points) +
                        "\n"
                        "    frequency        PSD_v           PSD_i            Zn\n";
    if (points == 8)
        table += "  6.250000e+01\t  0.000000e+00\t  0.000000e+00\t           nan\n"
                 "  1.250000e+02\t  0.000000e+00\t  1.600000e-02\t  0.000000e+00\n"
                 "  1.875000e+02\t  0.000000e+00\t  0.000000e+00\t           nan\n"
                 "  2.500000e+02\t  3.200000e-02\t  0.000000e+00\t           inf\n";
    return table;
}

inline std::string replace_name(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

inline std::string scratch_with_recording()
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/samples.xml", small_recording());
    return dir;
}

inline const std::string usage_start = "usage: veltrin -n N";
