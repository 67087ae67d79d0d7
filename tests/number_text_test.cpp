// The number grammar of sample values and the sampling frequency.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "number_text.hpp"

namespace {

double parse(const std::string& text)
{
    return parse_number(text.data(), text.data() + text.size());
}

bool same_bits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

constexpr double inf = std::numeric_limits<double>::infinity();

struct number_case {
    const char* text;
    double expected;
    std::size_t extent;  // characters of the number after the leading white space
};

const number_case number_cases[] = {
    {"5.", 5.0, 2},
    {".5", 0.5, 2},
    {"-2e-3", -0.002, 5},
    {"1e", 1.0, 1},
    {"1e+", 1.0, 1},
    {"1e-x", 1.0, 1},
    {"+.e1", 0.0, 0},
    {".", 0.0, 0},
    {"-", 0.0, 0},
    {"", 0.0, 0},
    {"inf", 0.0, 0},
    {"nan", 0.0, 0},
    {"0x10", 0.0, 1},
    {"1e400", inf, 5},
    {"-1e400", -inf, 6},
    {"1e-400", 0.0, 6},
    {"-1e-400", -0.0, 7},
    {"text with no number", 0.0, 0},
    {"  \t\n 42</v>", 42.0, 2},
    {"+3", 3.0, 2},
    {"00012", 12.0, 5},
    {"1.5.3", 1.5, 3},
    {"1E3", 1000.0, 3},
    {"1.0e-06</i>", 1.0e-06, 7},
    {"-1.234567e-04", -1.234567e-04, 13},
    {"4.9406564584124654e-324", 4.9406564584124654e-324, 23},
    {"2e-324", 0.0, 6},
    {"1.7976931348623157e308", 1.7976931348623157e308, 22},
    {"1.8e308", inf, 7},
    {"0.0001e310", 1e306, 10},
    {"10000e305", inf, 9},
    {"100000e-330", 0.0, 11},
    {"0e999999999999999999999", 0.0, 23},
    {"000.000e-99999", 0.0, 14},
    {"0.1e99999999999999999999", inf, 24},
    {"123456789012345678901234567890", 123456789012345678901234567890.0, 30},
};

void PrintTo(const number_case& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class number_grammar : public testing::TestWithParam<number_case> {};

TEST_P(number_grammar, converts_exactly_the_text_the_grammar_accepts)
{
    const number_case& c = GetParam();
    const double value = parse(c.text);
    EXPECT_TRUE(same_bits(value, c.expected)) << c.text << " gave " << value;

    const std::string text = c.text;
    const std::size_t skipped = text.find_first_not_of(" \t\n\v\f\r");
    const std::size_t start = skipped == std::string::npos ? text.size() : skipped;
    EXPECT_EQ(number_extent(text.data() + start, text.data() + text.size()), c.extent) << c.text;

    // The C library, given exactly the accepted text, must agree to the bit.
    if (c.extent > 0) {
        const std::string accepted = text.substr(start, c.extent);
        EXPECT_TRUE(same_bits(value, std::strtod(accepted.c_str(), nullptr))) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(cases, number_grammar, testing::ValuesIn(number_cases));

TEST(number_grammar, stops_at_the_end_of_the_given_range)
{
    const std::string text = "12345";
    EXPECT_EQ(parse_number(text.data(), text.data() + 3), 123.0);
    EXPECT_EQ(parse_number(text.data(), text.data()), 0.0);
}

}  // namespace
