// Leading decimal number of a text, as the sample file writes its values.
#pragma once

#include <cstddef>
#include <string>

// Skips leading white space, then reads an optional sign, digits with at
// most one decimal point (at least one digit) and an optional exponent
// (e or E, optional sign, at least one digit). Reading stops at the first
// character that cannot continue the number; no number gives 0. Out-of-range
// text gives an infinity of the right sign or zero, like the C library.
double parse_number(const char* first, const char* last);

// The number at the very start of [first, last) (no white space first) when
// it has at most 19 digits, a significand below 2^53 and a power of ten up
// to 22, which one exact operation converts: stores the value that
// parse_number gives and returns the end of the number. Otherwise nullptr,
// and the text needs parse_number.
const char* read_number_exactly(const char* first, const char* last, double& value);

// Length of the number at the start of [first, last), by the same grammar,
// white space not skipped (0 when there is none). parse_number leaves the
// extent to from_chars; this plain reading of the grammar is what the tests
// and the fuzz target check it against.
std::size_t number_extent(const char* first, const char* last);

// Reads the number at the start of a text that arrives in pieces (a line
// too long to hold) and keeps a bounded text with the same value: the
// significant digits (beyond the 800th, only whether one is non-zero
// matters to the rounding) and the decimal exponent. parse_number of
// text() equals parse_number of the whole original text.
struct number_collector {
    enum class state { space, sign, digits, exponent_mark, exponent_sign, exponent_digits, done };
    state at = state::space;
    bool negative = false;
    bool seen_digit = false;
    bool seen_point = false;
    bool sticky = false;           // a non-zero digit beyond those kept
    std::string significant;       // from the first non-zero digit, at most 800
    long long point_shift = 0;     // decimal exponent of the digit before significant[0], as a count
    bool exponent_seen = false;    // an exponent mark counts only with a digit after it
    bool exponent_negative = false;
    long long exponent = 0;

    // Takes the next piece; returns false once the number has ended.
    bool feed(const char* first, const char* last);
    std::string text() const;
};
