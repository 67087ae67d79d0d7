// The reading engine: one pass over a recording, whatever its format. It
// reads the file through a large buffer and takes the data block a region
// of the buffer at a time: the worker team's threads share a region as runs
// of whole lines, count them, learn each run's first line index, and store
// the values straight into the series. The engine owns the regions, the
// runs, the line indices, the growth of the series, the merging of the runs'
// outcomes and when a stop counts; a grammar, one per input format, reads
// the header and turns lines into samples and stops.
//
// A grammar is the line_grammar of input/grammar.hpp.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/grammar.hpp"
#include "input/line_reader.hpp"
#include "input/reading.hpp"
#include "model/error.hpp"
#include "model/recording.hpp"
#include "platform/platform.hpp"
#include "platform/worker_team.hpp"

namespace veltrin {

// Raises the read error ("cannot be read") once the reader has met one.
void check_readable(const line_reader& reader, const std::string& name);

// Reads the open file once, from its start, with grammar G: its header,
// then its data block, each line's values stored where its index puts them
// (a store past the series is dropped; a sample that no line supplies is
// 0). A regular file's block is read by options.threads threads, with the
// same result for every thread count. Raises analysis_error, the file named.
template <line_grammar G>
recording read_with_grammar(std::FILE* file, const std::string& name, const reading_options& options, G grammar);

// The same from a reader already started on the file (which may have
// looked ahead without taking anything): G's watched tags and summary are
// put in place before the first line is read.
template <line_grammar G>
recording read_with_grammar(line_reader& reader, const std::string& name, const reading_options& options, G grammar);

// The engine's inner workings.
namespace reading_engine {

// Stores line c's values into the series, grown as needed; the stop when
// one is too large for single precision.
reading_stop store_growing(recording& result, const line_stores& s, std::int64_t c);

// Stores line c's values at the target's indices, which the run owns.
inline reading_stop store_in(const store_target& target, const line_stores& s, std::int64_t c)
{
    for (int k = 0; k < s.count; ++k) {
        float& element = (s.to_v[k] ? target.v : target.i)[s.index[k] - target.first_slot];
        element = static_cast<float>(s.value[k]);
        if (std::isinf(element)) return {value_too_large, c};
    }
    if (s.timed && target.time != nullptr) target.time[s.index[0] - target.time_first_slot] = s.time;
    return {};
}

// Sizes both series for `needed` samples (counted from the recording's first) before the runs store: within the
// reserved capacity nothing moves, beyond it they grow by half. The new
// samples below first_owned (which no run owns) become 0; the runs zero
// their own.
void grow_series(recording& result, std::size_t needed, std::size_t first_owned);

// Zeroes the samples [own_first, own_end) that are new since the series
// had the sizes `before`, so that none is ever read uninitialized.
void zero_new_samples(recording& result, std::int64_t own_first, std::int64_t own_end, const std::size_t (&before)[3]);

// Reserves the series for the whole file at the line density of the first
// region, so that they are allocated once instead of grown step by step.
void reserve_for_the_rest(const line_reader& reader, recording& result, std::int64_t count, int unit_lines,
                          std::int64_t lines_seen, std::size_t bytes_seen);

// Removes the samples of the lines that held none (their indices, in
// increasing order), and shrinks the series to `samples` minus them.
void remove_empty_samples(recording& result, std::size_t samples, std::span<const std::int64_t> no_sample);

// Gives the sink whatever the series hold, and empties them (keeping their memory for more).
void hand_on_held(recording& result, sample_sink& sink);

// The same, the reading done: the series' memory is freed.
void hand_on_rest(recording& result, sample_sink& sink);

// Gives the sink the samples held before slot `end` (the lines without a
// sample left out), and drops them from the series and from no_sample.
void hand_on(recording& result, std::int64_t end, std::vector<std::int64_t>& no_sample, sample_sink& sink);

// The data block as it is read: the lines so far, the grammar's state
// after them, and the first line that stops the reading. A stop is certain
// once a line follows its unit or the block has ended; until then it may be
// the end of a recording cut off while it was written.
template <line_grammar G>
struct block_reading {
    G& grammar;
    recording& result;
    typename G::run_state state{};
    std::int64_t count = 0;
    std::int64_t first_line = 0;  // the index of the block's first line (reading_options::lines_before)
    std::int64_t most_lines = std::numeric_limits<std::int64_t>::max();
    bool ended = false;
    reading_stop stop{};
    std::string stop_text{};                // the line that stops
    std::string end_text{};                 // the line that ended the block
    std::vector<std::int64_t> no_sample{};  // the lines without a sample, in order
    bool last_line_ended = true;            // the last line read had its line end
    sample_sink* sink = nullptr;            // takes the samples as they are read (none: the series hold them)

    std::int64_t unit() const { return grammar.unit_lines(); }
    std::int64_t unit_start(std::int64_t c) const { return c / unit() * unit(); }
    std::int64_t unit_end(std::int64_t c) const { return unit_start(c) + unit(); }

    // Raises the stop, once the sink has the samples before it: a run in
    // blocks counts all that the reading gave, whatever the path it took.
    [[noreturn]] void stop_now()
    {
        hand_on_read();
        analysis_error error(error_kind::bad_data, "");
        error.reading = grammar.stop_problem(stop, stop_text);
        error.data_line = stop.line + 1;
        throw error;
    }

    // Takes block line `count` in order; false when it ends the block.
    bool take(std::string_view line, bool line_ended)
    {
        last_line_ended = line_ended;
        if (grammar.ends_block(line, count)) {
            ended = true;
            end_text.assign(line);
            return false;
        }
        if (count == first_line) {
            grammar.start_block(line);
            result.first_slot = first_line / unit();
            result.time_first_slot = result.first_slot;
        }
        if (stop.stops()) {
            if (count >= unit_end(stop.line)) stop_now();
        } else {
            if (count == most_lines) stop_at_limit();
            line_stores s;
            stop = grammar.read_data_line(line, count, state, s);
            if (!stop.stops()) stop = store_growing(result, s, count);
            if (stop.stops())
                stop_text.assign(line);
            else if (s.count == 0)
                no_sample.push_back(count);
        }
        ++count;
        return true;
    }

    [[noreturn]] void stop_at_limit()
    {
        stop = {too_many_lines, most_lines};
        stop_text.clear();
        stop_now();
    }

    // The series hold the whole block: nothing takes the samples, or their
    // times must all be read before the sink learns the frequency.
    bool held_whole() const { return sink == nullptr || result.timed; }

    // Gives the grammar the times of the slots before `end` that it has not
    // had, and drops them.
    void take_times(std::int64_t end)
    {
        if constexpr (requires { &G::take_times; }) {
            if (!result.timed || end <= result.time_first_slot) return;
            // Lines without a sample at the end may have left no time.
            const auto slots = static_cast<std::size_t>(end - result.time_first_slot);
            if (result.time.size() < slots) result.time.resize(slots, 0.0);
            grammar.take_times(std::span<const double>(result.time.data(), slots), result.time_first_slot, no_sample);
            result.time.erase(result.time.begin(), result.time.begin() + static_cast<std::ptrdiff_t>(slots));
            result.time_first_slot = end;
        }
    }

    // Hands the sink the samples that no later line can take back: those of
    // whole units before any stop, and before a last line without its end;
    // and the grammar their times.
    void hand_on_read()
    {
        const std::int64_t end = stop.stops()      ? unit_start(stop.line)
                                 : last_line_ended ? count / unit() * unit()
                                                   : unit_start(std::max<std::int64_t>(count - 1, 0));
        take_times(end / unit());
        if (!held_whole()) reading_engine::hand_on(result, end / unit(), no_sample, *sink);
    }

    // At the end of the input. Without the block's end, the last unit is not
    // data when it breaks the rules or its last line has no line end; a value
    // too large on a whole line is no sign of a cut.
    void finish()
    {
        if constexpr (requires { G::marked_end; }) {
            if (!G::marked_end) {
                if constexpr (requires { G::unended_line_cut; }) {
                    // Only a line that gave a sample or stopped was a row being written.
                    const bool last_held_none = !no_sample.empty() && no_sample.back() == count - 1;
                    if (G::unended_line_cut && !ended && count > 0 && !last_line_ended && !last_held_none &&
                        (!stop.stops() || stop.line == count - 1)) {
                        stop = {};
                        --count;
                        result.last_line_cut = true;
                    }
                }
                if (stop.stops()) stop_now();
                return;
            }
        }
        if (stop.stops()) {
            const bool last_unit = !ended && count <= unit_end(stop.line);
            if (!last_unit || (stop.kind == value_too_large && last_line_ended)) stop_now();
            count = unit_start(stop.line);
        } else if (ended && count % unit() != 0) {
            stop = grammar.unfinished_unit(count - 1);
            stop_now();
        } else if (!ended && count > first_line && (!last_line_ended || count % unit() != 0)) {
            count = unit_start(count - 1);
        }
    }
};

// One thread's run of whole lines and what reading it found.
template <line_grammar G>
struct line_run {
    const char* first;
    const char* last;
    std::int64_t first_line = 0;  // block line index of its first line
    std::int64_t lines = 0;
    bool ended = false;  // it holds the block's end
    std::int64_t end_line = 0;
    const char* end_after = nullptr;        // just after the line that ends the block
    std::string end_text{};                 // the line that ends the block
    bool hint = false;                      // what counting learnt for the framing's next()
    typename G::run_state state{};          // the grammar's, before its first line, then after its last
    reading_stop stop{};                    // its first stop: reading ends there
    const char* stop_end = nullptr;         // just after the line that stops
    std::string stop_text{};                // the line that stops
    std::vector<std::int64_t> no_sample{};  // its lines without a sample, in order
};

// Reads a run and stores its values at the indices that are its own.
template <line_grammar G>
void read_run(line_run<G>& run, block_reading<G>& block, const std::size_t (&sizes_before)[3])
{
    using framing = typename G::framing;
    const G& grammar = block.grammar;
    const std::int64_t unit = block.unit();
    const std::int64_t c_end = run.first_line + run.lines;
    const std::int64_t own_first = run.first_line / unit;
    const std::int64_t own_end = (c_end + unit - 1) / unit;
    zero_new_samples(block.result, own_first, own_end, sizes_before);
    // The series are not resized while the runs fill them.
    const store_target target{block.result.v.data(),
                              block.result.i.data(),
                              !block.result.timed ? nullptr : block.result.time.data(),
                              own_first,
                              static_cast<std::uint64_t>(own_end - own_first),
                              block.result.first_slot,
                              block.result.time_first_slot};
    typename G::run_state state = run.state;
    const char* p = run.first;
    const char* const last = run.last;
    std::int64_t c = run.first_line;
    std::string_view line;
    for (;;) {
        if constexpr (requires { &G::skim; }) c += grammar.skim(p, last, c, state, target);
        if (!framing::next(p, last, line, run.hint)) break;
        line_stores s;
        std::optional<reading_stop> known;
        if constexpr (requires { &G::read_common; }) known = grammar.read_common(line, last, c, state, s);
        if (!known) {
            if (grammar.ends_block(line, c)) {
                run.ended = true;
                run.end_line = c;
                run.end_after = p;
                run.end_text.assign(line);
                break;
            }
            known = grammar.read_data_line(line, c, state, s);
        }
        run.stop = known->stops() ? *known : store_in(target, s, c);
        if (run.stop.stops()) {
            run.stop_end = p;
            run.stop_text.assign(line);
            break;
        }
        if (s.count == 0) run.no_sample.push_back(c);
        ++c;
    }
    run.state = state;
}

// Reads the complete lines [first, last) of the block with the team's
// threads; returns where the lines it took end: `last`, or after the first
// line that stops the reading (what follows it is read line by line).
template <line_grammar G>
const char* read_region(const char* first, const char* last, block_reading<G>& block, worker_team& team)
{
    using framing = typename G::framing;
    // Runs of about equal size, cut after line ends, a few per thread.
    std::vector<line_run<G>> runs;
    const auto size = static_cast<std::size_t>(last - first);
    const char* start = first;
    const std::size_t parts = team.tasks();
    for (std::size_t t = 1; t <= parts && start != last; ++t) {
        const char* cut = t == parts ? last : framing::next_start(std::max(start, first + size * t / parts), last);
        if (cut == start) continue;
        runs.push_back(line_run<G>{.first = start, .last = cut});
        start = cut;
    }
    const auto in_parallel = [&](auto&& work) { team.run(runs.size(), [&](std::size_t r) { work(runs[r]); }); };
    in_parallel([](line_run<G>& run) { run.lines = framing::count(run.first, run.last, run.hint); });

    // Each run's first line index. A run other than the first starts a unit,
    // so that the lines of a unit stay in one run; the first goes on from
    // the state the lines before it left.
    const std::int64_t unit = block.unit();
    std::int64_t c = block.count;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        line_run<G>& run = runs[r];
        while (r > 0 && c % unit != 0 && run.lines > 0) {
            const char* moved = framing::next_start(run.first, run.last);
            runs[r - 1].last = moved;
            runs[r - 1].hint = runs[r - 1].hint && run.hint;
            ++runs[r - 1].lines;
            run.first = moved;
            --run.lines;
            ++c;
        }
        run.first_line = c;
        c += run.lines;
    }
    if (!runs.empty()) runs.front().state = block.state;
    const std::size_t sizes_before[3] = {block.result.v.size(), block.result.i.size(), block.result.time.size()};
    grow_series(block.result, static_cast<std::size_t>((c + unit - 1) / unit),
                static_cast<std::size_t>(block.count / unit));

    in_parallel([&](line_run<G>& run) { read_run(run, block, sizes_before); });

    // The runs in order up to the first that stops or holds the block's end.
    std::int64_t lines = block.count;
    const char* taken = last;
    for (const line_run<G>& run : runs) {
        block.no_sample.insert(block.no_sample.end(), run.no_sample.begin(), run.no_sample.end());
        if (run.stop.stops()) {
            block.stop = run.stop;
            block.stop_text = std::move(run.stop_text);
            lines = run.stop.line + 1;
            taken = run.stop_end;
            break;
        }
        block.state = run.state;
        if (run.ended) {
            lines = run.end_line;
            block.ended = true;
            block.end_text = run.end_text;
            taken = run.end_after;
            break;
        }
        lines = run.first_line + run.lines;
    }
    if (lines > block.most_lines) block.stop_at_limit();
    block.count = lines;
    return taken;
}

// Reads the rest of the block of a regular file, a region of the buffer at a time.
template <line_grammar G>
void read_regions(line_reader& reader, block_reading<G>& block, const reading_options& options)
{
    using framing = typename G::framing;
    const std::size_t block_size = std::max<std::size_t>(options.block_size, 1);
    // A file already read whole needs no larger buffer.
    if (!reader.file_done) enlarge_buffer(reader, block_size);
    worker_team team(options.threads);
    bool first_region = true;
    // One line on its own, as the sequential reading takes it.
    const auto take_one = [&] {
        std::string_view line;
        bool complete = true;
        if (framing::read(reader, line, complete)) block.take(line, complete);
    };
    while (!block.ended) {
        if (reader.end - reader.begin < block_size && !reader.file_done) refill_in_parallel(reader, team);
        if (reader.begin == reader.end) return;
        if (block.stop.stops()) {
            // After a stop the lines are taken one by one: any byte more is a
            // line after the stop's unit, once that is complete.
            if (block.count >= block.unit_end(block.stop.line)) block.stop_now();
            take_one();
            continue;
        }
        const char* const first = reader.buffer.get() + reader.begin;
        const std::size_t available = std::min(reader.end - reader.begin, block_size);
        const char* const last = first + available;
        const bool input_ends_here = reader.file_done && available == reader.end - reader.begin;
        const char* const cut = framing::complete_end(first, last, input_ends_here);
        if (cut == first) {
            // A line longer than the region: read through it on its own.
            take_one();
            continue;
        }
        const std::int64_t lines_before = block.count;
        const char* const taken = read_region(first, cut, block, team);
        block.last_line_ended = block.ended || framing::ends_complete(taken);
        reader.begin += static_cast<std::size_t>(taken - first);
        block.hand_on_read();
        if (first_region && !block.ended && block.held_whole())
            reserve_for_the_rest(reader, block.result, block.count - block.first_line, block.grammar.unit_lines(),
                                 block.count - lines_before, static_cast<std::size_t>(cut - first));
        first_region = false;
    }
}

}  // namespace reading_engine

template <line_grammar G>
recording read_with_grammar(std::FILE* file, const std::string& name, const reading_options& options, G grammar)
{
    line_reader reader;
    start_reading(reader, file, G::watched_tags, G::summarize, options.held_limit, options.cancel);
    return read_with_grammar(reader, name, options, std::move(grammar));
}

template <line_grammar G>
recording read_with_grammar(line_reader& reader, const std::string& name, const reading_options& options, G grammar)
{
    using framing = typename G::framing;
    reader.watched_tags = G::watched_tags;
    reader.summarize = G::summarize;
    std::FILE* const file = reader.file;
    recording result;
    reading_engine::block_reading<G> block{.grammar = grammar,
                                           .result = result,
                                           .count = options.lines_before,
                                           .first_line = options.lines_before,
                                           .most_lines = options.most_lines,
                                           .sink = options.sink};
    try {
        grammar.read_header(reader, name, result);
        // The block's first line decides the layout and counts whatever it holds.
        std::string_view line;
        bool complete = true;
        if (framing::read(reader, line, complete)) block.take(line, complete);
        if (block.count > block.first_line) {
            // One thread too: the regions size the series once from the file's size.
            std::uint64_t size = 0;
            std::uint64_t position = 0;
            if (regular_file_extent(file, size, position)) {
                reading_engine::read_regions(reader, block, options);
            } else {
                // Samples are handed on whenever the input has no more for now,
                // so that a live recording's samples reach the sink as they come.
                while (framing::read(reader, line, complete) && block.take(line, complete)) {
                    if (block.sink != nullptr &&
                        (reader.begin == reader.end || result.v.size() >= (std::size_t{1} << 16)))
                        block.hand_on_read();
                }
            }
        }
        check_readable(reader, name);
        block.finish();
        // The times of the rest; once the grammar has had them all, the series hold none.
        block.take_times(block.count / block.unit());
        if (result.time_first_slot == block.count / block.unit()) result.timed = false;
        result.line_count = block.count;
        reading_engine::remove_empty_samples(result, static_cast<std::size_t>(block.count / block.unit()),
                                             block.no_sample);
        if constexpr (requires { &G::after_block; }) {
            const std::string_view ending_line = block.ended ? std::string_view(block.end_text) : std::string_view();
            grammar.after_block(reader, block.count, ending_line, block.no_sample, result);
            check_readable(reader, name);
        }
        if (options.sink != nullptr) {
            reading_engine::hand_on_rest(result, *options.sink);
            options.sink->reading_ended(result.input);
        }
    } catch (analysis_error& error) {
        error.file = name;
        throw;
    }
    return result;
}

}  // namespace veltrin
