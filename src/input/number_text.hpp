// Leading decimal number of a text, as the sample file writes its values.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace veltrin {

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
// and the text needs parse_number. `point` is the decimal separator: ','
// reads a decimal comma.
const char* read_number_exactly(const char* first, const char* last, double& value, char point = '.');

inline constexpr double exact_powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr std::uint64_t decimal_scales[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// significand * 10^exponent, negated when negative, where one exact
// operation gives the correctly rounded double: a significand below 2^53
// and an exponent from -22 to 22 (or a zero significand). False otherwise.
inline bool exact_decimal(std::uint64_t significand, int exponent, bool negative, double& value)
{
    if (significand == 0) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    if (significand >= (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22) return false;
    const auto exact = static_cast<double>(significand);
    value = exponent >= 0 ? exact * exact_powers_of_ten[exponent] : exact / exact_powers_of_ten[-exponent];
    if (negative) value = -value;
    return true;
}

// A decimal digit, whatever the locale.
inline bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Eight characters as one word, the first in the lowest byte.
inline std::uint64_t eight_characters(const char* p)
{
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, p, sizeof word);
    } else {
        for (int k = 0; k < 8; ++k) word |= std::uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
    }
    return word;
}

// The value of eight digits, the first in the lowest byte, with three
// multiplications instead of one per digit. Bytes of value 0 count as 0.
inline std::uint64_t value_of_eight_digits(std::uint64_t word)
{
    word &= 0x0F0F0F0F0F0F0F0F;
    word = (word * 2561) >> 8 & 0x00FF00FF00FF00FF;
    word = (word * 6553601) >> 16 & 0x0000FFFF0000FFFF;
    return (word * 42949672960001) >> 32;
}

// The shift that puts a word's first n digits (1 to 8) last, leading zeros in front.
inline int digits_shift(int n)
{
    return 8 * (8 - n);
}

// The value of the word's first n digits (1 to 8).
inline std::uint64_t value_of_digits(std::uint64_t word, int n)
{
    return value_of_eight_digits(word << digits_shift(n));
}

// Length of the number at the start of [first, last), by the same grammar,
// white space not skipped (0 when there is none): where a value's text ends,
// so that what follows it can be checked.
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
    bool sticky = false;         // a non-zero digit beyond those kept
    std::string significant;     // from the first non-zero digit, at most 800
    long long point_shift = 0;   // decimal exponent of the digit before significant[0], as a count
    bool exponent_seen = false;  // an exponent mark counts only with a digit after it
    bool exponent_negative = false;
    long long exponent = 0;

    // Takes the next piece; returns false once the number has ended.
    bool feed(const char* first, const char* last);
    std::string text() const;
};

}  // namespace veltrin
