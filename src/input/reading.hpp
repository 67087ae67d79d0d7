// Reading a recording: how the reading runs, and the input formats the
// program reads, each a grammar on the reading engine.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "input/line_reader.hpp"
#include "model/input_request.hpp"
#include "model/recording.hpp"

namespace veltrin {

// The format a name names ("auto", "tagged", "f32le", ...); nothing for another name.
std::optional<input_format> format_named(std::string_view name);
std::string_view format_name(input_format format);
// Whether the format is raw binary (interleaved v, i pairs, no sampling frequency).
bool is_raw(input_format format);
// Whether "auto" may take the format, as the file shows.
bool is_detected(input_format format);

struct reading_options {
    unsigned threads = 1;                           // threads that parse the data block of a regular file (pipes: one)
    std::size_t block_size = std::size_t{4} << 20;  // bytes the threads share at a time
    std::size_t held_limit = default_held_limit;    // longer lines are read through, not held
    bool gather_digits = true;  // false: digits read 8 at a time, as without SSSE3 (the same result)
    // Set to true from another thread, it ends the reading as a read error: at
    // once while a pipe or FIFO is waited on, otherwise at the next sequential
    // read (nullptr: never). The file must be opened with the same flag.
    const std::atomic<bool>* cancel = nullptr;
    // Counts the bytes read as they are, for a progress display (nullptr: none).
    std::atomic<std::uint64_t>* bytes_read = nullptr;
    // Takes the samples as they are read, in order, so that the series never
    // hold the whole recording (nullptr: the recording holds them all). The
    // samples of a file with a time column are held whole first: its
    // frequency comes from all its times (which are checked as they come).
    sample_sink* sink = nullptr;
    // The most lines a data block may have: the configuration mode counts
    // them in 32 bits and stops past 2147483647; the options mode has no limit.
    std::int64_t most_lines = std::numeric_limits<std::int64_t>::max();
    // Tests only: the block's lines counted as if this many (an even number)
    // had come before its first, so that counts past 32 bits are reached
    // with a few lines. The lines that messages name count them too.
    std::int64_t lines_before = 0;
    input_request input{};
};

// The names options.input.format takes, in the table's order: "auto", then
// the formats the program reads.
std::span<const std::string_view> input_format_names();

// Reads the open file (binary mode, at its start) once, in the format
// options.input.format; auto takes the tagged format when a line
// holds "<sampling_frequency>" or "<data>" before any line of numbers,
// otherwise delimited text (raw binary is never guessed). A sampling
// frequency given overrides the file's. `name` is the file as the user
// named it, for the messages. The result is the same for every thread
// count. Raises analysis_error when the file cannot be read, does not hold
// a recording of the format, or the options do not fit it (input_options:
// an option the format does not read, a column it does not have).
recording read_recording(std::FILE* file, const std::string& name, const reading_options& options = {});

}  // namespace veltrin
