// The few file operations that need more than the C library.
#pragma once

#include <cstdio>
#include <string>

// Opens a regular file for reading in binary mode; nullptr when it cannot be
// opened or is a directory.
std::FILE* open_for_reading(const std::string& name);

// Reads a whole file into text; false when it cannot be opened or read.
bool read_whole_file(const std::string& name, std::string& text);

// A file written under a temporary name beside its target and renamed over it
// only once complete, so a failure never leaves a partial or truncated target.
struct pending_file {
    std::FILE* stream = nullptr;
    std::string temporary_name;
    std::string target_name;
};

// Creates the temporary file; false when it cannot be created.
bool begin_replacing(const std::string& target_name, pending_file& file);

// Flushes, closes and renames; on any failure removes the temporary file and
// returns false.
bool finish_replacing(pending_file& file);

// Closes and removes the temporary file.
void abandon_replacing(pending_file& file);
