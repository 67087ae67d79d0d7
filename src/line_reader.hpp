// Reads a file as lines in bounded pieces, through a large block buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

// A piece is at most `limit` characters, its line feed included. A carriage
// return right before a line feed belongs to the line end and does not count,
// so a file written on Windows reads exactly like the same file with bare
// line feeds. A longer line comes out in several pieces.
struct line_reader {
    std::FILE* file = nullptr;
    std::unique_ptr<char[]> buffer;  // left uninitialized: only what is read gets touched
    std::size_t capacity = 0;
    std::size_t begin = 0;         // first unread byte in buffer
    std::size_t end = 0;           // one past the last valid byte in buffer
    std::uint64_t buffer_offset = 0;  // file offset of buffer[0]
    bool file_done = false;        // the file has no bytes beyond buffer[end)
};

// Takes an open file (binary mode), positioned at its start.
void start_reading(line_reader& reader, std::FILE* file);

// Reads the next piece. Its text, without the line end, goes to `text` and
// stays valid until the next call that returns true: at end of file the
// function returns false and neither `text` nor the bytes it shows change.
bool read_piece(line_reader& reader, std::size_t limit, std::string_view& text);

// File offset of the next unread byte.
std::uint64_t reading_position(const line_reader& reader);

// Moves to a file offset given by reading_position.
void seek_reading(line_reader& reader, std::uint64_t offset);
