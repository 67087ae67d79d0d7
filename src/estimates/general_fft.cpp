// Mixed-radix transforms from kissfft, and Bluestein's algorithm on top of
// them for lengths with a large prime factor.
#include "estimates/general_fft.hpp"

#include <cmath>
#include <cstdint>
#include <kissfft/kissfft.hh>
#include <numbers>

#include "estimates/exact_angles.hpp"

namespace veltrin {

namespace {

// Above this prime factor kissfft's generic butterfly (O(n p)) loses to Bluestein.
constexpr std::size_t direct_prime_limit = 61;

}  // namespace

// kissfft makes its twiddle factors with the C library's exp, whose last bit
// differs between systems; they are made again from unit_turn, so that every
// system transforms to the same bits. kissfft keeps them private: an explicit
// instantiation is the one place where C++ lets code name a private member,
// and this one hands out access to them.
using twiddle_factors = std::vector<std::complex<double>>;
twiddle_factors& twiddles_of(kissfft<double>& fft);
template <twiddle_factors kissfft<double>::*factors>
struct twiddle_access {
    friend twiddle_factors& twiddles_of(kissfft<double>& fft) { return fft.*factors; }
};
template struct twiddle_access<&kissfft<double>::_twiddles>;

namespace {

// kissfft of length n whose twiddle factors are exp(-+2 pi i k / n) from unit_turn.
kissfft<double> exact_kissfft(std::size_t n, bool inverse)
{
    kissfft<double> fft(n, inverse);
    twiddle_factors& factors = twiddles_of(fft);
    for (std::size_t k = 0; k < n; ++k) factors[k] = unit_turn(inverse ? k : n - k, n);
    return fft;
}

}  // namespace

struct real_transform::plan {
    std::size_t n;
    bool bluestein;
    kissfft<double> fft;                       // length n, or the convolution length
    std::unique_ptr<kissfft<double>> inverse;  // Bluestein only
    std::vector<std::complex<double>> chirp;   // exp(-i pi k^2 / n), k = 0 ... n-1
    std::vector<std::complex<double>> kernel;  // transform of the conjugate chirp, wrapped
    std::vector<std::complex<double>> in;
    std::vector<std::complex<double>> out;
};

std::size_t largest_prime_factor(std::size_t n)
{
    std::size_t largest = 1;
    for (std::size_t p = 2; p * p <= n; ++p) {
        while (n % p == 0) {
            largest = p;
            n /= p;
        }
    }
    return n > 1 ? std::max(largest, n) : largest;
}

real_transform::real_transform(std::size_t n)
{
    const bool bluestein = largest_prime_factor(n) > direct_prime_limit;
    std::size_t m = n;
    if (bluestein)
        for (m = 1; m < 2 * n - 1; m *= 2) {}
    plan_.reset(new plan{n, bluestein, exact_kissfft(m, false), nullptr, {}, {}, {}, {}});
    plan_->in.resize(m);
    plan_->out.resize(m);
    if (!bluestein) return;
    plan_->inverse = std::make_unique<kissfft<double>>(exact_kissfft(m, true));
    plan_->chirp.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        // exp(-i pi k^2 / n) = exp(-2 pi i (k^2 mod 2n) / 2n), the angle exact in whole numbers.
        const std::uint64_t k2 = (static_cast<std::uint64_t>(k) * k) % (2 * n);
        plan_->chirp[k] = unit_turn(2 * n - k2, 2 * n);
    }
    std::vector<std::complex<double>> b(m, 0.0);
    b[0] = std::conj(plan_->chirp[0]);
    for (std::size_t k = 1; k < n; ++k) b[k] = b[m - k] = std::conj(plan_->chirp[k]);
    plan_->kernel.resize(m);
    plan_->fft.transform(b.data(), plan_->kernel.data());
}

real_transform::~real_transform() = default;

void real_transform::transform_complex()
{
    plan& p = *plan_;
    if (!p.bluestein) {
        p.fft.transform(p.in.data(), p.out.data());
        return;
    }
    const std::size_t m = p.in.size();
    for (std::size_t j = 0; j < p.n; ++j) p.in[j] *= p.chirp[j];
    for (std::size_t j = p.n; j < m; ++j) p.in[j] = 0.0;
    p.fft.transform(p.in.data(), p.out.data());
    for (std::size_t j = 0; j < m; ++j) p.out[j] *= p.kernel[j];
    p.inverse->transform(p.out.data(), p.in.data());
    const double unscale = 1.0 / static_cast<double>(m);
    for (std::size_t k = 0; k < p.n; ++k) p.out[k] = p.in[k] * p.chirp[k] * unscale;
}

void real_transform::forward(const double* x, std::complex<double>* X)
{
    plan& p = *plan_;
    for (std::size_t j = 0; j < p.n; ++j) p.in[j] = x[j];
    transform_complex();
    for (std::size_t k = 0; k <= p.n / 2; ++k) X[k] = p.out[k];
    // Bin 0 (and n/2 of an even n) of a real sequence is real: the chirp's
    // rounding must not give it a sign of its own, nor a phase.
    X[0].imag(0.0);
    if (p.n % 2 == 0) X[p.n / 2].imag(0.0);
}

}  // namespace veltrin
