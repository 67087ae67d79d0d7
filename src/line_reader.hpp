// Reads a file as lines in bounded pieces, through a large block buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
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

// Makes at least `wanted` unread bytes available, or all that the file has.
void refill(line_reader& reader, std::size_t wanted);

// Reads the next piece. Its text, without the line end, goes to `text` and
// stays valid until the next call that returns true: at end of file the
// function returns false and neither `text` nor the bytes it shows change.
// Inline: it runs once per line, twice over the file.
inline bool read_piece(line_reader& reader, std::size_t limit, std::string_view& text)
{
    // limit characters may need one more byte: the carriage return of a CR LF.
    if (reader.end - reader.begin < limit + 1 && !reader.file_done) refill(reader, limit + 1);
    const std::size_t available = reader.end - reader.begin;
    if (available == 0) return false;
    const char* start = reader.buffer.get() + reader.begin;
    const std::size_t window = available < limit + 1 ? available : limit + 1;
    const char* feed = static_cast<const char*>(std::memchr(start, '\n', window));
    std::size_t text_length;
    std::size_t consumed;
    if (feed != nullptr) {
        const std::size_t k = static_cast<std::size_t>(feed - start);
        if (k > 0 && start[k - 1] == '\r') {
            text_length = k - 1;  // CR LF counts as the one line-end character
            consumed = k + 1;
        } else if (k + 1 <= limit) {
            text_length = k;
            consumed = k + 1;
        } else {
            text_length = limit;  // the line feed starts the next piece
            consumed = limit;
        }
    } else {
        text_length = window < limit ? window : limit;
        consumed = text_length;
    }
    text = std::string_view(start, text_length);
    reader.begin += consumed;
    return true;
}

// File offset of the next unread byte.
std::uint64_t reading_position(const line_reader& reader);

// Moves to a file offset given by reading_position.
void seek_reading(line_reader& reader, std::uint64_t offset);
