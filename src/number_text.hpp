// Leading decimal number of a text, as the sample file writes its values.
#pragma once

#include <cstddef>

// Skips leading white space, then reads an optional sign, digits with at
// most one decimal point (at least one digit) and an optional exponent
// (e or E, optional sign, at least one digit). Reading stops at the first
// character that cannot continue the number; no number gives 0. Out-of-range
// text gives an infinity of the right sign or zero, like the C library.
double parse_number(const char* first, const char* last);

// Length of the number at the start of [first, last), by the same grammar,
// white space not skipped (0 when there is none). parse_number leaves the
// extent to from_chars; this plain reading of the grammar is what the tests
// and the fuzz target check it against.
std::size_t number_extent(const char* first, const char* last);
