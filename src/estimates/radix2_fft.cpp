// Radix-2 FFTs. The single-precision routines round every stored value to
// float but keep angles and the twiddle recurrence in double, so both twins
// share one body. Operations stay in their written order and grouping: the
// results are meant to be reproducible to the last bit.
#include "estimates/radix2_fft.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

namespace veltrin {

namespace {

// Calls swap(i, j) for each pair of positions (1-based, i < j) that the
// bit-reversal permutation of nn complex values exchanges, in order.
template <class Swap>
void for_each_bit_reversal_swap(std::uint32_t nn, Swap swap)
{
    const std::size_t n = std::size_t{nn} << 1;
    std::size_t j = 1;
    for (std::size_t i = 1; i < n; i += 2) {
        if (j > i) swap(i, j);
        std::size_t m = nn;
        while (m >= 2 && j > m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }
}

// A twiddle factor w = wr + i wi stepped by the angle theta with the
// trigonometric recurrence: two sines, the other factors from products and sums.
struct twiddle_recurrence {
    double wpr;
    double wpi;
    double wr = 1.0;
    double wi = 0.0;

    explicit twiddle_recurrence(double theta)
    {
        const double wtemp = std::sin(theta / 2);
        wpr = -2.0 * wtemp * wtemp;
        wpi = std::sin(theta);
    }

    void step()
    {
        const double wtemp = wr;
        wr = wr * wpr - wi * wpi + wr;
        wi = wi * wpr + wtemp * wpi + wi;
    }
};

// 6.28318530717959 is the historical 15-digit constant, not the double nearest 2*pi.
double stage_angle(int isign, std::size_t mmax)
{
    return isign * (6.28318530717959 / static_cast<double>(mmax));
}

// The unpacking recurrence of the real transform starts one step in.
twiddle_recurrence unpacking_recurrence(double theta)
{
    twiddle_recurrence w(theta);
    w.wr = 1.0 + w.wpr;
    w.wi = w.wpi;
    return w;
}

template <class T>
void complex_transform(T* array, std::uint32_t nn, int isign)
{
    // Position p is element p - 1; no pointer before the array is ever formed.
    auto at = [array](std::size_t position) -> T& { return array[position - 1]; };

    const std::size_t n = std::size_t{nn} << 1;

    for_each_bit_reversal_swap(nn, [&](std::size_t i, std::size_t j) {
        std::swap(at(j), at(i));
        std::swap(at(j + 1), at(i + 1));
    });

    // Danielson-Lanczos butterflies; two sines per stage, the other twiddle
    // factors from the recurrence.
    std::size_t mmax = 2;
    while (n > mmax) {
        const std::size_t istep = mmax << 1;
        twiddle_recurrence w(stage_angle(isign, mmax));
        for (std::size_t m = 1; m < mmax; m += 2) {
            const double wr = w.wr;
            const double wi = w.wi;
            for (std::size_t i = m; i <= n; i += istep) {
                const std::size_t j = i + mmax;
                const T tempr = static_cast<T>(wr * at(j) - wi * at(j + 1));
                const T tempi = static_cast<T>(wr * at(j + 1) + wi * at(j));
                at(j) = static_cast<T>(static_cast<double>(at(i)) - tempr);
                at(j + 1) = static_cast<T>(static_cast<double>(at(i + 1)) - tempi);
                at(i) = static_cast<T>(static_cast<double>(at(i)) + tempr);
                at(i + 1) = static_cast<T>(static_cast<double>(at(i + 1)) + tempi);
            }
            w.step();
        }
        mmax = istep;
    }
}

template <class T>
void real_transform(T* array, std::uint32_t n, int isign, void (*complex)(T*, std::uint32_t, int))
{
    // Position p is element p - 1, as in the complex transform.
    auto at = [array](std::size_t position) -> T& { return array[position - 1]; };

    const std::uint32_t half = n / 2;
    double theta = 3.141592653589793 / static_cast<double>(half);
    const T c1 = static_cast<T>(0.5);
    T c2;
    if (isign == 1) {
        c2 = static_cast<T>(-0.5);
        complex(array, half, 1);
    } else {
        c2 = static_cast<T>(0.5);
        theta = -theta;
    }
    twiddle_recurrence w = unpacking_recurrence(theta);
    const std::size_t np3 = std::size_t{n} + 3;
    for (std::size_t i = 2; i <= n / 4; ++i) {
        const double wr = w.wr;
        const double wi = w.wi;
        const std::size_t i1 = i + i - 1;
        const std::size_t i2 = i1 + 1;
        const std::size_t i3 = np3 - i2;
        const std::size_t i4 = i3 + 1;
        const T h1r = static_cast<T>(c1 * (static_cast<double>(at(i1)) + at(i3)));
        const T h1i = static_cast<T>(c1 * (static_cast<double>(at(i2)) - at(i4)));
        const T h2r = static_cast<T>(-c2 * (static_cast<double>(at(i2)) + at(i4)));
        const T h2i = static_cast<T>(c2 * (static_cast<double>(at(i1)) - at(i3)));
        at(i1) = static_cast<T>(h1r + wr * h2r - wi * h2i);
        at(i2) = static_cast<T>(h1i + wr * h2i + wi * h2r);
        at(i3) = static_cast<T>(h1r - wr * h2r + wi * h2i);
        at(i4) = static_cast<T>(-h1i + wr * h2i + wi * h2r);
        w.step();
    }
    const T h1r = at(1);
    if (isign == 1) {
        at(1) = static_cast<T>(static_cast<double>(h1r) + at(2));
        at(2) = static_cast<T>(static_cast<double>(h1r) - at(2));
    } else {
        at(1) = static_cast<T>(c1 * (static_cast<double>(h1r) + at(2)));
        at(2) = static_cast<T>(c1 * (static_cast<double>(h1r) - at(2)));
        complex(array, half, -1);
    }
}

}  // namespace

// The unplanned transforms, the reference of the planned one: declared for
// the tests and benchmarks in tests/reference_transforms.hpp.
void dfour1(double* data, std::uint32_t nn, int isign)
{
    complex_transform(data, nn, isign);
}
void four1(float* data, std::uint32_t nn, int isign)
{
    complex_transform(data, nn, isign);
}
void drealft(double* data, std::uint32_t n, int isign)
{
    real_transform(data, n, isign, dfour1);
}
void realft(float* data, std::uint32_t n, int isign)
{
    real_transform(data, n, isign, four1);
}

real_transform_plan plan_drealft(std::uint32_t n)
{
    real_transform_plan plan;
    plan.n = n;
    const std::uint32_t nn = n / 2;
    for_each_bit_reversal_swap(nn, [&](std::size_t i, std::size_t j) {
        plan.swaps.push_back(static_cast<std::uint32_t>(i));
        plan.swaps.push_back(static_cast<std::uint32_t>(j));
    });
    for (std::size_t mmax = 2; n > mmax; mmax <<= 1) {
        twiddle_recurrence w(stage_angle(1, mmax));
        for (std::size_t m = 1; m < mmax; m += 2, w.step()) {
            plan.butterfly_twiddles.push_back(w.wr);
            plan.butterfly_twiddles.push_back(w.wi);
        }
    }
    twiddle_recurrence w = unpacking_recurrence(3.141592653589793 / static_cast<double>(nn));
    for (std::size_t i = 2; i <= n / 4; ++i, w.step()) {
        plan.unpacking_twiddles.push_back(w.wr);
        plan.unpacking_twiddles.push_back(w.wi);
    }
    return plan;
}

namespace {

using complex_pair = double __attribute__((vector_size(16)));
using two_complex_pairs = double __attribute__((vector_size(32)));

// The butterflies m, m + 2 mmax, ... of the stage mmax, at the twiddle factor
// w = wr + i wi. Real and imaginary parts side by side: w*a[j] is
// wr*[re, im] + [-wi, wi]*[im, re], whose lanes round exactly like
// wr*re - wi*im and wr*im + wi*re (negating a factor and adding is
// subtracting). V holds one complex value, or (with AVX) the values of two
// butterflies side by side with their own factors.
template <class V>
[[gnu::always_inline]] inline void stage_butterflies(double* data, std::size_t n, std::size_t m, std::size_t mmax,
                                                     const V& w_real, const V& w_imaginary)
{
    for (std::size_t i = m; i <= n; i += 2 * mmax) {
        double* const a_i = data + (i - 1);
        double* const a_j = a_i + mmax;
        V x;
        V y;
        std::memcpy(&x, a_i, sizeof x);
        std::memcpy(&y, a_j, sizeof y);
        V swapped;
        if constexpr (sizeof(V) == sizeof(complex_pair)) {
            swapped = V{y[1], y[0]};
        } else {
            swapped = V{y[1], y[0], y[3], y[2]};
        }
        const V temp = w_real * y + w_imaginary * swapped;
        const V lower = x - temp;
        const V upper = x + temp;
        std::memcpy(a_j, &lower, sizeof lower);
        std::memcpy(a_i, &upper, sizeof upper);
    }
}

// The body of the planned transform: for every processor, and with AVX,
// whose wider lanes take two butterflies at a time (too wide without it).
template <bool wide>
[[gnu::always_inline]] inline void planned_drealft(double* data, const real_transform_plan& plan)
{
    // The loops of complex_transform and real_transform with the twiddle
    // factors looked up: no iteration waits for the recurrence any more.
    auto at = [data](std::size_t position) -> double& { return data[position - 1]; };
    const std::size_t n = plan.n;
    for (std::size_t k = 0; k < plan.swaps.size(); k += 2) {
        std::swap(at(plan.swaps[k + 1]), at(plan.swaps[k]));
        std::swap(at(plan.swaps[k + 1] + 1), at(plan.swaps[k] + 1));
    }
    const double* twiddle = plan.butterfly_twiddles.data();
    for (std::size_t mmax = 2; n > mmax; mmax <<= 1) {
        if constexpr (wide) {
            // With AVX, from the second stage on, the butterflies of m and
            // m + 2 lie side by side and go together. The butterflies of a
            // stage touch disjoint positions, so their order does not change
            // any result.
            if (mmax > 2) {
                for (std::size_t m = 1; m < mmax; m += 4, twiddle += 4)
                    stage_butterflies(data, n, m, mmax,
                                      two_complex_pairs{twiddle[0], twiddle[0], twiddle[2], twiddle[2]},
                                      two_complex_pairs{-twiddle[1], twiddle[1], -twiddle[3], twiddle[3]});
                continue;
            }
        }
        for (std::size_t m = 1; m < mmax; m += 2, twiddle += 2)
            stage_butterflies(data, n, m, mmax, complex_pair{twiddle[0], twiddle[0]},
                              complex_pair{-twiddle[1], twiddle[1]});
    }
    const double c1 = 0.5;
    const double c2 = -0.5;
    const std::size_t np3 = n + 3;
    twiddle = plan.unpacking_twiddles.data();
    for (std::size_t i = 2; i <= n / 4; ++i, twiddle += 2) {
        const double wr = twiddle[0];
        const double wi = twiddle[1];
        const std::size_t i1 = i + i - 1;
        const std::size_t i2 = i1 + 1;
        const std::size_t i3 = np3 - i2;
        const std::size_t i4 = i3 + 1;
        const double h1r = c1 * (at(i1) + at(i3));
        const double h1i = c1 * (at(i2) - at(i4));
        const double h2r = -c2 * (at(i2) + at(i4));
        const double h2i = c2 * (at(i1) - at(i3));
        at(i1) = h1r + wr * h2r - wi * h2i;
        at(i2) = h1i + wr * h2i + wi * h2r;
        at(i3) = h1r - wr * h2r + wi * h2i;
        at(i4) = -h1i + wr * h2i + wi * h2r;
    }
    const double h1r = at(1);
    at(1) = h1r + at(2);
    at(2) = h1r - at(2);
}

void planned_drealft_baseline(double* data, const real_transform_plan& plan)
{
    planned_drealft<false>(data, plan);
}

#if defined(__x86_64__) || defined(__i386__)
// AVX brings no fused multiply-add: every lane rounds as in the baseline.
[[gnu::target("avx")]] void planned_drealft_avx(double* data, const real_transform_plan& plan)
{
    planned_drealft<true>(data, plan);
}
#endif

}  // namespace

void drealft(double* data, const real_transform_plan& plan, bool allow_avx)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool has_avx = __builtin_cpu_supports("avx");
    if (allow_avx && has_avx) return planned_drealft_avx(data, plan);
#else
    (void)allow_avx;
#endif
    planned_drealft_baseline(data, plan);
}

}  // namespace veltrin
