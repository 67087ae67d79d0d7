// Reading a recording: the options of a reading, and the input formats the
// program reads, each a grammar on the reading engine.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "input/line_reader.hpp"
#include "model/recording.hpp"

struct reading_options {
    unsigned threads = 1;  // threads that parse the data block of a regular file (pipes: one)
    std::size_t block_size = std::size_t{4} << 20;  // bytes the threads share at a time
    std::size_t held_limit = default_held_limit;     // longer lines are read through, not held
    bool gather_digits = true;  // false: digits read 8 at a time, as without SSSE3 (the same result)
    // Set to true from another thread, it ends the reading as a read error: at
    // once while a pipe or FIFO is waited on, otherwise at the next sequential
    // read (nullptr: never). The file must be opened with the same flag.
    const std::atomic<bool>* cancel = nullptr;
};

// An input format: its name, and the reading of an open file (binary mode,
// positioned at its start) as that format, in one pass. `name` is the file
// as the user named it, for the messages. The result is the same for every
// thread count. Raises analysis_error when the file cannot be read or does
// not hold a recording of the format.
struct input_format {
    std::string_view name;
    recording (*read)(std::FILE* file, const std::string& name, const reading_options& options);
};

// The formats the program reads; the first is the one read_recording reads.
std::span<const input_format> input_formats();

// Reads the open file in the first of input_formats(), the tagged format
// (tagged_grammar.hpp).
recording read_recording(std::FILE* file, const std::string& name, const reading_options& options = {});
