// Periodogram averaging and density scaling.
#include "estimates/configuration_estimate.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "estimates/radix2_fft.hpp"
#include "platform/large_arrays.hpp"
#include "platform/worker_team.hpp"
#include "estimates/window_functions.hpp"

namespace veltrin {

namespace {

// Transforms one section and unpacks it into scratch, in single precision.
void transform_and_unpack(std::vector<double>& section, const real_transform_plan& plan, float* scratch)
{
    const std::size_t n = section.size();
    drealft(section.data(), plan);
    // Inverting the odd elements turns the positive-exponent output into
    // X_k = sum x_j exp(-2 pi i jk/N); bins 0 and N/2 are real.
    scratch[0] = static_cast<float>(section[0]);
    scratch[1] = 0.0f;
    scratch[n] = static_cast<float>(section[1]);
    scratch[n + 1] = 0.0f;
    for (std::size_t j = 2; j < n; j += 2) {
        scratch[j] = static_cast<float>(section[j]);
        scratch[j + 1] = static_cast<float>(-section[j + 1]);
    }
}

// Adds an unpacked spectrum's squared magnitudes in bins [from, to) into psd.
void accumulate(const float* scratch, std::size_t from, std::size_t to, std::vector<float>& psd)
{
    for (std::size_t k = from; k < to; ++k) {
        const double re = scratch[2 * k];
        const double im = scratch[2 * k + 1];
        psd[k] = static_cast<float>(re * re + im * im + psd[k]);
    }
}

// Copies section s of both channels, removes their means, applies the window.
void prepare_section(std::span<const float> v, std::span<const float> i, std::size_t s, int hanning,
                     const std::vector<double>& weights, std::vector<double>& v_section, std::vector<double>& i_section)
{
    const std::size_t n = v_section.size();
    // Both channels go through each loop together: the two sums are
    // independent chains, each still added in increasing j from 0.
    const std::size_t first = s * n;
    double v_sum = 0.0;
    double i_sum = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
        v_section[j] = v[first + j];
        i_section[j] = i[first + j];
        v_sum += v_section[j];
        i_sum += i_section[j];
    }
    const double v_mean = v_sum / static_cast<double>(n);
    const double i_mean = i_sum / static_cast<double>(n);
    if (hanning == 1) {
        for (std::size_t j = 0; j < n; ++j) {
            v_section[j] = (v_section[j] - v_mean) * weights[j];
            i_section[j] = (i_section[j] - i_mean) * weights[j];
        }
    } else {
        for (std::size_t j = 0; j < n; ++j) {
            v_section[j] -= v_mean;
            i_section[j] -= i_mean;
        }
    }
}

}  // namespace

configuration_sums::configuration_sums(const analysis_request& request, unsigned threads)
    : n_(static_cast<std::size_t>(request.nbpoint_section)), hanning_(request.hanning),
      // Computed once: the same numbers as computing them in every section.
      weights_(configuration_window(request.hanning, n_)), plan_(plan_drealft(static_cast<std::uint32_t>(n_))),
      // A batch holds about 1 MiB of spectra per thread, which stays in a
      // core's own cache (2 MiB took 7 % longer on two threads); much smaller
      // ones spend their time waking threads.
      batch_(std::max<unsigned>(threads, 1) * std::max<std::size_t>(1, (std::size_t{256} << 10) / (2 * (n_ + 2)))),
      sums_{std::vector<float>(n_ / 2 + 1, 0.0f), std::vector<float>(n_ / 2 + 1, 0.0f)}
{
}

void configuration_sums::add(std::span<const float> v, std::span<const float> i, std::size_t count, worker_team& team)
{
    const std::size_t n = n_;
    const std::size_t threads = team.size();
    // The threads transform a batch of sections, then add them up, each a
    // range of bins, in section order: every thread count gives the same bits.
    const std::size_t spectrum_floats = 2 * (n + 2);
    const std::size_t batch = std::min(count, batch_);
    // Each spectrum of a batch is written before it is read.
    std::vector<float, uninitialized_allocator<float>> spectra(batch * spectrum_floats);
    std::vector<std::vector<double>> v_sections(threads, std::vector<double>(n));
    std::vector<std::vector<double>> i_sections(threads, std::vector<double>(n));
    const std::size_t bins = n / 2 + 1;
    for (std::size_t first = 0; first < count; first += batch) {
        const std::size_t in_batch = std::min(batch, count - first);
        // Each thread takes the next section not yet taken, and then the next
        // range of bins, so that a thread held up for a moment holds up little.
        team.run(in_batch, [&](std::size_t b, std::size_t worker) {
            prepare_section(v, i, first + b, hanning_, weights_, v_sections[worker], i_sections[worker]);
            transform_and_unpack(v_sections[worker], plan_, &spectra[b * spectrum_floats]);
            transform_and_unpack(i_sections[worker], plan_, &spectra[b * spectrum_floats + n + 2]);
        });
        const std::size_t ranges = team.tasks();
        team.run(ranges, [&](std::size_t t) {
            const std::size_t from = t * bins / ranges;
            const std::size_t to = (t + 1) * bins / ranges;
            for (std::size_t b = 0; b < in_batch; ++b) {
                accumulate(&spectra[b * spectrum_floats], from, to, sums_.psd_v);
                accumulate(&spectra[b * spectrum_floats + n + 2], from, to, sums_.psd_i);
            }
        });
    }
    sections_ += count;
}

density_pair configuration_sums::result(const analysis_request& request, float deltat) const
{
    const std::size_t n = n_;
    density_pair result = sums_;
    float scale = static_cast<float>((static_cast<double>(deltat) + deltat) / static_cast<double>(n));
    if (request.hanning == 1) scale = static_cast<float>(static_cast<double>(scale) * 2.6666666666666665);
    const double factor = static_cast<double>(scale) / static_cast<double>(request.nb_section);
    for (std::size_t k = 0; k <= n / 2; ++k) {
        result.psd_v[k] = static_cast<float>(factor * result.psd_v[k]);
        result.psd_i[k] = static_cast<float>(factor * result.psd_i[k]);
    }
    return result;
}

density_pair estimate_spectra(const analysis_request& request, float deltat, std::span<const float> v,
                              std::span<const float> i, worker_team& team)
{
    configuration_sums sums(request, team.size());
    sums.add(v, i, static_cast<std::size_t>(request.nb_section), team);
    return sums.result(request, deltat);
}

}  // namespace veltrin
