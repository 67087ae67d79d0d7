// The transforms against closed forms and a direct DFT in long double.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "estimates/radix2_fft.hpp"
#include "reference_transforms.hpp"

using namespace veltrin;

namespace {

// Direct DFT of complex values with exponent sign isign, in long double.
std::vector<long double> direct_dft(const std::vector<long double>& x, int isign)
{
    const std::size_t nn = x.size() / 2;
    const long double two_pi = 6.283185307179586476925286766559L;
    std::vector<long double> cosine(nn);
    std::vector<long double> sine(nn);
    for (std::size_t r = 0; r < nn; ++r) {
        cosine[r] = std::cos(two_pi * static_cast<long double>(r) / static_cast<long double>(nn));
        sine[r] = isign * std::sin(two_pi * static_cast<long double>(r) / static_cast<long double>(nn));
    }
    std::vector<long double> out(x.size(), 0.0L);
    for (std::size_t m = 0; m < nn; ++m) {
        long double re = 0.0L;
        long double im = 0.0L;
        for (std::size_t j = 0; j < nn; ++j) {
            const std::size_t r = (j * m) % nn;
            re += x[2 * j] * cosine[r] - x[2 * j + 1] * sine[r];
            im += x[2 * j] * sine[r] + x[2 * j + 1] * cosine[r];
        }
        out[2 * m] = re;
        out[2 * m + 1] = im;
    }
    return out;
}

template <class T>
std::vector<T> random_values(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<T> values(count);
    for (T& x : values) x = static_cast<T>(uniform(generator));
    return values;
}

template <class T>
long double largest_error(const std::vector<T>& got, const std::vector<long double>& expected)
{
    long double biggest = 0.0L;
    long double error = 0.0L;
    for (std::size_t k = 0; k < got.size(); ++k) {
        biggest = std::max(biggest, std::fabs(expected[k]));
        error = std::max(error, std::fabs(static_cast<long double>(got[k]) - expected[k]));
    }
    return error / biggest;
}

// The packed forward layout of a real transform, expanded from the direct DFT.
std::vector<long double> packed_real_dft(const std::vector<long double>& x)
{
    std::vector<long double> complex_input(2 * x.size(), 0.0L);
    for (std::size_t j = 0; j < x.size(); ++j) complex_input[2 * j] = x[j];
    const std::vector<long double> full = direct_dft(complex_input, 1);
    std::vector<long double> packed(x.size());
    packed[0] = full[0];
    packed[1] = full[x.size()];  // real part of X_{n/2}
    for (std::size_t k = 1; k < x.size() / 2; ++k) {
        packed[2 * k] = full[2 * k];
        packed[2 * k + 1] = full[2 * k + 1];
    }
    return packed;
}

template <class T>
void check_against_direct_dft(void (*complex)(T*, std::uint32_t, int), void (*real)(T*, std::uint32_t, int),
                              long double bound)
{
    for (std::uint32_t n = 2; n <= 4096; n *= 2) {
        for (int isign : {1, -1}) {
            std::vector<T> data = random_values<T>(2 * n, n + 7u);
            const std::vector<long double> expected =
                direct_dft(std::vector<long double>(data.begin(), data.end()), isign);
            complex(data.data(), n, isign);
            EXPECT_LT(largest_error(data, expected), bound) << "complex nn=" << n << " isign=" << isign;
        }
        std::vector<T> data = random_values<T>(n, n + 11u);
        const std::vector<long double> packed = packed_real_dft(std::vector<long double>(data.begin(), data.end()));
        std::vector<T> forward = data;
        real(forward.data(), n, 1);
        EXPECT_LT(largest_error(forward, packed), bound) << "real forward n=" << n;
        // The inverse of the exact packed spectrum is the input times n/2.
        std::vector<T> inverse(packed.begin(), packed.end());
        real(inverse.data(), n, -1);
        std::vector<long double> scaled(data.begin(), data.end());
        for (long double& x : scaled) x *= n / 2;
        EXPECT_LT(largest_error(inverse, scaled), bound) << "real inverse n=" << n;
    }
}

TEST(fft, double_precision_matches_a_direct_dft)
{
    check_against_direct_dft<double>(dfour1, drealft, 4e-14L);
}

TEST(fft, single_precision_matches_a_direct_dft)
{
    check_against_direct_dft<float>(four1, realft, 4e-6L);
}

TEST(fft, forward_then_inverse_gives_the_input_scaled)
{
    for (std::uint32_t n : {2u, 8u, 1024u}) {
        const std::vector<double> input = random_values<double>(2 * n, 3u);
        std::vector<double> data = input;
        dfour1(data.data(), n, 1);
        dfour1(data.data(), n, -1);
        for (std::size_t k = 0; k < data.size(); ++k) EXPECT_NEAR(data[k], input[k] * n, 1e-12 * n);

        std::vector<double> real_data(input.begin(), input.begin() + n);
        drealft(real_data.data(), n, 1);
        drealft(real_data.data(), n, -1);
        for (std::size_t k = 0; k < n; ++k) EXPECT_NEAR(real_data[k], input[k] * (n / 2), 1e-12 * n);

        std::vector<float> single(input.begin(), input.begin() + n);
        realft(single.data(), n, 1);
        realft(single.data(), n, -1);
        for (std::size_t k = 0; k < n; ++k)
            EXPECT_NEAR(single[k], static_cast<float>(input[k]) * static_cast<float>(n / 2), 2e-5 * n);
    }
}

struct closed_form_case {
    const char* name;
    bool real;
    std::vector<double> input;
    std::vector<double> expected;
};

const closed_form_case closed_form_cases[] = {
    {"complex_nn1_unchanged", false, {3.5, -2.0}, {3.5, -2.0}},
    {"complex_nn2_sum_and_difference", false, {1.0, 2.0, 5.0, -7.0}, {6.0, -5.0, -4.0, 9.0}},
    {"complex_impulse", false, {1, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 1, 0, 1, 0, 1, 0}},
    {"real_n2", true, {3.0, 5.0}, {8.0, -2.0}},
    // x0..x3 = 1, 2, 4, 8: X0 = 15, X2 = 1 - 2 + 4 - 8, X1 = (1 - 4) + i(2 - 8).
    {"real_n4", true, {1, 2, 4, 8}, {15, -5, -3, -6}},
    {"real_constant", true, {2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5, 2.5}, {20, 0, 0, 0, 0, 0, 0, 0}},
};

void PrintTo(const closed_form_case& c, std::ostream* os)
{
    *os << c.name;
}

class closed_forms : public testing::TestWithParam<closed_form_case> {};

TEST_P(closed_forms, both_precisions)
{
    const closed_form_case& c = GetParam();
    std::vector<double> d = c.input;
    std::vector<float> f(c.input.begin(), c.input.end());
    const auto size = static_cast<std::uint32_t>(c.input.size());
    if (c.real) {
        drealft(d.data(), size, 1);
        realft(f.data(), size, 1);
    } else {
        dfour1(d.data(), size / 2, 1);
        four1(f.data(), size / 2, 1);
    }
    for (std::size_t k = 0; k < d.size(); ++k) {
        EXPECT_NEAR(d[k], c.expected[k], 1e-14) << k;
        EXPECT_NEAR(f[k], c.expected[k], 1e-6) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(cases, closed_forms, testing::ValuesIn(closed_form_cases),
                         [](const testing::TestParamInfo<closed_form_case>& info) { return info.param.name; });

// Pins the exact bits of drealft on one 16-point input, so that a change in
// the order of operations shows. The values were compared by hand with the
// closed form X_k = sum x_j exp(+2 pi i jk/16), computed in long double,
// to within 1e-14 (shown beside each value).
TEST(fft, drealft_bits_are_pinned)
{
    std::vector<double> data(16);
    for (std::size_t j = 0; j < 16; ++j)
        data[j] = static_cast<double>((j * 7) % 5) - 1.5 + 0.125 * static_cast<double>(j);
    drealft(data.data(), 16, 1);
    const std::uint64_t expected[16] = {
        0x4035000000000000u,  // 21 (closed form 21, diff 0)
        0x4008000000000000u,  // 3 (closed form 3, diff 0)
        0xc008abc0c2e025c5u,  // -3.0838637566236877 (closed form -3.0838637566236962, diff 8.4e-15)
        0xc0126c43f05e7495u,  // -4.6057279164935112 (closed form -4.6057279164935097, diff -1.5e-15)
        0xc00bb739ffe0f53eu,  // -3.4644660940672614 (closed form -3.4644660940672624, diff 1e-15)
        0xbff4afb0ccc06216u,  // -1.2928932188134517 (closed form -1.2928932188134525, diff 8.3e-16)
        0xc01dcbb9d4261a57u,  // -7.4489510677581938 (closed form -7.4489510677581865, diff -7.3e-15)
        0x4014a599f061e373u,  // 5.1617200431581862 (closed form 5.1617200431581934, diff -7.1e-15)
        0xc000000000000000u,  // -2 (closed form -2, diff -1.2e-18)
        0xc000000000000000u,  // -2 (closed form -2, diff 4.3e-19)
        0xc00cfa1857f1e0e2u,  // -3.6221167441072888 (closed form -3.6221167441072888, diff -2.5e-17)
        0xbfd028da93deb764u,  // -0.25249351921490004 (closed form -0.25249351921490168, diff 1.6e-15)
        0xc02512318007c2b0u,  // -10.535533905932738 (closed form -10.535533905932738, diff -1.3e-16)
        0x4005a827999fceedu,  // 2.7071067811865448 (closed form 2.7071067811865475, diff -2.7e-15)
        0x40189ea6618f1dabu,  // 6.1549315684891708 (closed form 6.1549315684891714, diff -6.2e-16)
        0xc00028d713fc8706u,  // -2.0199414788666017 (closed form -2.0199414788666048, diff 3.1e-15)
    };
    for (std::size_t k = 0; k < 16; ++k) {
        std::uint64_t bits;
        std::memcpy(&bits, &data[k], sizeof bits);
        EXPECT_EQ(bits, expected[k]) << "position " << k + 1 << " value " << data[k];
    }
}

}  // namespace

namespace {

// The planned transform is the one the configuration mode runs on every
// section: it must give drealft's bits at every size.
TEST(fft, planned_drealft_gives_the_same_bits)
{
    std::mt19937_64 generator(5);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (std::uint32_t n = 2; n <= (1u << 16); n *= 2) {
        const real_transform_plan plan = plan_drealft(n);
        std::vector<double> direct(n);
        for (double& x : direct) x = value(generator);
        std::vector<double> planned = direct;
        std::vector<double> planned_without_avx = direct;
        drealft(direct.data(), n, 1);
        drealft(planned.data(), plan);
        drealft(planned_without_avx.data(), plan, false);
        EXPECT_EQ(std::memcmp(direct.data(), planned.data(), n * sizeof(double)), 0) << n;
        EXPECT_EQ(std::memcmp(direct.data(), planned_without_avx.data(), n * sizeof(double)), 0) << n;
    }
}

}  // namespace
