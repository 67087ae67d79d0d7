// The configuration mode's driver: configuration, recording, estimate, table.
#include "analysis/configuration_run.hpp"

#include "analysis/analysis.hpp"
#include "analysis/stream_analysis.hpp"
#include "input/configuration_file.hpp"
#include "model/error.hpp"
#include "output/result_formats.hpp"
#include "output/result_file.hpp"

namespace veltrin {

config_analysis analyse_config_file(const std::string& config_path, const std::string& shown_name,
                                    const std::string& base_directory, unsigned threads)
{
    const run_config config = read_run_config(config_path, shown_name);
    const file_identity config_identity = identity_of(config_path);
    // Names are shown as configured, or as resolved when they came from another directory.
    const std::string data_path = relative_to(base_directory, config.data_file_name);

    file_identity data_identity;
    // The configuration mode counts the block's lines in 32 bits, as it always did.
    const reading_options reading{.threads = threads, .most_lines = most_count};
    const opened_file file = open_recording(data_path, data_path, data_identity, reading);
    // Analysed while it is read, so that memory does not grow with the recording.
    stream_analysis stream(request_of(config), config.data_file_name, data_path, threads);
    read_into(file.get(), data_path, stream, reading);
    try {
        spectrum_result result = stream.finish();
        // The table has always named no input format.
        result.input = {};
        return {
            std::move(result), relative_to(base_directory, config.result_file_name), {data_identity, config_identity}};
    } catch (analysis_error& error) {
        // The settings are this file's: the messages say where to change them.
        error.settings_file = shown_name;
        throw;
    }
}

void run_config_mode(const std::string& config_path, const std::string& shown_name, const std::string& base_directory,
                     unsigned threads)
{
    const config_analysis run = analyse_config_file(config_path, shown_name, base_directory, threads);
    write_result_file(run.result_path, run.result_path, run.inputs,
                      [&](std::FILE* stream) { write_result(stream, run.result, result_format::table, true); });
}

}  // namespace veltrin
