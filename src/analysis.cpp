// Reading a recording by name and computing the configuration mode's estimate.
#include "analysis.hpp"

#include <memory>

#include "analysis_error.hpp"

recording load_recording(const std::string& path, const std::string& shown_name, file_identity& identity)
{
    open_outcome outcome;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(open_for_reading(path, outcome), &std::fclose);
    if (outcome == open_outcome::missing)
        fail(error_kind::missing_file, shown_name,
             "\nThe file " + shown_name + " does not exist in the current directory.\n");
    if (outcome == open_outcome::unreadable)
        fail(error_kind::unreadable_file, shown_name, "\nThe file " + shown_name + " cannot be read.\n");
    identity = identity_of(file.get());
    return read_recording(file.get(), shown_name);
}

spectrum_result analyse(const recording& samples, const std::string& data_file, const section_settings& settings,
                        const std::string& shown_name, const std::string& advice)
{
    check_sectioning(settings, samples.v.size(), shown_name, advice);
    return {data_file, samples.sampling_frequency, samples.deltat, settings,
            estimate_spectra(settings, samples.deltat, samples.v, samples.i)};
}
