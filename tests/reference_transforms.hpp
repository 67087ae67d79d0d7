// The unplanned radix-2 transforms, the reference that the planned drealft
// reproduces bit for bit; defined with it in src/estimates/radix2_fft.cpp.
//
// Arrays are addressed as positions 1 ... n in the routines' own arithmetic;
// position p is element p - 1 of the array passed in.
#pragma once

#include <cstdint>

namespace veltrin {

// Complex transform of nn values (a power of two), interleaved real and
// imaginary parts in data[0 .. 2*nn - 1]. Value m becomes
// sum_j x_j * exp(isign * 2*pi*i * j*m / nn), unscaled.
void dfour1(double* data, std::uint32_t nn, int isign);
void four1(float* data, std::uint32_t nn, int isign);

// Real transform of n values (a power of two, at least 2). Forward (isign 1):
// data[0] = X_0, data[1] = X_{n/2}, data[2k], data[2k+1] = real and imaginary
// parts of X_k for k = 1 ... n/2 - 1, with the positive exponent. Any other
// isign inverts that layout into the sequence times n/2.
void drealft(double* data, std::uint32_t n, int isign);
void realft(float* data, std::uint32_t n, int isign);

}  // namespace veltrin
