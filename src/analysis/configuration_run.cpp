// The configuration mode's driver: configuration, recording, estimate, table.
#include "analysis/configuration_run.hpp"

#include "analysis/analysis.hpp"
#include "input/configuration_file.hpp"
#include "output/result_formats.hpp"
#include "output/result_file.hpp"

config_analysis analyse_config_file(const std::string& config_path, const std::string& shown_name,
                                    const std::string& base_directory, unsigned threads)
{
    const run_config config = read_run_config(config_path, shown_name);
    const file_identity config_identity = identity_of(config_path);
    // Names are shown as configured, or as resolved when they came from another directory.
    const std::string data_path = relative_to(base_directory, config.data_file_name);

    file_identity data_identity;
    const recording samples = load_recording(data_path, data_path, data_identity, reading_options{threads});
    estimate_settings settings;
    settings.hanning = config.hanning;
    settings.nb_section = config.nb_section;
    settings.nbpoint_section = config.nbpoint_section;
    return {analyse(view_of(samples), config.data_file_name, settings, data_path,
                    "the number of sections in the file " + shown_name + ".\n", threads),
            relative_to(base_directory, config.result_file_name),
            {data_identity, config_identity}};
}

void run_config_mode(const std::string& config_path, const std::string& shown_name,
                     const std::string& base_directory, unsigned threads)
{
    const config_analysis run = analyse_config_file(config_path, shown_name, base_directory, threads);
    write_result_file(run.result_path, run.result_path, run.inputs,
                      [&](std::FILE* stream) { write_result(stream, run.result, result_format::table, true); });
}
