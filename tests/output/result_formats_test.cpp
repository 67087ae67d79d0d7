// Formatting of the table's fields.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "output/result_formats.hpp"

using namespace veltrin;

namespace {

struct field_case {
    double value;
    const char* text;
};

const field_case field_cases[] = {
    {0.0, "  0.000000e+00"},
    {62.5, "  6.250000e+01"},
    {-1.234567e-04, " -1.234567e-04"},
    {1e300, " 1.000000e+300"},
    {std::numeric_limits<double>::infinity(), "           inf"},
    {-std::numeric_limits<double>::infinity(), "          -inf"},
    {std::numeric_limits<double>::quiet_NaN(), "           nan"},
    {-std::numeric_limits<double>::quiet_NaN(), "           nan"},
    {0.0 / std::numeric_limits<double>::infinity() - 0.0, "  0.000000e+00"},
    {-0.0, " -0.000000e+00"},
    {1234567.5, "  1.234568e+06"},  // ties to even
    {1234568.5, "  1.234568e+06"},
    {4.9406564584124654e-324, " 4.940656e-324"},
    {1.7976931348623157e308, " 1.797693e+308"},
};

TEST(result_table, fields_are_fourteen_wide_and_nan_has_no_sign)
{
    for (const field_case& c : field_cases) {
        std::string text;
        append_field(text, c.value);
        EXPECT_EQ(text, c.text) << c.value;
    }
    // 0/0 on this processor is a negative not-a-number; it must still read "nan".
    volatile double zero = 0.0;
    std::string text;
    append_field(text, std::sqrt(zero / zero));
    EXPECT_EQ(text, "           nan");
}

// The fields are the C library's "%14.6e", the table's format from the start.
TEST(result_table, fields_are_printf_fields)
{
    std::mt19937_64 generator(11);
    for (int k = 0; k < 200000; ++k) {
        const std::uint64_t bits = generator();
        double value = std::bit_cast<double>(bits);
        if (k % 2) value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));  // what the densities are
        if (std::isnan(value)) continue;
        char expected[64];
        std::snprintf(expected, sizeof expected, "%14.6e", value);
        std::string text;
        append_field(text, value);
        ASSERT_EQ(text, expected) << bits;
    }
}

}  // namespace
