// Sines, cosines, arc tangents and logarithms made of the four operations alone, so that
// every system gives the same bits (the C libraries' own differ in the last
// bit from one system to another).
#pragma once

#include <complex>
#include <cstdint>

namespace veltrin {

// exp(2 pi i k / n), n > 0: the angle is reduced to an eighth of a turn with
// whole numbers first, so that it is exact up to one rounding.
std::complex<double> unit_turn(std::uint64_t k, std::uint64_t n);

// cos(x) of |x| <= pi (radians), within a few units in the last place.
double cosine(double x);

// exp(x) of x below about 709, within a few units in the last place; 0 below about -745.
double exponential(double x);
// exp(x) - 1, accurate for x near 0 too.
double exponential_minus_one(double x);

// atan2(y, x) in radians, within a few units in the last place.
double arc_tangent(double y, double x);

// ln(x) and log10(x) of a finite x > 0, within a few units in the last place.
double natural_logarithm(double x);
double decimal_logarithm(double x);
// ln(1 + x) of x > -1, accurate for x near 0 too.
double log_one_plus(double x);

}  // namespace veltrin
