// The angles made of the four operations: as close as the C library's.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "estimates/exact_angles.hpp"

using namespace veltrin;

namespace {

// Distance in units of the last place of the larger magnitude (at least 2^-60).
double ulps(double a, double b)
{
    const double scale = std::max({std::fabs(a), std::fabs(b), std::ldexp(1.0, -60)});
    return std::fabs(a - b) / (scale * std::numeric_limits<double>::epsilon());
}

}  // namespace

TEST(exact_angles, unit_turns_are_the_sines_and_cosines_of_their_angles)
{
    for (const std::uint64_t n : {1u, 2u, 3u, 8u, 12u, 256u, 300u, 4099u, 65536u, 1000003u}) {
        for (std::uint64_t k = 0; k < n; k += 1 + n / 997) {
            const std::complex<double> z = unit_turn(k, n);
            const double angle = 2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
            // On the unit circle: within a few units of 1's last place (the
            // library's own argument is rounded, by up to 4 units near 2 pi;
            // the whole numbers are not).
            const double unit = std::numeric_limits<double>::epsilon();
            EXPECT_LE(std::fabs(z.real() - std::cos(angle)), 8.0 * unit) << k << "/" << n;
            EXPECT_LE(std::fabs(z.imag() - std::sin(angle)), 8.0 * unit) << k << "/" << n;
        }
    }
    // Exact where the angle is a multiple of a quarter turn.
    EXPECT_EQ(unit_turn(0, 7), std::complex<double>(1.0, 0.0));
    EXPECT_EQ(unit_turn(2, 8), std::complex<double>(0.0, 1.0));
    EXPECT_EQ(unit_turn(4, 8), std::complex<double>(-1.0, 0.0));
    EXPECT_EQ(unit_turn(6, 8), std::complex<double>(0.0, -1.0));
    EXPECT_EQ(unit_turn(9, 8), unit_turn(1, 8));
}

TEST(exact_angles, arc_tangent_is_atan2)
{
    const double values[] = {0.0, 1e-300, 1e-8, 0.1,  0.2679491924311227, 0.3, 0.5773502691896257, 0.9, 1.0,
                             1.1, 3.7,    1e8,  1e300};
    for (const double a : values)
        for (const double b : values)
            for (const double sy : {1.0, -1.0})
                for (const double sx : {1.0, -1.0}) {
                    const double y = sy * a;
                    const double x = sx * b;
                    EXPECT_LE(ulps(arc_tangent(y, x), std::atan2(y, x)), 4.0) << y << " " << x;
                    EXPECT_EQ(std::signbit(arc_tangent(y, x)), std::signbit(std::atan2(y, x))) << y << " " << x;
                }
    EXPECT_TRUE(std::isnan(arc_tangent(NAN, 1.0)));
}

TEST(exact_angles, decimal_logarithm_is_log10)
{
    for (const double x : {1e-300, 4.9e-324, 1e-12, 0.1, 0.5, 0.7071067811865475, 0.7071067811865476, 0.99999999, 1.0,
                           1.00000001, 1.4142135623730951, 2.0, 3.0, 10.0, 123.456, 1e100, 1.7e308})
        EXPECT_LE(ulps(decimal_logarithm(x), std::log10(x)), 4.0) << x;
    EXPECT_EQ(decimal_logarithm(1.0), 0.0);
}

// Near 0, where ln(1 + x) and exp(x) - 1 written plainly lose every digit, and far from it.
TEST(exact_angles, logarithms_and_exponentials_near_one_are_log1p_and_expm1)
{
    for (const double x :
         {-0.999999, -0.75, -0.3, -1e-3, -1e-9, -1e-17, 1e-300, 1e-17, 1e-9, 1e-3, 0.25, 0.4999, 0.5, 3.0, 1e10}) {
        EXPECT_LE(ulps(log_one_plus(x), std::log1p(x)), 4.0) << x;
        EXPECT_LE(ulps(natural_logarithm(1.0 + x), std::log(1.0 + x)), 4.0) << x;
        if (x < 700.0) {
            EXPECT_LE(ulps(exponential_minus_one(x), std::expm1(x)), 4.0) << x;
        }
    }
    EXPECT_LE(ulps(exponential(0.69), std::exp(0.69)), 4.0);
}
