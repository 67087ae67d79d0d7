// The number grammar of sample values and the sampling frequency.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>
#include <algorithm>
#include <string>

#include "input/number_text.hpp"

using namespace veltrin;

// GCC 12 warns falsely about "literal" + std::string temporaries (its bug 105329).
#pragma GCC diagnostic ignored "-Wrestrict"

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

void PrintTo(const number_case& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

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

namespace {

// The bounded text a collector keeps must read as the whole text does,
// however the text is cut into pieces: long runs of digits, leading zeros,
// digits that matter only past the 767th, exponents with or without digits.
TEST(number_collector, keeps_the_value_of_numbers_of_any_length)
{
    std::mt19937 generator(7);
    const auto digits = [&](std::size_t count, char first) {
        std::string text(1, first);
        for (std::size_t k = 1; k < count; ++k) text += static_cast<char>('0' + generator() % 10);
        return text;
    };
    std::vector<std::string> texts = {
        "",
        "-",
        "+.",
        ".",
        "-0",
        "  -000.000",
        "1e",
        "1e+",
        "2.5e-3x",
        "\t\v\f 7",
        "1.2.3",
        "5e3e4",
        "0.0e99999999999",
        "1" + std::string(2000, '0') + "e-2000",
        "0." + std::string(3000, '0') + "1e3001",
        // Exactly halfway between two doubles, then nudged by a far digit.
        "9007199254740993",
        "9007199254740993." + std::string(900, '0'),
        "9007199254740993." + std::string(900, '0') + "1",
        std::string(1, '-').append(5000, '9'),
        "1e400",
        "-1e-400",
        "1" + std::string(400, '0'),
    };
    for (int k = 0; k < 300; ++k) {
        std::string text = digits(1 + generator() % 1200, static_cast<char>('1' + k % 9));
        if (k % 3 == 0) text = std::string(1, '-').append(text);
        if (k % 2 == 0) {
            const std::size_t at = 1 + generator() % (text.size() - 1);
            text = text.substr(0, at) + "." + text.substr(at);
        }
        if (k % 5 == 0) text.append("e").append(std::to_string(static_cast<int>(generator() % 700) - 350));
        texts.push_back(text + "</v>");
    }
    for (const std::string& text : texts) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, text.size() + 1}) {
            number_collector collector;
            for (std::size_t at = 0; at < text.size(); at += piece)
                if (!collector.feed(text.data() + at, text.data() + std::min(text.size(), at + piece))) break;
            EXPECT_TRUE(same_bits(parse(collector.text()), parse(text)))
                << text.substr(0, 60) << " in pieces of " << piece;
            EXPECT_LT(collector.text().size(), 830u);
        }
    }
}

}  // namespace

namespace {

// The exact fast path and the general conversion agree bit for bit on the
// forms recordings are written in, and at the fast path's edges.
TEST(number_conversion, fast_path_is_correctly_rounded)
{
    std::mt19937_64 generator(11);
    std::vector<std::string> texts = {"9007199254740991",
                                      "9007199254740992",
                                      "9007199254740993",
                                      "1e22",
                                      "1e23",
                                      "123456789012345678e-22",
                                      "1234567890123456789",
                                      "12345678901234567890",
                                      "0.000000000000000000000001",
                                      "4.9406564584124654e-324",
                                      "1e-22",
                                      "7e-23",
                                      "1.7976931348623157e308",
                                      "-0.0",
                                      "00000.000e5",
                                      "1e0000",
                                      "1e00000",
                                      "18446744073709551617",
                                      "18446744073709551617e+000",
                                      "0.000000018446744073709551617e3"};
    const char* formats[] = {"%.8e", "%.7e", "%.9g", "%.17g", "%g", "%.3f", "%.10f"};
    for (int k = 0; k < 20000; ++k) {
        const double magnitude = std::pow(10.0, static_cast<double>(generator() % 40) - 20.0);
        const double value = (static_cast<double>(generator() % 2000001) - 1000000.0) / 1000000.0 * magnitude;
        char text[64];
        std::snprintf(text, sizeof text, formats[k % 7], value);
        texts.emplace_back(text);
    }
    for (const std::string& text : texts) {
        const double ours = parse(text);
        EXPECT_TRUE(same_bits(ours, std::strtod(text.c_str(), nullptr))) << text;
        EXPECT_TRUE(same_bits(static_cast<float>(ours), static_cast<float>(std::strtod(text.c_str(), nullptr))))
            << text;
    }
}

}  // namespace
