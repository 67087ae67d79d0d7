// The driver: configuration, scan, load, spectra, table.
#include "veltrin.hpp"

#include <cmath>
#include <cstdio>
#include <memory>

#include "fatal_stop.hpp"
#include "file_io.hpp"
#include "line_reader.hpp"
#include "result_table.hpp"
#include "run_config.hpp"
#include "sample_input.hpp"
#include "spectra.hpp"

void run_veltrin()
{
    const run_config config = read_run_config();

    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> data_file(open_for_reading(config.data_file_name),
                                                                  &std::fclose);
    if (!data_file)
        fatal_stop("\nThe file " + config.data_file_name + " does not exist in the current directory.\n");

    line_reader reader;
    start_reading(reader, data_file.get());
    const std::int32_t data_line_count = DetecteXML(reader);
    if (data_line_count == 0)
        fatal_stop("\nThe structure of the input data file is unknown.\n",
                   "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n");
    if (!std::isfinite(deltat) || !(deltat > 0.0f))
        fatal_stop("\nFatal error: the sampling frequency must be a positive number.\n");

    const sample_series series = load_samples(reader, data_line_count);
    const density_pair densities = estimate_spectra(config, series.v, series.i);
    write_table(config, densities.psd_v, densities.psd_i);
}
