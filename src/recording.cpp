// One pass over the tagged sample file: frequency, data block, both series.
// The data block of a regular file is parsed by several threads, a block of
// memory at a time: each thread takes a run of whole lines, counts them, and
// once every run's first line index is known, stores its values straight
// into the series.
#include "recording.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "analysis_error.hpp"
#include "common_lines.hpp"
#include "number_text.hpp"
#include "parallel.hpp"
#include "platform.hpp"
#include "tag_search.hpp"

namespace {

constexpr std::string_view watched_tags[] = {frequency_tag.text, data_tag.text, data_end_tag.text,
                                             pair_tag.text,      v_tag.text,    i_tag.text};

constexpr std::int64_t most_lines = std::numeric_limits<std::int32_t>::max();

// The number that starts right after the tag found at position at.
double value_after(std::string_view line, std::size_t at, const tag& t)
{
    return parse_number(line.data() + at + t.text.size(), line.data() + line.size());
}

// A value too large for single precision, remembered by the line that
// stored it and the index it went to. Whether a store counts is known only
// once the series' size is, so the earliest line for each smaller index is
// kept: indices strictly falling, a short list.
struct overflow_record {
    std::int64_t line;
    std::int64_t index;
};

void remember_overflow(std::vector<overflow_record>& overflows, std::int64_t line, std::int64_t index)
{
    if (overflows.empty() || index < overflows.back().index) overflows.push_back({line, index});
}

// The loader's index rules for block line c (from 0).
line_stores stores_of(std::string_view line, std::int64_t c)
{
    line_stores s;
    const std::size_t v_at = find_tag(line, v_tag);
    const std::size_t pair_at = find_tag(line, pair_tag);
    const std::int64_t index = pair_at != std::string_view::npos ? c : c / 2;
    const auto add = [&](bool to_v, double value) {
        s.to_v[s.count] = to_v;
        s.index[s.count] = index;
        s.value[s.count] = value;
        ++s.count;
    };
    if (v_at != std::string_view::npos) add(true, value_after(line, v_at, v_tag));
    if (pair_at != std::string_view::npos) {
        add(false, value_after(line, pair_at, pair_tag));
    } else {
        const std::size_t i_at = find_tag(line, i_tag);
        if (i_at != std::string_view::npos) add(false, value_after(line, i_at, i_tag));
    }
    return s;
}

// The data block as it is read: the layout, the lines so far, the series
// (grown as needed; their final size is set once the block has ended).
struct block_state {
    recording& result;
    bool paired = false;
    std::int64_t count = 0;
    bool ended = false;
    std::vector<overflow_record> overflows;
    bool gather_digits = true;

    // Takes block line `count` in order; false when it ends the block.
    bool take(std::string_view line)
    {
        if (count > 0 && holds(line, data_end_tag)) {
            ended = true;
            return false;
        }
        if (count == 0) paired = holds(line, pair_tag);
        if (count == most_lines)
            fail(error_kind::bad_data, "", "\nFatal error: the data block has more than 2147483647 lines.\n");
        const line_stores s = stores_of(line, count);
        for (int k = 0; k < s.count; ++k) {
            sample_series& channel = s.to_v[k] ? result.v : result.i;
            const auto at = static_cast<std::size_t>(s.index[k]);
            if (at >= channel.size()) channel.resize(std::max(at + 1, channel.size() + channel.size() / 2 + 4096), 0.0f);
            channel[at] = static_cast<float>(s.value[k]);
            if (std::isinf(channel[at])) remember_overflow(overflows, count, s.index[k]);
        }
        ++count;
        return true;
    }
};

// Where the complete lines of [first, last) end: after the last line end,
// except a CR at `last` that may still be followed by a LF.
const char* end_of_complete_lines(const char* first, const char* last, bool input_ends_here)
{
    if (input_ends_here) return last;
    for (const char* p = last; p != first; --p) {
        if (p[-1] == '\n') return p;
        if (p[-1] == '\r' && p != last) return p;
    }
    return first;
}

// The start of the line after the one that contains `p` (or `last`).
const char* next_line_start(const char* p, const char* last)
{
    std::string_view ignored;
    next_line_in(p, last, ignored);
    return p;
}

// The lines of [p, last), which end after a line end or at last.
std::int64_t count_lines(const char* p, const char* last, bool& no_cr)
{
    bool has_cr = false;
    const std::int64_t feeds = count_line_feeds(p, last, has_cr);
    no_cr = !has_cr;
    // Without a CR every LF ends a line, and so does the end of the text.
    if (no_cr) return feeds + (p != last && last[-1] != '\n' ? 1 : 0);
    std::int64_t lines = 0;
    std::string_view ignored;
    while (next_line_in(p, last, ignored, no_cr)) ++lines;
    return lines;
}

// One thread's run of whole lines and what parsing it found.
struct line_run {
    const char* first;
    const char* last;
    std::int64_t first_line = 0;  // block line index of its first line
    std::int64_t lines = 0;
    bool ended = false;           // it holds the block's end
    std::int64_t end_line = 0;
    bool foreign_store = false;   // a store outside its own indices: the block is redone in order
    bool no_cr = false;           // its text holds no CR
    std::vector<overflow_record> overflows;
};

// Stores a run's values. Its own indices are the ones only its lines can
// reach in the block's layout; another store would race with a neighbour.
void parse_run(line_run& run, block_state& block, const std::size_t (&sizes_before)[2])
{
    const std::int64_t c_end = run.first_line + run.lines;
    const std::int64_t own_first = block.paired ? run.first_line : run.first_line / 2;
    const std::int64_t own_end = block.paired ? c_end : (c_end + 1) / 2;
    // An element that no line supplies is 0.
    sample_series* const channels[2] = {&block.result.v, &block.result.i};
    for (int k = 0; k < 2; ++k) {
        const auto from = std::max(static_cast<std::size_t>(own_first), sizes_before[k]);
        const auto to = static_cast<std::size_t>(own_end);
        if (from < to) std::fill(channels[k]->begin() + static_cast<std::ptrdiff_t>(from),
                                 channels[k]->begin() + static_cast<std::ptrdiff_t>(to), 0.0f);
    }
    line_shapes shapes;
    // The series are not resized while the runs fill them.
    const store_target target{block.result.v.data(), block.result.i.data(), own_first,
                              static_cast<std::uint64_t>(own_end - own_first)};
    const char* p = run.first;
    std::int64_t c = run.first_line;
    std::string_view line;
    for (;;) {
        c += read_lines_of_known_shapes(p, run.last, c, shapes, target, block.gather_digits);
        if (!next_line_in(p, run.last, line, run.no_cr)) break;
        line_stores s;
        if (!read_common_line(line, run.last, c, shapes, s)) {
            if (c > 0 && holds(line, data_end_tag)) {
                run.ended = true;
                run.end_line = c;
                return;
            }
            s = stores_of(line, c);
        }
        for (int store = 0; store < s.count; ++store) {
            const std::int64_t index = s.index[store];
            if (static_cast<std::uint64_t>(index - own_first) >= target.owned) {
                run.foreign_store = true;
                continue;
            }
            float& element = (s.to_v[store] ? target.v : target.i)[index];
            element = static_cast<float>(s.value[store]);
            if (std::isinf(element)) remember_overflow(run.overflows, c, index);
        }
        ++c;
    }
}

// Parses the complete lines [first, last) of the block with the team's threads.
void parse_in_parallel(const char* first, const char* last, block_state& block, worker_team& team)
{
    // Runs of about equal size, cut after line ends, a few per thread.
    std::vector<line_run> runs;
    const auto size = static_cast<std::size_t>(last - first);
    const char* start = first;
    const std::size_t parts = team.tasks();
    for (std::size_t t = 1; t <= parts && start != last; ++t) {
        const char* stop = t == parts ? last : next_line_start(std::max(start, first + size * t / parts), last);
        if (stop == start) continue;
        runs.push_back(line_run{start, stop, 0, 0, false, 0, false, false, {}});
        start = stop;
    }
    const auto in_parallel = [&](auto&& work) { team.run(runs.size(), [&](std::size_t r) { work(runs[r]); }); };
    in_parallel([](line_run& run) { run.lines = count_lines(run.first, run.last, run.no_cr); });

    // Each run's first line index; in the split layout a run starts on an
    // even index, so that the two lines of a pair stay in one run.
    std::int64_t c = block.count;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        line_run& run = runs[r];
        if (!block.paired && r > 0 && c % 2 == 1 && run.lines > 0) {
            const char* moved = next_line_start(run.first, run.last);
            runs[r - 1].last = moved;
            runs[r - 1].no_cr = runs[r - 1].no_cr && run.no_cr;
            ++runs[r - 1].lines;
            run.first = moved;
            --run.lines;
            ++c;
        }
        run.first_line = c;
        c += run.lines;
    }
    const std::int64_t c_end = c;
    const auto needed = static_cast<std::size_t>(block.paired ? c_end : (c_end + 1) / 2);
    // Within the reserved capacity this moves nothing; beyond it, grow by half.
    // The new elements are zeroed by the runs that own them, those below the
    // first run's own indices here.
    const std::size_t sizes_before[2] = {block.result.v.size(), block.result.i.size()};
    const auto first_owned = static_cast<std::size_t>(block.paired ? block.count : block.count / 2);
    for (sample_series* channel : {&block.result.v, &block.result.i}) {
        if (channel->size() >= needed) continue;
        if (needed > channel->capacity()) channel->reserve(std::max(needed, channel->capacity() + channel->capacity() / 2));
        const std::size_t before = channel->size();
        channel->resize(needed);
        if (before < first_owned) std::fill(channel->begin() + static_cast<std::ptrdiff_t>(before),
                                            channel->begin() + static_cast<std::ptrdiff_t>(std::min(first_owned, needed)), 0.0f);
    }

    in_parallel([&](line_run& run) { parse_run(run, block, sizes_before); });

    // Runs after the one holding the block's end do not count.
    bool foreign = false;
    std::int64_t lines = block.count;
    bool ended = false;
    for (const line_run& run : runs) {
        foreign = foreign || run.foreign_store;
        if (run.ended) {
            lines = run.end_line;
            ended = true;
            break;
        }
        lines = run.first_line + run.lines;
    }
    if (lines > most_lines)
        fail(error_kind::bad_data, "", "\nFatal error: the data block has more than 2147483647 lines.\n");
    if (foreign) {
        // A file that mixes the layouts: the exact order of its stores matters.
        std::string_view line;
        const char* p = first;
        while (next_line_in(p, last, line) && block.take(line)) {
        }
        return;
    }
    for (const line_run& run : runs) {
        for (const overflow_record& overflow : run.overflows) remember_overflow(block.overflows, overflow.line, overflow.index);
        if (run.ended) break;
    }
    block.count = lines;
    block.ended = ended;
}


// Reserves the series for the whole file at the line density seen so far,
// so that they are allocated once instead of grown (and copied) step by step.
void reserve_for_the_rest(std::FILE* file, const line_reader& reader, block_state& block,
                          std::int64_t lines_seen, std::size_t bytes_seen)
{
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    if (lines_seen == 0 || bytes_seen == 0 || !regular_file_extent(file, size, position) || position > size) return;
    const double rest = static_cast<double>(size - position) + static_cast<double>(reader.end - reader.begin);
    const double lines = static_cast<double>(block.count) + rest * static_cast<double>(lines_seen) /
                                                                static_cast<double>(bytes_seen) * 1.001 + 64.0;
    const auto samples = static_cast<std::size_t>(std::min(block.paired ? lines : lines / 2.0, 2147483648.0));
    block.result.v.reserve(samples);
    block.result.i.reserve(samples);
}

void read_block_in_parallel(line_reader& reader, block_state& block, const reading_options& options)
{
    const std::size_t block_size = std::max<std::size_t>(options.block_size, 1);
    // A file already read whole needs no larger buffer.
    if (!reader.file_done) enlarge_buffer(reader, block_size);
    worker_team team(options.threads);
    bool first_region = true;
    while (!block.ended) {
        if (reader.end - reader.begin < block_size && !reader.file_done) refill_in_parallel(reader, team);
        if (reader.begin == reader.end) return;
        const char* const first = reader.buffer.get() + reader.begin;
        const std::size_t available = std::min(reader.end - reader.begin, block_size);
        const char* const last = first + available;
        const bool input_ends_here = reader.file_done && available == reader.end - reader.begin;
        const char* const cut = end_of_complete_lines(first, last, input_ends_here);
        if (cut == first) {
            // A line longer than the block: read through it on its own.
            std::string_view line;
            if (read_line(reader, line)) block.take(line);
            continue;
        }
        const std::int64_t lines_before = block.count;
        parse_in_parallel(first, cut, block, team);
        reader.begin += static_cast<std::size_t>(cut - first);
        if (first_region && !block.ended)
            reserve_for_the_rest(reader.file, reader, block, block.count - lines_before,
                                 static_cast<std::size_t>(cut - first));
        first_region = false;
    }
}

}  // namespace

recording read_recording(std::FILE* file, const std::string& name, const reading_options& options)
{
    line_reader reader;
    start_reading(reader, file, watched_tags, options.held_limit, options.cancel);
    recording result;
    block_state block{result, false, 0, false, {}};
    block.gather_digits = options.gather_digits;
    std::string_view line;
    bool frequency_found = false;
    bool data_found = false;

    try {
        while (!data_found && read_line(reader, line)) {
            if (!frequency_found) {
                if (!holds(line, frequency_tag)) continue;
                frequency_found = true;
                result.sampling_frequency = value_after(line, find_tag(line, frequency_tag), frequency_tag);
            }
            // The frequency line itself may carry the data tag too.
            data_found = holds(line, data_tag);
        }
        // The block's first line decides the layout and counts whatever it holds.
        if (data_found && read_line(reader, line)) block.take(line);
        if (data_found && block.count > 0) {
            // One thread too: the block path sizes the series once from the file's size.
            std::uint64_t size = 0;
            std::uint64_t position = 0;
            if (regular_file_extent(file, size, position)) {
                read_block_in_parallel(reader, block, options);
            } else {
                while (read_line(reader, line) && block.take(line)) {
                }
            }
        }
    } catch (analysis_error& error) {
        error.file = name;
        throw;
    }
    if (reader.failed) fail(error_kind::unreadable_file, name, "\nThe file " + name + " cannot be read.\n");
    if (!data_found)
        fail(error_kind::bad_data, name, "\nThe structure of the input data file is unknown.\n",
             "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n");
    // The data line may be the file's last: its block is one empty line.
    const std::int64_t count = std::max<std::int64_t>(block.count, 1);

    const double frequency = result.sampling_frequency;
    if (!(frequency >= 1e-37 && frequency <= 1e37))
        fail(error_kind::bad_data, name,
             "\nFatal error: the sampling frequency must be a number from 1e-37 to 1e37.\n");
    result.deltat = static_cast<float>(1.0 / frequency);

    result.line_count = static_cast<std::int32_t>(count);
    const auto samples = static_cast<std::size_t>(block.paired ? count : count / 2);
    result.v.resize(samples, 0.0f);
    result.i.resize(samples, 0.0f);
    for (const overflow_record& overflow : block.overflows) {
        if (static_cast<std::size_t>(overflow.index) < samples) {
            fail(error_kind::bad_data, name,
                 "\nFatal error: the value on line " + std::to_string(overflow.line + 1) +
                     " of the data block is too large for single precision.\n");
        }
    }
    return result;
}
