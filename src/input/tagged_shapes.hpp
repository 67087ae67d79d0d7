// The recordings' own data lines, "<v>x</v><i>y</i>", "<v>x</v>" and
// "<i>y</i>": read straight through, and once a line of the same shape has
// been read, by the positions learnt from it. The shapes serve other
// line formats too: a line of two numbers, and perhaps a time, is a shape
// whatever bytes surround them.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "input/reading_engine.hpp"

namespace veltrin {

// Where the digits of one number of a line are, relative to the line's start.
struct number_positions {
    bool negative = false;
    int chunks = 0;  // runs of at most 8 significand digits
    std::uint8_t chunk_at[3];
    std::uint8_t chunk_shift[3];   // digits_shift of its length
    std::uint64_t chunk_scale[3];  // 10 to the power of its length
    // At most 8 digits with the point among them are one chunk of 9 bytes,
    // the point taken out: these bits of its first word are before it.
    bool point_inside = false;
    std::uint64_t before_point = 0;
    int fraction_digits = 0;
    std::uint8_t exponent_at = 0;
    int exponent_digits = 0;  // 0: no exponent
    bool exponent_negative = false;
    // The significand's digits, the point left out, gathered from the 16
    // bytes at significand_at into the last lanes, the most significant
    // first; the other lanes take none (an index with its top bit set).
    std::uint8_t significand_at = 0;
    unsigned char gather[16];
};

// Lines up to 64 bytes as four lanes of 16.
using byte_lanes = unsigned char __attribute__((vector_size(16)));
inline constexpr std::size_t shape_lanes = 4;
inline constexpr std::size_t longest_shape = shape_lanes * sizeof(byte_lanes);
// Reading a line by its shape touches at most this many bytes from its
// start: a number's 16 bytes may reach 11 bytes past the line.
inline constexpr std::size_t shape_reach = longest_shape + 16;

// A line's shape: its length, where its digits are and its other bytes.
// Lines of one shape read the same way, digit values aside. A line has it
// when each byte b has b - low <= spread (unsigned): low '0' and spread 9
// where the shape has a digit, the byte and 0 elsewhere, 0 and 255 beyond
// its end.
struct line_shape {
    std::size_t length = 0;  // 0: no line has had it yet
    byte_lanes low[shape_lanes];
    byte_lanes spread[shape_lanes];
    int numbers = 0;
    bool to_v[2];
    bool paired = false;  // stores at index c, not c / 2
    bool timed = false;   // a paired line with its sample's time too
    number_positions number[2];
    number_positions time;
};

// What the values of a line are multiplied by, in double, before they are
// stored: v and i are then rounded to float once, the time kept in double.
struct value_scales {
    double v = 1.0;
    double i = 1.0;
    double time = 1.0;
};

// Whether a shape's values times `scale` still fit a float, so that its
// stores need no check: a shape's number is below 10^37 (at most 15 digits,
// a power of ten up to 22), and 30 times that is below the largest float.
inline bool shapes_can_scale(double scale)
{
    return std::fabs(scale) <= 30.0;
}

// The shapes of recent lines. A new one replaces the oldest, so that a
// file cycling through more shapes than there are still finds some.
struct line_shapes {
    static constexpr std::uint8_t none = 255;
    line_shape shape[8];
    std::size_t oldest = 0;
    // The shape of the line just read (none: it had no known one), and the
    // shape of the line that followed each shape the last time: lines of a
    // file mostly repeat one shape, or two in turn.
    std::uint8_t current = none;
    std::uint8_t successor[8] = {none, none, none, none, none, none, none, none};
    // Where few lines repeat a shape, learning costs more than it saves:
    // after a run of misses, lines are read straight for a while.
    int misses = 0;
    int resting = 0;  // lines still to read straight
    // Split layout: the channel (0 v, 1 i) of the line before, when that
    // line opens a pair; -1 otherwise. A pair holds one v and one i.
    int open_pair = -1;
};

// The stores of block line c when it is a common line of the block's
// layout (`paired`); false for any other (white space, other text, a number
// that needs the general conversion, a line of the other layout), which
// then takes the general reading: where this one answers, it gives what
// that one would. A common line's shape is learnt, for
// read_lines_of_known_shapes, where the memory up to readable_end holds
// what the shape's reading may read beyond the line. The split pairs are
// the caller's to check.
bool read_common_line(std::string_view line, const char* readable_end, std::int64_t c, bool paired, line_shapes& shapes,
                      line_stores& s);

// Learns the shape of a line of another format that has been read: its
// values in s, read by read_number_exactly (with `point` as the decimal
// separator) from the spans [first[k], last[k]) of the line, the time's
// (when s.timed) the third, which is at most longest_shape bytes long and
// followed by at least shape_reach readable bytes from its start. Lines
// that fit the shape then hold their values at the same places, the same
// bytes around them. Where few lines repeat a shape it learns nothing for a
// while, as read_common_line does.
void learn_line_shape(std::string_view line, const line_stores& s, const char* const (&first)[3],
                      const char* const (&last)[3], char point, line_shapes& shapes);

// Reads the lines from p on, block line c on, as long as each has the shape
// that followed the previous line's shape the last time, and stores their
// values. It stops before a line that has another shape, whose index is
// not the run's own, or that would put two values of one channel in a
// split pair, and leaves it to read_common_line; p is moved past the
// lines read, and their number is returned. [p, last) ends after a line
// end; lines are recognised without searching for their ends, by their
// shape's length and the LF that must follow it. The values are stored
// times `scales`, each of which shapes_can_scale.
// The digits are gathered 16 bytes at a time where the processor can
// (SSSE3); allow_gathering false reads them 8 at a time, with the same
// result, as on any other processor.
std::int64_t read_lines_of_known_shapes(const char*& p, const char* last, std::int64_t c, line_shapes& shapes,
                                        const store_target& target, const value_scales& scales = {},
                                        bool allow_gathering = true);

}  // namespace veltrin
