// Reads a file once, as whole lines, through a large block buffer.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/large_arrays.hpp"
#include "platform/worker_team.hpp"

namespace veltrin {

// What a line too long to hold has after the first occurrence of a watched
// tag: blanks, a number of the grammar, blanks, then its first bytes.
struct tag_value {
    std::string_view tag;
    bool found = false;
    std::uint64_t position = 0;  // of the tag's first character in the line
    bool number = false;         // blanks and a whole number follow the tag
    std::string number_text;     // a short text of the same value
    std::string after;           // up to 8 bytes after the number's trailing blanks
    bool line_ends = false;      // nothing follows those blanks

    // The number is closed by `closing` or by the line's end.
    bool closed_by(std::string_view closing) const { return number && (line_ends || after.starts_with(closing)); }
};

// Turns what a long line holds after its watched tags into a short line
// that the caller's grammar reads as it would read the whole line.
using long_line_summary = std::string (*)(std::span<const tag_value> tags);

// A line ends at LF, CR LF or a lone CR; the line end is not part of its
// text. A UTF-8 byte-order mark at the very start of the file is skipped.
// A line longer than held_limit is never held whole: it is read through,
// its watched tags and their values noted, and `summarize` gives the short
// line that stands for it.
struct line_reader {
    std::FILE* file = nullptr;
    std::span<const std::string_view> watched_tags;
    long_line_summary summarize = nullptr;
    std::size_t held_limit = 0;
    large_buffer buffer;  // left uninitialized: only what is read gets touched
    std::size_t capacity = 0;
    std::size_t begin = 0;         // first unread byte in buffer
    std::size_t end = 0;           // one past the last valid byte in buffer
    bool file_done = false;        // the file has no bytes beyond buffer[end)
    bool failed = false;           // a read error ended the input early
    bool line_ended = true;        // the last line read had a line end
    bool starts_as_utf16 = false;  // a UTF-16 byte-order mark, or one-byte characters beside NULs
    // CR CR LF (a CR LF file converted once more) ends one line, not a line
    // and a blank one: for delimited text, whose blank lines hold nothing.
    bool cr_cr_lf = false;
    std::string summary;                        // the text given for the last long line
    const std::atomic<bool>* cancel = nullptr;  // see read_stream
    // Counts the bytes read, for a progress display (nullptr: none); set
    // before start_reading, which keeps it.
    std::atomic<std::uint64_t>* bytes_read = nullptr;
};

inline constexpr std::size_t default_held_limit = std::size_t{1} << 16;

// Takes an open file (binary mode), positioned at its start.
void start_reading(line_reader& reader, std::FILE* file, std::span<const std::string_view> watched_tags,
                   long_line_summary summarize, std::size_t held_limit = default_held_limit,
                   const std::atomic<bool>* cancel = nullptr);

// Makes at least `wanted` unread bytes available, or all that the file has.
void refill(line_reader& reader, std::size_t wanted);

// Like refill, for a regular file: the buffer's free room is filled at once,
// by the team's threads, each reading a part of it.
void refill_in_parallel(line_reader& reader, worker_team& team);

// Grows the buffer to hold at least `capacity` bytes, keeping what it holds.
void enlarge_buffer(line_reader& reader, std::size_t capacity);

// The next line of the complete lines in memory [p, last): its text, and p
// moved past its line end. A CR at `last` ends its line (the caller cuts
// memory only after complete line ends). False when p == last. `no_cr`
// promises that [p, last) holds no CR, which spares a search per line.
inline bool next_line_in(const char*& p, const char* last, std::string_view& text, bool no_cr = false,
                         bool cr_cr_lf = false)
{
    if (p == last) return false;
    const char* const start = p;
    const auto length = static_cast<std::size_t>(last - p);
    const void* feed = std::memchr(p, '\n', length);
    const std::size_t feed_at = feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - p) : length;
    const void* ret = no_cr ? nullptr : std::memchr(p, '\r', feed_at);
    p += ret != nullptr ? static_cast<std::size_t>(static_cast<const char*>(ret) - p) : feed_at;
    text = std::string_view(start, static_cast<std::size_t>(p - start));
    if (p != last) {
        const bool cr = *p == '\r';
        ++p;
        if (cr && p != last && *p == '\n')
            ++p;
        else if (cr_cr_lf && cr && last - p >= 2 && p[0] == '\r' && p[1] == '\n')
            p += 2;
    }
    return true;
}

// The LF characters in [first, last), and whether any CR is among them, in
// one pass of 64 bytes at a time.
std::int64_t count_line_feeds(const char* first, const char* last, bool& has_cr);

// Reads a line longer than held_limit to its end and returns its summary.
std::string_view summarize_long_line(line_reader& reader);

// The `size` bytes at `text` hold a line end: an LF, or a CR with a byte
// after it (two when that is a CR that may begin CR CR LF).
inline bool holds_complete_line(const char* text, std::size_t size, bool cr_cr_lf = false)
{
    if (std::memchr(text, '\n', size) != nullptr) return true;
    const void* ret = size > 0 ? std::memchr(text, '\r', size - 1) : nullptr;
    if (ret == nullptr) return false;
    const auto at = static_cast<std::size_t>(static_cast<const char*>(ret) - text);
    return !(cr_cr_lf && at + 2 == size && text[at + 1] == '\r');
}

// Reads the next line into `text`, valid until the next call; false at the
// end of the input (then check reader.failed).
inline bool read_line(line_reader& reader, std::string_view& text)
{
    // One byte beyond the limit tells a long line; one more, a CR from a CR
    // LF. A complete line already held is read at once, so that a live
    // stream's line is not kept waiting for more text.
    while (reader.end - reader.begin < reader.held_limit + 2 && !reader.file_done &&
           !holds_complete_line(reader.buffer.get() + reader.begin, reader.end - reader.begin, reader.cr_cr_lf))
        refill(reader, reader.end - reader.begin + 1);
    const std::size_t available = reader.end - reader.begin;
    if (available == 0) return false;
    const char* const start = reader.buffer.get() + reader.begin;
    const std::size_t window = available < reader.held_limit + 1 ? available : reader.held_limit + 1;
    const void* feed = std::memchr(start, '\n', window);
    const std::size_t feed_at =
        feed != nullptr ? static_cast<std::size_t>(static_cast<const char*>(feed) - start) : window;
    const void* ret = std::memchr(start, '\r', feed_at);
    const std::size_t k = ret != nullptr ? static_cast<std::size_t>(static_cast<const char*>(ret) - start) : feed_at;
    if (k == window) {
        if (window > reader.held_limit) {
            text = summarize_long_line(reader);
            return true;
        }
        text = std::string_view(start, k);  // the last line, without a line end
        reader.begin += k;
        reader.line_ended = false;
        return true;
    }
    text = std::string_view(start, k);
    const bool crlf = start[k] == '\r' && k + 1 < available && start[k + 1] == '\n';
    const bool crcrlf =
        reader.cr_cr_lf && start[k] == '\r' && k + 2 < available && start[k + 1] == '\r' && start[k + 2] == '\n';
    reader.begin += k + (crlf ? 2 : crcrlf ? 3 : 1);
    reader.line_ended = true;
    return true;
}

// Text cut into lines for the reading engine (see reading_engine.hpp): a
// region of the buffer is cut after its last complete line, and shared by
// threads as runs of whole lines. CrCrLf: CR CR LF is one line end.
template <bool CrCrLf>
struct basic_line_framing {
    // Where the complete lines of [first, last) end: after the last line
    // end, except a CR at `last` (or before a CR there) that may still begin
    // a longer line end; at `last` when the input ends there.
    static const char* complete_end(const char* first, const char* last, bool input_ends_here)
    {
        if (input_ends_here) return last;
        for (const char* p = last; p != first; --p) {
            if (p[-1] == '\n') return p;
            if (p[-1] == '\r' && p != last && !(CrCrLf && p + 1 == last && *p == '\r')) return p;
        }
        return first;
    }
    // The start of the line after the one that holds p (or last).
    static const char* next_start(const char* p, const char* last)
    {
        std::string_view ignored;
        next_line_in(p, last, ignored, false, CrCrLf);
        return p;
    }
    // The lines of [first, last), which end after a line end or at last;
    // no_cr tells whether they hold no CR, for next().
    static std::int64_t count(const char* p, const char* last, bool& no_cr)
    {
        bool has_cr = false;
        const std::int64_t feeds = count_line_feeds(p, last, has_cr);
        no_cr = !has_cr;
        // Without a CR every LF ends a line, and so does the end of the text.
        if (no_cr) return feeds + (p != last && last[-1] != '\n' ? 1 : 0);
        std::int64_t lines = 0;
        std::string_view ignored;
        while (next_line_in(p, last, ignored, no_cr, CrCrLf)) ++lines;
        return lines;
    }
    static bool next(const char*& p, const char* last, std::string_view& text, bool no_cr)
    {
        return next_line_in(p, last, text, no_cr, CrCrLf);
    }
    // Whether the text that ends at `end` ends with a line end.
    static bool ends_complete(const char* end) { return end[-1] == '\n' || end[-1] == '\r'; }
    // The next line from the reader, and whether it had its line end.
    static bool read(line_reader& reader, std::string_view& text, bool& complete)
    {
        if (!read_line(reader, text)) return false;
        complete = reader.line_ended;
        return true;
    }
};

using line_framing = basic_line_framing<false>;
using delimited_line_framing = basic_line_framing<true>;

}  // namespace veltrin
