// Forward transforms of any length, for the standard estimate.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace veltrin {

// X_k = sum_j x_j exp(-2 pi i jk / n) for k = 0 ... n/2 of a real sequence of
// length n >= 1. Lengths whose prime factors are small go straight through
// a mixed-radix transform; others through Bluestein's chirp convolution on a
// power-of-two length, so that a large prime length costs O(n log n) too.
// The sequence is the real part of a complex transform of its own: packing
// a second sequence into the imaginary part would halve the work, but would
// leave the rounding of the larger one's bins in the smaller one's.
class real_transform {
public:
    explicit real_transform(std::size_t n);
    ~real_transform();
    real_transform(const real_transform&) = delete;
    real_transform& operator=(const real_transform&) = delete;

    // x holds n values; X receives n/2 + 1 bins.
    void forward(const double* x, std::complex<double>* X);

private:
    // The complex transform of p.in into p.out, n values.
    void transform_complex();
    struct plan;
    std::unique_ptr<plan> plan_;
};

// The largest prime factor of n (1 for n <= 1).
std::size_t largest_prime_factor(std::size_t n);

}  // namespace veltrin
