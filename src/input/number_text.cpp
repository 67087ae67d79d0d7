// Text to double for sample values and the sampling frequency.
#include "input/number_text.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <cstdint>
#include <string>
#include <limits>
#include <system_error>

namespace veltrin {

namespace {

// The white space of the C library's isspace in the "C" locale.
bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// from_chars leaves the value alone when the text is out of range; tell an
// overflow from an underflow by the decimal exponent of the first non-zero
// digit. Out-of-range texts sit beyond 1e300 or below 1e-300, so the sign of
// that exponent decides.
bool overflows(const char* first, const char* last)
{
    long long position = 0;  // decimal exponent of the first non-zero digit, before the e part
    bool seen_point = false;
    bool seen_nonzero = false;
    const char* p = first;
    for (; p != last && (is_digit(*p) || *p == '.'); ++p) {
        if (*p == '.') {
            seen_point = true;
        } else if (!seen_nonzero) {
            if (*p != '0') {
                seen_nonzero = true;
                if (seen_point) position -= 1;
            } else if (seen_point) {
                position -= 1;
            }
        } else if (!seen_point) {
            position += 1;
        }
    }
    if (!seen_nonzero) return false;
    long long exponent = 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (p != last && (*p == '+' || *p == '-')) negative = *p++ == '-';
        for (; p != last && is_digit(*p); ++p)
            if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
        if (negative) exponent = -exponent;
    }
    return position + exponent >= 0;
}

}  // namespace

std::size_t number_extent(const char* first, const char* last)
{
    const char* p = first;
    if (p != last && (*p == '+' || *p == '-')) ++p;
    std::size_t digits = 0;
    bool point = false;
    for (; p != last; ++p) {
        if (is_digit(*p)) {
            ++digits;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return 0;
    if (p != last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q != last && (*q == '+' || *q == '-')) ++q;
        if (q != last && is_digit(*q)) {
            while (q != last && is_digit(*q)) ++q;
            p = q;
        }
    }
    return static_cast<std::size_t>(p - first);
}

namespace {

// How many of the word's characters are digits before the first one that is not.
int leading_digits(std::uint64_t word)
{
    // A digit becomes 0-9; any other byte gets its top bit set, by itself or
    // by the addition. A carry out of a byte only reaches later characters,
    // beyond the first non-digit, so the lowest flagged byte is exact.
    const std::uint64_t x = word ^ 0x3030303030303030;
    const std::uint64_t flagged = (x | (x + 0x7676767676767676)) & 0x8080808080808080;
    return flagged == 0 ? 8 : std::countr_zero(flagged) / 8;
}

// Appends the digits at p to the significand and counts them; false beyond
// 19 digits, where the sum may wrap.
[[gnu::always_inline]] inline bool read_digits(const char*& p, const char* last, std::uint64_t& significand,
                                               int& digits)
{
    while (last - p >= 8) {
        const std::uint64_t word = eight_characters(p);
        const int n = leading_digits(word);
        if (n == 0) return true;
        digits += n;
        if (digits > 19) return false;
        significand = significand * decimal_scales[n] + value_of_digits(word, n);
        p += n;
        if (n < 8) return true;
    }
    for (; p != last; ++p) {
        const auto digit = static_cast<unsigned>(*p - '0');
        if (digit > 9) break;
        if (++digits > 19) return false;
        significand = significand * 10 + digit;
    }
    return true;
}

}  // namespace

const char* read_number_exactly(const char* first, const char* last, double& value, char point)
{
    // The recordings' common numbers (-2.5122407e-01, 0.00102767): a
    // significand below 2^53 and a power of ten up to 22 are both exact
    // doubles, so one multiplication or division gives the correctly
    // rounded value.
    const char* p = first;
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '+' || *p == '-')) ++p;
    std::uint64_t significand = 0;
    int digits = 0;
    if (!read_digits(p, last, significand, digits)) return nullptr;
    int exponent = 0;
    if (p != last && *p == point) {
        const char* const fraction = ++p;
        if (!read_digits(p, last, significand, digits)) return nullptr;
        exponent = -static_cast<int>(p - fraction);
    }
    if (digits == 0) return nullptr;
    if (p != last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        bool negative_exponent = false;
        if (q != last && (*q == '+' || *q == '-')) negative_exponent = *q++ == '-';
        if (q != last && is_digit(*q)) {
            int written = 0;
            for (int count = 0; q != last && is_digit(*q); ++q, ++count) {
                if (count == 4) return nullptr;
                written = written * 10 + (*q - '0');
            }
            exponent += negative_exponent ? -written : written;
            p = q;
        }
    }
    return exact_decimal(significand, exponent, negative, value) ? p : nullptr;
}

double parse_number(const char* first, const char* last)
{
    while (first != last && is_space(*first)) ++first;
    bool negative = false;
    if (first != last && (*first == '+' || *first == '-')) negative = *first++ == '-';
    // After the sign, from_chars reads exactly this grammar's digits, point
    // and exponent, provided the text starts with a digit or a point (it
    // would also take "inf" and "nan", which are not numbers here).
    if (first == last || !(is_digit(*first) || *first == '.')) return 0.0;
    double value = 0.0;
    if (read_number_exactly(first, last, value) != nullptr) return negative ? -value : value;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) return 0.0;  // a point with no digit
    if (result.ec == std::errc::result_out_of_range)
        value = overflows(first, result.ptr) ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

namespace {

constexpr std::size_t kept_digits = 800;    // more than the 767 a double's rounding can need
constexpr long long exponent_cap = 100000;  // far beyond any finite or non-zero double

}  // namespace

bool number_collector::feed(const char* first, const char* last)
{
    for (const char* p = first; p != last; ++p) {
        const char c = *p;
        switch (at) {
        case state::space:
            if (is_space(c)) continue;
            at = state::sign;
            if (c == '+' || c == '-') {
                negative = c == '-';
                continue;
            }
            [[fallthrough]];
        case state::sign:
        case state::digits:
            if (is_digit(c)) {
                at = state::digits;
                seen_digit = true;
                if (significant.empty() && c == '0') {
                    if (seen_point) --point_shift;  // a leading zero after the point
                } else if (significant.size() < kept_digits) {
                    significant += c;
                    if (!seen_point) ++point_shift;
                } else {
                    sticky = sticky || c != '0';
                    if (!seen_point && point_shift < exponent_cap) ++point_shift;
                }
                continue;
            }
            if (c == '.' && !seen_point) {
                at = state::digits;
                seen_point = true;
                continue;
            }
            if (seen_digit && (c == 'e' || c == 'E')) {
                at = state::exponent_mark;
                continue;
            }
            at = state::done;
            return false;
        case state::exponent_mark:
            if (c == '+' || c == '-') {
                exponent_negative = c == '-';
                at = state::exponent_sign;
                continue;
            }
            [[fallthrough]];
        case state::exponent_sign:
        case state::exponent_digits:
            if (is_digit(c)) {
                at = state::exponent_digits;
                exponent_seen = true;
                if (exponent < exponent_cap) exponent = exponent * 10 + (c - '0');
                continue;
            }
            at = state::done;
            return false;
        case state::done:
            return false;
        }
    }
    return at != state::done;
}

std::string number_collector::text() const
{
    if (!seen_digit) return "";
    std::string out = negative ? "-" : "";
    if (significant.empty()) return out + "0";
    // An exponent mark without digits is not part of the number.
    const long long written_exponent = exponent_seen ? exponent : 0;
    long long total = point_shift + (exponent_negative ? -written_exponent : written_exponent);
    total = std::max(-exponent_cap, std::min(exponent_cap, total));
    out += "0.";
    out += significant;
    if (sticky) out += '1';
    return out + "e" + std::to_string(total);
}

}  // namespace veltrin
