// Taylor series on small arguments, after reductions done in whole numbers
// or by exact symmetries.
#include "estimates/exact_angles.hpp"

#include <cmath>
#include <numbers>

namespace veltrin {

namespace {

constexpr double quarter_pi = 0.78539816339744830962;
constexpr double half_pi = 1.57079632679489661923;
constexpr double pi = 3.14159265358979323846;

// sin and cos of 0 <= x <= pi / 4: the terms fall below 1e-20 by the 12th
// (up to pi / 2, as cosine asks, below 1e-19).
void sine_and_cosine(double x, double& sine, double& cosine)
{
    const double x2 = x * x;
    double s = 1.0;
    double c = 1.0;
    for (int k = 12; k >= 1; --k) {
        s = 1.0 - x2 / static_cast<double>((2 * k) * (2 * k + 1)) * s;
        c = 1.0 - x2 / static_cast<double>((2 * k - 1) * (2 * k)) * c;
    }
    sine = x * s;
    cosine = c;
}

// atan of 0 <= t <= 2 - sqrt(3) (tan(pi / 12)): the series' terms fall
// below 1e-19 by the 17th.
double small_arc_tangent(double t)
{
    const double t2 = t * t;
    double sum = 0.0;
    for (int k = 17; k >= 0; --k) sum = 1.0 / static_cast<double>(2 * k + 1) - t2 * sum;
    return t * sum;
}

// atan of 0 <= t <= 1, through atan t = pi / 6 + atan((t - c) / (1 + c t)),
// c = tan(pi / 6), where t is beyond tan(pi / 12).
double unit_arc_tangent(double t)
{
    constexpr double tan_pi_12 = 0.26794919243112270647;
    constexpr double tan_pi_6 = 0.57735026918962576451;
    constexpr double sixth_pi = 0.52359877559829887308;
    if (t <= tan_pi_12) return small_arc_tangent(t);
    const double u = (t - tan_pi_6) / (1.0 + tan_pi_6 * t);
    return u >= 0.0 ? sixth_pi + small_arc_tangent(u) : sixth_pi - small_arc_tangent(-u);
}

}  // namespace

std::complex<double> unit_turn(std::uint64_t k, std::uint64_t n)
{
    // 8k / n = octant + r / n, in whole numbers (k < n < 2^60).
    k %= n;
    const std::uint64_t eighths = 8 * k;
    const std::uint64_t octant = eighths / n;
    const std::uint64_t r = eighths % n;
    // Within an odd octant the angle is measured back from its end.
    const bool odd = octant % 2 == 1;
    const double x = quarter_pi * static_cast<double>(odd ? n - r : r) / static_cast<double>(n);
    double s;
    double c;
    sine_and_cosine(x, s, c);
    if (odd) std::swap(s, c);
    // (c, s) is the angle within the first quarter; each quarter turns it by 90 degrees.
    switch (octant / 2) {
    case 0:
        return {c, s};
    case 1:
        return {-s, c};
    case 2:
        return {-c, -s};
    default:
        return {s, -c};
    }
}

double cosine(double x)
{
    // pi - a is exact for pi / 2 <= a <= pi (the two within a factor of 2);
    // pi's own rounding moves the result by at most 1.3e-16.
    const double a = std::fabs(x);
    const bool far = a > half_pi;
    double s;
    double c;
    sine_and_cosine(far ? pi - a : a, s, c);
    return far ? -c : c;
}

double exponential(double x)
{
    if (!(x > -746.0)) return std::isnan(x) ? x : 0.0;
    // x = k ln 2 + r, |r| <= ln 2 / 2 (about): ln 2 in two parts, the first
    // with 32 bits so that k times it is exact (fdlibm's constants).
    constexpr double ln2_high = 6.93147180369123816490e-01;
    constexpr double ln2_low = 1.90821492927058770002e-10;
    const double k = std::nearbyint(x * (1.0 / std::numbers::ln2));
    const double r = (x - k * ln2_high) - k * ln2_low;
    // e^r by its series: |r| < 0.35, the 18th term below 1e-24.
    double sum = 1.0;
    for (int n = 18; n >= 1; --n) sum = 1.0 + r / static_cast<double>(n) * sum;
    // 2^k in two exact steps, so that a subnormal result is rounded once.
    const int e = static_cast<int>(k);
    if (e >= -1000) return sum * std::ldexp(1.0, e);
    return sum * std::ldexp(1.0, e + 600) * std::ldexp(1.0, -600);
}

double arc_tangent(double y, double x)
{
    if (std::isnan(x) || std::isnan(y)) return x + y;
    const double a = std::fabs(y);
    const double b = std::fabs(x);
    double angle;
    if (a == 0.0 && b == 0.0)
        angle = 0.0;
    else if (a <= b)
        angle = unit_arc_tangent(a / b);
    else
        angle = half_pi - unit_arc_tangent(b / a);
    if (std::signbit(x)) angle = pi - angle;
    return std::copysign(angle, y);
}

double natural_logarithm(double x)
{
    // x = m 2^e with m in [sqrt(1/2), sqrt(2)) (frexp is exact), then
    // ln m = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172: the series'
    // terms fall below the last place after 20 of them.
    int e = 0;
    double m = std::frexp(x, &e);
    if (m < std::numbers::sqrt2 / 2.0) {
        m *= 2.0;
        --e;
    }
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double power = s;
    double sum = 0.0;
    for (int k = 1; k < 44; k += 2) {
        sum += power / k;
        power *= s2;
    }
    return 2.0 * sum + static_cast<double>(e) * std::numbers::ln2;
}

double decimal_logarithm(double x)
{
    return natural_logarithm(x) / std::numbers::ln10;
}

double log_one_plus(double x)
{
    // u = 1 + x rounded; ln(u) x / (u - 1) makes up for that rounding.
    const double u = 1.0 + x;
    if (u == 1.0) return x;
    return natural_logarithm(u) * (x / (u - 1.0));
}

double exponential_minus_one(double x)
{
    if (!(std::fabs(x) < 0.5)) return exponential(x) - 1.0;
    // x (1 + x/2 (1 + x/3 (1 + ...))): |x| < 1/2, the 21st term below 1e-25.
    double sum = 1.0;
    for (int n = 21; n >= 2; --n) sum = 1.0 + x / static_cast<double>(n) * sum;
    return x * sum;
}

}  // namespace veltrin
