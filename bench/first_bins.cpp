// The expected factor of a flat density at the first bins, and their exact
// degrees of freedom, for every window and detrending: the README's table.
// usage: first_bins [N] [SECTIONS]   (default 1024 points, 32 sections, no overlap)
#include <cstdio>
#include <cstdlib>

#include "estimates/degrees_of_freedom.hpp"
#include "estimates/window_functions.hpp"
#include "model/request.hpp"

using namespace veltrin;

int main(int argc, char** argv)
{
    const std::size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
    const std::size_t k = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 32;
    std::printf("| window | detrend | E at bin 1 | bin 2 | bin 3 | nu_bin 1 / 2 / 3 (%zu sections, no overlap) |\n", k);
    std::printf("|---|---|---|---|---|---|\n");
    // The windows without a parameter: those with one depend on it.
    for (const window_row& row : window_rows) {
        if (!row.parameter.empty()) continue;
        const std::string name(row.name);
        const std::vector<double> w = *named_window(window_choice{row.kind}, n);
        for (const detrend_mode mode : {detrend_mode::none, detrend_mode::constant, detrend_mode::linear}) {
            const bin_freedom_table t = exact_bin_freedom({w, n, k, mode});
            std::printf("| %s | %s | %.4f | %.4f | %.4f | %.1f / %.1f / %.1f |\n", name.c_str(), detrend_name(mode),
                        t.expectation[1], t.expectation[2], t.expectation[3], t.nu[1], t.nu[2], t.nu[3]);
        }
    }
}
