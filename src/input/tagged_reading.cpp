// One pass over the tagged sample file: frequency, data block, both series.
// The data block of a regular file is parsed by several threads, a block of
// memory at a time: each thread takes a run of whole lines, counts them, and
// once every run's first line index is known, stores its values straight
// into the series.
#include "input/tagged_reading.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "model/error.hpp"
#include "input/tagged_shapes.hpp"
#include "input/tagged_lines.hpp"
#include "input/number_text.hpp"
#include "platform/worker_team.hpp"
#include "platform/platform.hpp"
#include "input/tag_search.hpp"

namespace {

constexpr std::string_view watched_tags[] = {frequency_tag.text, data_tag.text, data_end_tag.text,
                                             pair_tag.text,      v_tag.text,    i_tag.text};

constexpr std::int64_t most_lines = std::numeric_limits<std::int32_t>::max();

// The short line that stands for a line too long to hold: the tags the
// reading looks for, and values that read as the whole line's would in
// either layout ("x" where the line's value is no number).
std::string summary_of(std::span<const tag_value> tags)
{
    const auto find = [&](const tag& t) -> const tag_value& {
        for (const tag_value& value : tags)
            if (value.tag == t.text) return value;
        return tags.front();  // every tag is watched
    };
    const tag_value& frequency = find(frequency_tag);
    const tag_value& pair = find(pair_tag);
    const tag_value& v = find(v_tag);
    const tag_value& i = find(i_tag);
    const auto value = [](const tag_value& t, std::string_view closing) {
        return t.closed_by(closing) ? t.number_text + std::string(closing) : std::string("x");
    };
    std::string line;
    if (frequency.found) line += std::string(frequency_tag.text) + value(frequency, "<");
    if (find(data_tag).found) line += data_tag.text;
    if (find(data_end_tag).found) line += data_end_tag.text;
    if (pair.found) {
        // The v value is closed by the first pair tag, which then follows it at once.
        if (v.found && v.position < pair.position) {
            const bool v_closed = v.number && v.after.starts_with(pair_tag.text);
            line += std::string(v_tag.text) + (v_closed ? v.number_text : "x") + std::string(pair_tag.text) +
                    value(pair, "</i>");
        } else {
            line += pair_tag.text;
        }
    } else if (v.found && i.found) {
        line += "<v><i>";
    } else if (v.found) {
        line += std::string(v_tag.text) + value(v, "</v>");
    } else if (i.found) {
        line += std::string(i_tag.text) + value(i, "</i>");
    }
    return line;
}

// The data block as it is read: the layout, the lines so far, the series
// (grown as needed; their final size is set once the block has ended) and
// the first line that stops the reading. A stop is certain once a line
// follows its unit (its line, or its split pair) or the block has ended;
// until then it may be the end of a recording cut off while it was written.
struct block_state {
    recording& result;
    bool paired = false;
    std::int64_t count = 0;
    bool ended = false;
    reading_stop stop;
    int open_pair = -1;           // split layout: the channel (0 v, 1 i) of line count - 1 when count is odd
    bool last_line_ended = true;  // the last line read had its line end
    bool gather_digits = true;

    std::int64_t unit_start(std::int64_t c) const { return paired ? c : c / 2 * 2; }
    std::int64_t unit_end(std::int64_t c) const { return paired ? c + 1 : c / 2 * 2 + 2; }

    [[noreturn]] void stop_now() const { fail(error_kind::bad_data, "", stop_message(stop)); }

    // Takes block line `count` in order; false when it ends the block.
    bool take(std::string_view line)
    {
        if (count > 0 && holds(line, data_end_tag)) {
            ended = true;
            return false;
        }
        if (count == 0) paired = holds(line, pair_tag);
        if (stop.stops()) {
            if (count >= unit_end(stop.line)) stop_now();
        } else {
            if (count == most_lines)
                fail(error_kind::bad_data, "", "\nFatal error: the data block has more than 2147483647 lines.\n");
            line_stores s;
            const line_fault fault = read_block_line(line, count, paired, s);
            stop = fault != line_fault::none ? stop_for(fault, count, paired) : store(s);
        }
        ++count;
        return true;
    }

    // Stores line `count`'s values; the stop when they break a split pair
    // or do not fit single precision.
    reading_stop store(const line_stores& s)
    {
        if (!paired) {
            const int channel = s.to_v[0] ? 0 : 1;
            if (count % 2 == 1 && channel == open_pair) return {stop_kind::broken_pair, count};
            open_pair = count % 2 == 0 ? channel : -1;
        }
        for (int k = 0; k < s.count; ++k) {
            sample_series& channel = s.to_v[k] ? result.v : result.i;
            const auto at = static_cast<std::size_t>(s.index[k]);
            if (at >= channel.size()) channel.resize(std::max(at + 1, channel.size() + channel.size() / 2 + 4096), 0.0f);
            channel[at] = static_cast<float>(s.value[k]);
            if (std::isinf(channel[at])) return {stop_kind::too_large, count};
        }
        return {};
    }

    // At the end of the input. Without the end tag, the last unit is not
    // data when it breaks the rules or its last line has no line end.
    void finish()
    {
        if (stop.stops()) {
            const bool last_unit = !ended && count <= unit_end(stop.line);
            if (!last_unit || (stop.kind == stop_kind::too_large && last_line_ended)) stop_now();
            count = unit_start(stop.line);
        } else if (ended && !paired && count % 2 == 1) {
            stop = {stop_kind::broken_pair, count - 1};
            stop_now();
        } else if (!ended && count > 0 && (!last_line_ended || (!paired && count % 2 == 1))) {
            count = unit_start(count - 1);
        }
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
    bool no_cr = false;           // its text holds no CR
    int open_pair = -1;           // split layout: the channel of the line before its first, if that opens a pair
    reading_stop stop;            // its first stop: parsing ends there
    const char* stop_end = nullptr;  // just after the line that stops
};

// Stores a run's values. Its own indices are the ones only its lines can
// reach in the block's layout; another store would race with a neighbour.
void parse_run(line_run& run, block_state& block, const std::size_t (&sizes_before)[2])
{
    const std::int64_t c_end = run.first_line + run.lines;
    const std::int64_t own_first = block.paired ? run.first_line : run.first_line / 2;
    const std::int64_t own_end = block.paired ? c_end : (c_end + 1) / 2;
    // New elements start as 0, so that none is ever read uninitialized.
    sample_series* const channels[2] = {&block.result.v, &block.result.i};
    for (int k = 0; k < 2; ++k) {
        const auto from = std::max(static_cast<std::size_t>(own_first), sizes_before[k]);
        const auto to = static_cast<std::size_t>(own_end);
        if (from < to) std::fill(channels[k]->begin() + static_cast<std::ptrdiff_t>(from),
                                 channels[k]->begin() + static_cast<std::ptrdiff_t>(to), 0.0f);
    }
    line_shapes shapes;
    shapes.open_pair = run.open_pair;
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
        if (!read_common_line(line, run.last, c, block.paired, shapes, s)) {
            if (c > 0 && holds(line, data_end_tag)) {
                run.ended = true;
                run.end_line = c;
                break;
            }
            const line_fault fault = read_block_line(line, c, block.paired, s);
            if (fault != line_fault::none) run.stop = stop_for(fault, c, block.paired);
        }
        if (!run.stop.stops() && !block.paired) {
            const int channel = s.to_v[0] ? 0 : 1;
            if (c % 2 == 1 && channel == shapes.open_pair) run.stop = {stop_kind::broken_pair, c};
            shapes.open_pair = c % 2 == 0 ? channel : -1;
        }
        for (int store = 0; store < s.count && !run.stop.stops(); ++store) {
            float& element = (s.to_v[store] ? target.v : target.i)[s.index[store]];
            element = static_cast<float>(s.value[store]);
            if (std::isinf(element)) run.stop = {stop_kind::too_large, c};
        }
        if (run.stop.stops()) {
            run.stop_end = p;
            break;
        }
        ++c;
    }
    run.open_pair = shapes.open_pair;
}

// Parses the complete lines [first, last) of the block with the team's
// threads; returns where the lines it took end: `last`, or after the first
// line that stops the reading (what follows it is read line by line).
const char* parse_in_parallel(const char* first, const char* last, block_state& block, worker_team& team)
{
    // Runs of about equal size, cut after line ends, a few per thread.
    std::vector<line_run> runs;
    const auto size = static_cast<std::size_t>(last - first);
    const char* start = first;
    const std::size_t parts = team.tasks();
    for (std::size_t t = 1; t <= parts && start != last; ++t) {
        const char* stop = t == parts ? last : next_line_start(std::max(start, first + size * t / parts), last);
        if (stop == start) continue;
        runs.push_back(line_run{start, stop, 0, 0, false, 0, false, -1, {}});
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
    if (!runs.empty()) runs.front().open_pair = block.open_pair;
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

    // The runs in order up to the first that stops or holds the block's end.
    std::int64_t lines = block.count;
    const char* taken = last;
    for (const line_run& run : runs) {
        if (run.stop.stops()) {
            block.stop = run.stop;
            lines = run.stop.line + 1;
            taken = run.stop_end;
            break;
        }
        block.open_pair = run.open_pair;
        if (run.ended) {
            lines = run.end_line;
            block.ended = true;
            break;
        }
        lines = run.first_line + run.lines;
    }
    if (lines > most_lines)
        fail(error_kind::bad_data, "", "\nFatal error: the data block has more than 2147483647 lines.\n");
    block.count = lines;
    return taken;
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
        if (block.stop.stops()) {
            // After a stop the lines are taken one by one: any byte more is a
            // line after the stop's unit, once that is complete.
            if (block.count >= block.unit_end(block.stop.line)) block.stop_now();
            std::string_view line;
            if (read_line(reader, line)) {
                block.last_line_ended = reader.line_ended;
                block.take(line);
            }
            continue;
        }
        const char* const first = reader.buffer.get() + reader.begin;
        const std::size_t available = std::min(reader.end - reader.begin, block_size);
        const char* const last = first + available;
        const bool input_ends_here = reader.file_done && available == reader.end - reader.begin;
        const char* const cut = end_of_complete_lines(first, last, input_ends_here);
        if (cut == first) {
            // A line longer than the block: read through it on its own.
            std::string_view line;
            if (read_line(reader, line)) {
                block.last_line_ended = reader.line_ended;
                block.take(line);
            }
            continue;
        }
        const std::int64_t lines_before = block.count;
        const char* const taken = parse_in_parallel(first, cut, block, team);
        block.last_line_ended = taken[-1] == '\n' || taken[-1] == '\r';
        reader.begin += static_cast<std::size_t>(taken - first);
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
    start_reading(reader, file, watched_tags, summary_of, options.held_limit, options.cancel);
    recording result;
    block_state block{result, false, 0, false, {}, -1, true, true};
    block.gather_digits = options.gather_digits;
    std::string_view line;
    bool frequency_found = false;
    bool frequency_read = false;
    bool data_found = false;

    try {
        while (!data_found && read_line(reader, line)) {
            if (!frequency_found) {
                if (!holds(line, frequency_tag)) continue;
                frequency_found = true;
                frequency_read = read_frequency(line, result.sampling_frequency);
            }
            // The frequency line itself may carry the data tag too.
            data_found = holds(line, data_tag);
        }
        if (reader.failed) fail(error_kind::unreadable_file, name, "\nThe file " + name + " cannot be read.\n");
        if (!data_found) {
            analysis_error error{error_kind::bad_data, name, {structure_unknown_message,
                "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n"}};
            error.looks_like_utf16 = reader.starts_as_utf16;
            throw error;
        }
        const double frequency = result.sampling_frequency;
        if (!frequency_read || !(frequency >= 1e-37 && frequency <= 1e37))
            fail(error_kind::bad_data, name,
                 "\nFatal error: the sampling frequency must be a number from 1e-37 to 1e37.\n");
        result.deltat = static_cast<float>(1.0 / frequency);

        // The block's first line decides the layout and counts whatever it holds.
        if (read_line(reader, line)) {
            block.last_line_ended = reader.line_ended;
            block.take(line);
        }
        if (block.count > 0) {
            // One thread too: the block path sizes the series once from the file's size.
            std::uint64_t size = 0;
            std::uint64_t position = 0;
            if (regular_file_extent(file, size, position)) {
                read_block_in_parallel(reader, block, options);
            } else {
                while (read_line(reader, line)) {
                    block.last_line_ended = reader.line_ended;
                    if (!block.take(line)) break;
                }
            }
        }
        if (reader.failed) fail(error_kind::unreadable_file, name, "\nThe file " + name + " cannot be read.\n");
        block.finish();
    } catch (analysis_error& error) {
        error.file = name;
        throw;
    }

    result.line_count = static_cast<std::int32_t>(block.count);
    const auto samples = static_cast<std::size_t>(block.paired ? block.count : block.count / 2);
    result.v.resize(samples, 0.0f);
    result.i.resize(samples, 0.0f);
    return result;
}
