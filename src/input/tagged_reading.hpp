// Reading a tagged recording: the sampling frequency and the v and i series of its data block.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <span>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// Reads the open file once, from its start: finds the sampling frequency
// and the data block, takes the layout from the block's first line and
// stores each line's values where its index puts them (a paired line at its
// index, a split line at half of it; a store past the series is dropped;
// an element that no line supplies is 0). The result is the same for every
// thread count. `name` is the file as the user named it, for the messages.
// Raises analysis_error when the file cannot be read, has no frequency or
// data tag, has a frequency outside [1e-37, 1e37] or a stored value too
// large for single precision.
recording read_recording(std::FILE* file, const std::string& name, const reading_options& options = {});
