// What the delimited reading tests share: a sink that keeps what a reading
// hands on, a reading's outcome as text, a delimited request.
#pragma once

#include <cstdio>
#include <functional>
#include <span>
#include <string>

#include "front_ends/messages.hpp"
#include "input/reading.hpp"
#include "model/error.hpp"
#include "test_files.hpp"

namespace delimited_tests {

using namespace veltrin;

// Keeps what a reading hands on, as the recording would hold it.
struct collecting_sink final : sample_sink {
    recording samples;
    int begun = 0;
    void begin(double fs, float deltat, const input_description&) override
    {
        samples.sampling_frequency = fs;
        samples.deltat = deltat;
        ++begun;
    }
    void take(std::span<const float> v, std::span<const float> i) override
    {
        samples.v.insert(samples.v.end(), v.begin(), v.end());
        samples.i.insert(samples.i.end(), i.begin(), i.end());
    }
};

// What a reading gives, as text: the frequency and the samples, or the
// error's kind ("options: " for the options' fault) and message. Through a
// sink, the samples handed on as the reading goes.
inline std::string outcome_of(const std::string& content, const input_request& in, unsigned threads = 1,
                              std::size_t block_size = std::size_t{4} << 20, bool sequential = false,
                              bool through_sink = false, bool gather_digits = true)
{
    std::FILE* file = stream_of(content, sequential);
    std::string text;
    try {
        reading_options options;
        options.threads = threads;
        options.block_size = block_size;
        options.gather_digits = gather_digits;
        options.input = in;
        collecting_sink sink;
        if (through_sink) options.sink = &sink;
        recording r = read_recording(file, "rec.csv", options);
        if (through_sink) {
            // Everything handed on, the frequency told once.
            EXPECT_TRUE(r.v.empty());
            EXPECT_EQ(sink.begun, 1);
            EXPECT_EQ(r.handed_on, sink.samples.v.size());
            r = std::move(sink.samples);
        }
        char number[64];
        std::snprintf(number, sizeof number, "fs %.17g:", r.sampling_frequency);
        text = number;
        for (std::size_t k = 0; k < r.v.size(); ++k) {
            std::snprintf(number, sizeof number, " %.9g,%.9g", r.v[k], r.i[k]);
            text += number;
        }
    } catch (const analysis_error& error) {
        text = std::string(error.kind == error_kind::input_options ? "options: " : "") +
               one_line_message(error, option_names);
    }
    std::fclose(file);
    return text;
}

inline input_request delimited(const std::function<void(input_request&)>& change = {})
{
    input_request in;
    in.format = input_format::delimited;
    if (change) change(in);
    return in;
}

inline const auto fs_10 = [](input_request& in) { in.sampling_frequency = 10.0; };

struct reading_case {
    const char* name;
    std::string content;
    input_request in;
    std::string expected;
};

}  // namespace delimited_tests
