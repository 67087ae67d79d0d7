// Coverage of Zn's intervals by Monte Carlo: v = a i + e with i and e
// independent Gaussian noise, white or both coloured by the same filter, so
// that the coherence a^2 / (a^2 + 1) and Zn = sqrt(a^2 + 1) are the same in
// every bin. Each trial runs the standard estimate (Hann) with the coherent
// interval; the independent one comes from the same Zn and nu. Counted over
// the inner bins of every trial, and for zn_band over its default band.
//
// usage: coherent_coverage [TRIALS] [POINTS]   (default 2000 trials of 64 points)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "estimates/confidence_intervals.hpp"

using namespace veltrin;

namespace {

struct tally {
    double covered = 0.0;
    double intervals = 0.0;
    double width_ratio = 0.0;  // coherent width over independent width, summed
    void add(bool in, double ratio)
    {
        covered += in ? 1.0 : 0.0;
        intervals += 1.0;
        width_ratio += ratio;
    }
};

double band_value(const spectrum_result& result, const std::string& key)
{
    for (const auto& [name, value] : result.band)
        if (name == key) return std::get<double>(value);
    return std::nan("");
}

}  // namespace

int main(int argc, char** argv)
{
    const int trials = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int points = argc > 2 ? std::atoi(argv[2]) : 64;
    const double p = 0.9;
    std::printf("%d trials, N %d, Hann, P %.2f: coverage of Zn per inner bin and of zn_band (f1 ... 10 f1),\n"
                "coherent (coh) and independent (ind), and the coherent width over the independent one\n",
                trials, points, p);
    std::printf("%4s %6s %9s %8s %8s %8s %7s %9s %9s\n", "K", "g2", "noise", "overlap", "coh", "ind", "width",
                "band_coh", "band_ind");
    std::mt19937_64 generator(2027);
    std::normal_distribution<double> gauss;
    for (const int sections : {16, 64}) {
        for (const double g2 : {0.0, 0.36, 0.81}) {
            for (const bool coloured : {false, true}) {
                for (const double overlap : {0.0, 0.5}) {
                    const double a = std::sqrt(g2 / (1.0 - g2));
                    const double zn_true = std::sqrt(a * a + 1.0);
                    const auto step = static_cast<std::size_t>(points - static_cast<int>(std::floor(overlap * points)));
                    const std::size_t length =
                        static_cast<std::size_t>(sections - 1) * step + static_cast<std::size_t>(points);
                    analysis_request request;
                    request.standard = true;
                    request.nbpoint_section = points;
                    request.nb_section = sections;
                    request.overlap = overlap;
                    request.confidence = p;
                    request.zn_interval = zn_interval_mode::coherent;
                    request.stern_geary = 1.0;  // asks for the band quantities
                    tally bins;
                    tally bins_independent;
                    tally band;
                    tally band_independent;
                    std::vector<float> v(length);
                    std::vector<float> i(length);
                    for (int trial = 0; trial < trials; ++trial) {
                        // AR(1) with coefficient 0.9 started in its stationary state: 20 dB of colour.
                        const double rho = coloured ? 0.9 : 0.0;
                        const double start = 1.0 / std::sqrt(1.0 - rho * rho);
                        double ci = gauss(generator) * start;
                        double ce = gauss(generator) * start;
                        for (std::size_t t = 0; t < length; ++t) {
                            if (t > 0) {
                                ci = rho * ci + gauss(generator);
                                ce = rho * ce + gauss(generator);
                            }
                            i[t] = static_cast<float>(ci);
                            v[t] = static_cast<float>(a * ci + ce);
                        }
                        const sample_view view{1.0, 1.0f, v, i};
                        const spectrum_result result = analyse(view, "", request, "trial");
                        const std::vector<double>& zn = result.columns[3].values;
                        const std::vector<double>& low = result.columns[8].values;
                        const std::vector<double>& high = result.columns[9].values;
                        const double r_ind = ratio_interval(p, result.nu);
                        const std::size_t inner_end = points % 2 == 0 ? zn.size() - 1 : zn.size();
                        for (std::size_t k = 1; k < inner_end; ++k) {
                            const double r_coh = high[k] / zn[k];
                            bins.add(low[k] <= zn_true && zn_true <= high[k],
                                     (r_coh - 1.0 / r_coh) / (r_ind - 1.0 / r_ind));
                            bins_independent.add(zn[k] / r_ind <= zn_true && zn_true <= zn[k] * r_ind, 1.0);
                        }
                        const double zb = band_value(result, "zn_band");
                        const double rb = ratio_interval(p, band_value(result, "nu_band"));
                        band.add(band_value(result, "zn_band_low") <= zn_true &&
                                     zn_true <= band_value(result, "zn_band_high"),
                                 1.0);
                        band_independent.add(zb / rb <= zn_true && zn_true <= zb * rb, 1.0);
                    }
                    std::printf("%4d %6.2f %9s %8.1f %8.4f %8.4f %7.3f %9.4f %9.4f\n", sections, g2,
                                coloured ? "coloured" : "white", overlap, bins.covered / bins.intervals,
                                bins_independent.covered / bins_independent.intervals,
                                bins.width_ratio / bins.intervals, band.covered / band.intervals,
                                band_independent.covered / band_independent.intervals);
                    std::fflush(stdout);
                }
            }
        }
    }
    return 0;
}
