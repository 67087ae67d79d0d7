// Whole lines over block reads, the summaries of overlong lines, and the
// cutting of a region into lines for the reading engine.
#include "input/line_reader.hpp"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "input/number_text.hpp"
#include "platform/worker_team.hpp"
#include "platform/platform.hpp"

namespace veltrin {

namespace {

constexpr std::size_t block_size = std::size_t{1} << 20;

// Follows the text after a watched tag, a byte at a time: blanks, a number,
// blanks, then the first bytes of what comes next.
struct value_follower {
    enum class step { lead, number, trail, after, done };
    step at = step::lead;
    number_collector number;
    bool exponent_open = false;  // an exponent mark (and sign) still waits for its digit

    // Takes one byte; false once nothing more matters.
    bool take(char c, tag_value& value)
    {
        const bool blank = c == ' ' || c == '\t';
        switch (at) {
        case step::lead:
            if (blank) return true;
            if (!(is_digit(c) || c == '.' || c == '+' || c == '-')) return finish_number(value);
            at = step::number;
            [[fallthrough]];
        case step::number:
            if (number.feed(&c, &c + 1)) {
                exponent_open = number.at == number_collector::state::exponent_mark ||
                                number.at == number_collector::state::exponent_sign;
                return true;
            }
            if (!finish_number(value)) return false;
            [[fallthrough]];
        case step::trail:
            if (blank) return true;
            at = step::after;
            [[fallthrough]];
        case step::after:
            value.after += c;
            if (value.after.size() < 8) return true;
            at = step::done;
            return false;
        case step::done:
            return false;
        }
        return false;
    }

    // The number has ended; false when it is no whole number of the grammar
    // (no digit, or an exponent mark without digits, which no closing follows).
    bool finish_number(tag_value& value)
    {
        value.number = number.seen_digit && !exponent_open;
        if (!value.number) {
            at = step::done;
            return false;
        }
        value.number_text = number.text();
        at = step::trail;
        return true;
    }

    // The line has ended.
    void end(tag_value& value)
    {
        if (at == step::lead || at == step::number) {
            if (!finish_number(value)) return;
        }
        if (at == step::trail) value.line_ends = true;
    }
};

struct watch {
    tag_value value;
    bool collecting = false;
    value_follower follower;
};

// Feeds the bytes [first, last) of the line to every value still being followed.
void feed_values(std::vector<watch>& watches, const char* first, const char* last, std::uint64_t offset,
                 std::uint64_t from)
{
    for (watch& w : watches) {
        if (!w.collecting) continue;
        const std::uint64_t start = std::max(from, w.value.position + w.value.tag.size());
        for (const char* p = first + (start - std::min(start, offset)); w.collecting && p < last; ++p)
            w.collecting = w.follower.take(*p, w.value);
    }
}

// Whether text starts as UTF-16 does: with its byte-order mark, or with
// characters of one byte each beside a NUL byte.
bool starts_as_utf16(const unsigned char* start, std::size_t size)
{
    if (size < 2) return false;
    if ((start[0] == 0xFF && start[1] == 0xFE) || (start[0] == 0xFE && start[1] == 0xFF)) return true;
    bool little_endian = true;
    bool big_endian = true;
    for (std::size_t k = 0; k + 1 < size; k += 2) {
        little_endian = little_endian && start[k] != 0 && start[k + 1] == 0;
        big_endian = big_endian && start[k] == 0 && start[k + 1] != 0;
    }
    return little_endian || big_endian;
}

}  // namespace

std::int64_t count_line_feeds(const char* first, const char* last, bool& has_cr)
{
    // Lanes of 16 bytes, four at a time; a comparison gives all ones (-1)
    // where it holds. The per-lane tallies are unsigned bytes; each takes
    // two lanes a round, and is summed before 128 rounds could wrap it.
    using lanes = signed char __attribute__((vector_size(16)));
    using tallies = unsigned char __attribute__((vector_size(16)));
    constexpr std::size_t width = sizeof(lanes);
    const lanes lf = lanes{} + '\n';
    const lanes cr = lanes{} + '\r';
    std::int64_t feeds = 0;
    lanes crs{};
    const char* p = first;
    while (static_cast<std::size_t>(last - p) >= 4 * width) {
        const std::size_t rounds = std::min<std::size_t>(127, static_cast<std::size_t>(last - p) / (4 * width));
        tallies even{};
        tallies odd{};
        for (std::size_t round = 0; round < rounds; ++round, p += 4 * width) {
            lanes chunk[4];
            std::memcpy(chunk, p, sizeof chunk);
            even -= reinterpret_cast<tallies>(chunk[0] == lf);
            odd -= reinterpret_cast<tallies>(chunk[1] == lf);
            even -= reinterpret_cast<tallies>(chunk[2] == lf);
            odd -= reinterpret_cast<tallies>(chunk[3] == lf);
            crs |= (chunk[0] == cr) | (chunk[1] == cr) | (chunk[2] == cr) | (chunk[3] == cr);
        }
        for (std::size_t k = 0; k < width; ++k) feeds += even[k] + odd[k];
    }
    bool cr_seen = false;
    for (std::size_t k = 0; k < width; ++k) cr_seen = cr_seen || crs[k] != 0;
    for (; p != last; ++p) {
        feeds += *p == '\n';
        cr_seen = cr_seen || *p == '\r';
    }
    has_cr = cr_seen;
    return feeds;
}

void refill(line_reader& reader, std::size_t wanted)
{
    const std::size_t kept = reader.end - reader.begin;
    if (reader.begin > 0) {
        std::memmove(reader.buffer.get(), reader.buffer.get() + reader.begin, kept);
        reader.begin = 0;
        reader.end = kept;
    }
    while (reader.end < wanted && !reader.file_done) {
        const std::int64_t got =
            read_stream(reader.file, reader.buffer.get() + reader.end, reader.capacity - reader.end, reader.cancel);
        if (got > 0) {
            reader.end += static_cast<std::size_t>(got);
            if (reader.bytes_read != nullptr)
                reader.bytes_read->fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
        } else {
            reader.file_done = true;
            reader.failed = got < 0;
        }
    }
}

void refill_in_parallel(line_reader& reader, worker_team& team)
{
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    if (reader.file_done || !regular_file_extent(reader.file, size, position)) return refill(reader, reader.capacity);
    const std::size_t kept = reader.end - reader.begin;
    std::memmove(reader.buffer.get(), reader.buffer.get() + reader.begin, kept);
    reader.begin = 0;
    reader.end = kept;
    // Parts of at least 1 MiB: smaller ones cost more in calls than they save.
    const std::size_t room = reader.capacity - reader.end;
    const std::size_t parts = std::clamp<std::size_t>(room >> 20, 1, team.tasks());
    std::vector<std::int64_t> got(parts);
    const auto part_start = [&](std::size_t k) { return room / parts * k; };
    const auto part_size = [&](std::size_t k) { return (k + 1 == parts ? room : part_start(k + 1)) - part_start(k); };
    team.run(parts, [&](std::size_t k) {
        got[k] = read_at(reader.file, position + part_start(k), reader.buffer.get() + reader.end + part_start(k),
                         part_size(k));
    });
    // The bytes count up to the first part that came back short: the file ends there.
    std::size_t total = 0;
    for (std::size_t k = 0; k < parts; ++k) {
        if (got[k] < 0) {
            reader.failed = true;
            break;
        }
        total += static_cast<std::size_t>(got[k]);
        if (static_cast<std::size_t>(got[k]) < part_size(k)) break;
    }
    reader.end += total;
    if (reader.bytes_read != nullptr) reader.bytes_read->fetch_add(total, std::memory_order_relaxed);
    if (!set_stream_position(reader.file, position + total)) reader.failed = true;
    reader.file_done = reader.failed || total < room;
}

void enlarge_buffer(line_reader& reader, std::size_t capacity)
{
    if (reader.capacity >= capacity) return;
    auto larger = make_large_buffer(capacity);
    std::memcpy(larger.get(), reader.buffer.get() + reader.begin, reader.end - reader.begin);
    reader.end -= reader.begin;
    reader.begin = 0;
    reader.buffer = std::move(larger);
    reader.capacity = capacity;
}

void start_reading(line_reader& reader, std::FILE* file, std::span<const std::string_view> watched_tags,
                   long_line_summary summarize, std::size_t held_limit, const std::atomic<bool>* cancel)
{
    reader.file = file;
    reader.cancel = cancel;
    reader.watched_tags = watched_tags;
    reader.summarize = summarize;
    reader.line_ended = true;
    reader.held_limit = held_limit;
    const std::size_t capacity = std::max(block_size, 2 * held_limit + 2);
    if (reader.capacity < capacity) {
        reader.buffer = make_large_buffer(capacity);
        reader.capacity = capacity;
    }
    reader.begin = reader.end = 0;
    reader.file_done = reader.failed = false;
    refill(reader, 3);
    if (reader.end >= 3 && std::memcmp(reader.buffer.get(), "\xEF\xBB\xBF", 3) == 0) reader.begin = 3;
    reader.starts_as_utf16 = starts_as_utf16(reinterpret_cast<const unsigned char*>(reader.buffer.get()),
                                             std::min<std::size_t>(reader.end, 16));
}

std::string_view summarize_long_line(line_reader& reader)
{
    std::vector<watch> watches;
    std::size_t longest = 0;
    for (std::string_view tag : reader.watched_tags) {
        watches.emplace_back().value.tag = tag;
        longest = std::max(longest, tag.size());
    }
    // The last longest - 1 bytes seen, so that a tag across two blocks is found.
    std::string window;
    std::uint64_t window_offset = 0;  // line position of window[0]
    std::uint64_t seen = 0;           // bytes of the line read so far
    bool line_over = false;
    while (!line_over) {
        if (reader.begin == reader.end) refill(reader, 2);
        if (reader.begin == reader.end) break;
        const char* const start = reader.buffer.get() + reader.begin;
        std::size_t available = reader.end - reader.begin;
        std::size_t length = available;
        for (std::size_t k = 0; k < available; ++k) {
            if (start[k] == '\n' || start[k] == '\r') {
                length = k;
                line_over = true;
                break;
            }
        }
        window.append(start, length);
        for (watch& w : watches) {
            if (w.value.found) continue;
            const std::size_t at = window.find(w.value.tag);
            if (at == std::string::npos) continue;
            w.value.found = w.collecting = true;
            w.value.position = window_offset + at;
        }
        feed_values(watches, window.data(), window.data() + window.size(), window_offset, seen);
        seen += length;
        const std::size_t keep = std::min(window.size(), longest > 0 ? longest - 1 : 0);
        window_offset += window.size() - keep;
        window.erase(0, window.size() - keep);
        reader.begin += length;
        if (line_over) {
            // Consume the line end; a CR may need the next block to tell CR LF.
            const bool cr = reader.buffer[reader.begin] == '\r';
            ++reader.begin;
            if (cr) {
                if (reader.end - reader.begin < (reader.cr_cr_lf ? 2u : 1u)) refill(reader, reader.cr_cr_lf ? 2 : 1);
                if (reader.begin < reader.end && reader.buffer[reader.begin] == '\n')
                    ++reader.begin;
                else if (reader.cr_cr_lf && reader.end - reader.begin >= 2 && reader.buffer[reader.begin] == '\r' &&
                         reader.buffer[reader.begin + 1] == '\n')
                    reader.begin += 2;
            }
        }
    }
    reader.line_ended = line_over;
    std::vector<tag_value> values;
    for (watch& w : watches) {
        if (w.collecting) w.follower.end(w.value);
        values.push_back(std::move(w.value));
    }
    reader.summary = reader.summarize(values);
    return reader.summary;
}

}  // namespace veltrin
