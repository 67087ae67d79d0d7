// The rules of the data block's lines: what a line holds, or why it holds no
// sample, and the messages that stop a reading.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "input/tagged_shapes.hpp"

// Why a line of the data block gives no sample.
enum class line_fault {
    none,
    not_a_number,  // a value's text is not a number of the grammar
    no_values,     // the line does not hold what its layout needs
};

// A value: blanks, a number (at least one digit), blanks, then `closing`
// or the end of [first, last). Blanks are spaces and tabs.
bool read_value(const char* first, const char* last, std::string_view closing, double& value);

// The values of block line c: a paired block's line holds "<v>", its value,
// "</v><i>" and the i value; a split block's line holds one v or one i value.
// The stores go where the layout puts them (index c, or c / 2).
line_fault read_block_line(std::string_view line, std::int64_t c, bool paired, line_stores& s);

// The sampling frequency on a line holding the frequency tag: the number
// right after the tag, then blanks and "<" or the end of the line. False
// for anything else, which the frequency check then refuses.
bool read_frequency(std::string_view line, double& frequency);

// What stops a reading at a line of the data block.
enum class stop_kind { none, not_a_number, no_pair, broken_pair, too_large };

struct reading_stop {
    stop_kind kind = stop_kind::none;
    std::int64_t line = 0;  // block line, from 0

    bool stops() const { return kind != stop_kind::none; }
};

// The stop a fault of line c gives in a block of that layout.
reading_stop stop_for(line_fault fault, std::int64_t c, bool paired);

// The message of a stop, lines counted from 1.
std::string stop_message(const reading_stop& stop);
