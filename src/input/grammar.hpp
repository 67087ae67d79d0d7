// The interface between the reading engine and a grammar, one per
// line-based input format: the values a line gives, where a run stores
// them, why a reading stops, and the members a grammar has (line_grammar).
#pragma once

#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "input/line_reader.hpp"
#include "model/problem.hpp"
#include "model/recording.hpp"

namespace veltrin {

// The values of one block line: which channel, which sample, what value;
// and the sample's time when the format gives one (stored at index[0]).
struct line_stores {
    int count = 0;
    bool to_v[2];
    std::int64_t index[2];
    double value[2];
    bool timed = false;
    double time = 0.0;
};

// Where a run stores: the two series, and the samples that are the run's
// own (only its lines reach them; a store elsewhere would race with a
// neighbouring run).
struct store_target {
    float* v;
    float* i;
    double* time;  // nullptr when the format gives no times
    std::int64_t own_first;
    std::uint64_t owned;
    std::int64_t first_slot = 0;       // the sample index that v[0] and i[0] hold
    std::int64_t time_first_slot = 0;  // the sample index that time[0] holds
};

// Why a reading stops at a line: the engine's reasons, then the grammar's
// own, which it numbers from first_grammar_stop on.
enum stop_reason : int {
    no_stop,
    value_too_large,  // a value beyond single precision
    too_many_lines,   // the block has more lines than the reading takes (its line: that number)
    first_grammar_stop,
};

struct reading_stop {
    int kind = no_stop;
    std::int64_t line = 0;  // block line, from 0

    bool stops() const { return kind != no_stop; }
};

// A grammar: a struct G that reads a format's header and turns its lines
// into samples and stops (tagged_grammar.cpp and delimited_grammar.cpp are two).
template <class G>
concept line_grammar = requires(G& grammar, const G& reading, line_reader& reader, const std::string& name,
                                recording& result, std::string_view line, std::int64_t c, typename G::run_state& state,
                                line_stores& s, const reading_stop& stop, std::span<const tag_value> tags)
{
    // How text is cut into pieces: lines (line_reader.hpp).
    typename G::framing;
    // What the grammar keeps while it reads lines in order: the lines read of
    // an unfinished unit, and what speeds it up; a new one stands at the start of a unit.
    typename G::run_state;
    // The tags noted in a line too long to hold, and the line that stands for it.
    std::span<const std::string_view>(G::watched_tags);
    {
        G::summarize(tags)
        } -> std::convertible_to<std::string>;
    // Reads up to the data block: the sampling frequency and the format's own
    // settings; raises the format's errors (a read error first: check_readable).
    grammar.read_header(reader, name, result);
    // The block's first line, before it is read: the layout it shows.
    grammar.start_block(line);
    // The lines of a unit, the pieces of the block a stop keeps or drops
    // whole (1, or 2 for pairs); line c stores at sample c / unit_lines().
    {
        reading.unit_lines()
        } -> std::convertible_to<int>;
    // Block line c ends the block (no data).
    {
        reading.ends_block(line, c)
        } -> std::convertible_to<bool>;
    // The values of block line c, or why it gives none: the format's rules.
    {
        reading.read_data_line(line, c, state, s)
        } -> std::same_as<reading_stop>;
    // The stop of a unit that the block's end cuts short after line c.
    {
        reading.unfinished_unit(c)
        } -> std::same_as<reading_stop>;
    // The problem of every stop, the engine's too, as data (`line`: the text
    // of the line that stops, empty for the engine's block-wide stops).
    {
        reading.stop_problem(stop, line)
        } -> std::same_as<reading_problem>;
};

// A line whose reading gives no values and no stop holds no sample (a
// comment): its slot is removed once the block is read. Besides what
// line_grammar requires, a grammar may give:
//
//   static constexpr bool marked_end;
//                                   false: the format has no end mark, so a
//                                   last line is read like any other (a
//                                   missing line end is no sign of a cut)
//   static constexpr bool unended_line_cut;
//                                   true: a last line without its line end
//                                   was still being written: it is dropped,
//                                   and result.last_line_cut tells
//   void after_block(line_reader&, std::int64_t block_lines, std::string_view ending_line,
//                    std::span<const std::int64_t> no_sample, recording&);
//                                   what follows the block (the reader stands
//                                   after the line that ended it, given as
//                                   ending_line; no data when none did) and the
//                                   recording as read: the last checks, and
//                                   what the samples imply (a frequency from
//                                   their times). `no_sample`: the block lines
//                                   that held none, in order
//   void take_times(std::span<const double> times, std::int64_t first_slot,
//                   std::span<const std::int64_t> no_sample);
//                                   the times of the slots from first_slot on,
//                                   in order, each slot once, as soon as no
//                                   later line can take them back (those of
//                                   `no_sample`, the block lines without a
//                                   sample, hold none); the series then drop
//                                   them. Without it, a format that gives
//                                   times keeps them all
//
// and may give a fast path, used by the runs and nowhere else:
//
//   std::int64_t skim(const char*& p, const char* last, std::int64_t c, run_state&, const store_target&) const;
//                                   reads the lines from p on (block line c
//                                   on) that it can, straight into the target,
//                                   stopping before any other; moves p past
//                                   them and returns their number
//   std::optional<reading_stop> read_common(std::string_view line, const char* readable_end,
//                                           std::int64_t c, run_state&, line_stores&) const;
//                                   what read_data_line gives, for a line it knows
//                                   at once; nullopt for any other (the memory
//                                   up to readable_end may be read)
//
// A format without lines needs none of this: raw binary records are
// located by arithmetic and read by raw_binary.cpp, which shares the line
// reader's buffering and the worker team but not the line engine.

}  // namespace veltrin
