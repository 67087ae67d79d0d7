// Formatting of the table's fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "result_formats.hpp"

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

}  // namespace
