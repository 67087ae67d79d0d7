// Formatting and writing the result table.
#include "result_table.hpp"

#include <cmath>
#include <cstdio>
#include <cstddef>

#include "fatal_stop.hpp"
#include "file_io.hpp"
#include "sample_input.hpp"

void append_field(std::string& text, double value)
{
    char field[64];
    // The C library writes "-nan" for a negative not-a-number; the table never does.
    const int length = std::isnan(value) ? std::snprintf(field, sizeof field, "%14s", "nan")
                                         : std::snprintf(field, sizeof field, "%14.6e", value);
    text.append(field, static_cast<std::size_t>(length));
}

namespace {

// Writes the header and the rows for bins 1 ... nbpoint_section / 2 to stream.
void write_table_rows(std::FILE* stream, const run_config& config, const std::vector<float>& psd_v,
                      const std::vector<float>& psd_i)
{
    std::fprintf(stream, "data file = %s    hanning = %d    nb_section = %d     nbpoint_section = %d\n",
                 config.data_file_name.c_str(), config.hanning, config.nb_section, config.nbpoint_section);
    std::fputs("    frequency        PSD_v           PSD_i            Zn\n", stream);

    const float fN = static_cast<float>(1.0 / (static_cast<double>(deltat) + deltat));
    const std::size_t half = static_cast<std::size_t>(config.nbpoint_section) / 2;
    const double bin_width = static_cast<double>(fN) / static_cast<double>(half);
    std::string text;
    for (std::size_t k = 1; k <= half; ++k) {
        append_field(text, bin_width * static_cast<double>(k));
        text += '\t';
        append_field(text, psd_v[k]);
        text += '\t';
        append_field(text, psd_i[k]);
        text += '\t';
        append_field(text, std::sqrt(static_cast<double>(psd_v[k]) / psd_i[k]));
        text += '\n';
        if (text.size() >= 65536 || k == half) {
            std::fwrite(text.data(), 1, text.size(), stream);
            text.clear();
        }
    }
}

}  // namespace

void write_table(const run_config& config, const std::vector<float>& psd_v, const std::vector<float>& psd_i)
{
    pending_file file;
    bool written = begin_replacing(config.result_file_name, file);
    if (written) {
        write_table_rows(file.stream, config, psd_v, psd_i);
        written = finish_replacing(file);
    }
    if (!written)
        fatal_stop("\nThe file " + config.result_file_name + " cannot be written.\n");
}
