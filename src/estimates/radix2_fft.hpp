// The configuration estimate's in-place radix-2 real transform, planned once
// for many sections. The unplanned transforms it reproduces bit for bit
// (dfour1, drealft and their single-precision twins four1, realft) are the
// tests' and benchmarks' reference: tests/reference_transforms.hpp.
//
// Arrays are addressed as positions 1 ... n in the routines' own arithmetic;
// position p is element p - 1 of the array passed in.
#pragma once

#include <cstdint>
#include <vector>

namespace veltrin {

// The forward drealft of n points worked out once, for transforming many
// sections: the swaps of the bit reversal and every twiddle factor, the same
// numbers that the recurrences give, so the results are drealft's bits.
// Read-only once made: threads can share it.
struct real_transform_plan {
    std::uint32_t n = 0;
    std::vector<std::uint32_t> swaps;        // pairs of positions exchanged by the bit reversal
    std::vector<double> butterfly_twiddles;  // wr, wi for each stage and odd m, in order
    std::vector<double> unpacking_twiddles;  // wr, wi for i = 2 ... n/4
};
real_transform_plan plan_drealft(std::uint32_t n);

// The forward real transform of n values (a power of two, at least 2):
// data[0] = X_0, data[1] = X_{n/2}, data[2k], data[2k+1] = real and imaginary
// parts of X_k for k = 1 ... n/2 - 1, with the positive exponent; drealft(data, plan.n, 1), bit for bit, with AVX where
// the processor has it (allow_avx false: without, for comparing the two).
void drealft(double* data, const real_transform_plan& plan, bool allow_avx = true);

}  // namespace veltrin
