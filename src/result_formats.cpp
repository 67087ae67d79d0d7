// The table, CSV and JSON writers.
#include "result_formats.hpp"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

void append_field(std::string& text, double value)
{
    char field[64];
    // The C library writes "-nan" for a negative not-a-number; the table never does.
    const int length = std::isnan(value) ? std::snprintf(field, sizeof field, "%14s", "nan")
                                         : std::snprintf(field, sizeof field, "%14.6e", value);
    text.append(field, static_cast<std::size_t>(length));
}

void append_shortest(std::string& text, double value)
{
    if (std::isnan(value)) {
        text += "nan";
        return;
    }
    if (std::isinf(value)) {
        text += value > 0 ? "inf" : "-inf";
        return;
    }
    char number[64];
    const auto result = std::to_chars(number, number + sizeof number, value);
    text.append(number, result.ptr);
}

result_columns columns_of(const spectrum_result& result)
{
    const float fN = static_cast<float>(1.0 / (static_cast<double>(result.deltat) + result.deltat));
    const std::size_t half = static_cast<std::size_t>(result.settings.nbpoint_section) / 2;
    const double bin_width = static_cast<double>(fN) / static_cast<double>(half);
    result_columns columns;
    for (std::size_t k = 1; k <= half; ++k) {
        const double v = result.densities.psd_v[k];
        const double i = result.densities.psd_i[k];
        columns.frequency.push_back(bin_width * static_cast<double>(k));
        columns.psd_v.push_back(v);
        columns.psd_i.push_back(i);
        columns.zn.push_back(std::sqrt(v / i));
    }
    return columns;
}

namespace {

// Text goes out in blocks of about this size, not line by line.
constexpr std::size_t flush_size = 65536;

void flush(std::FILE* stream, std::string& text, bool always)
{
    if (!always && text.size() < flush_size) return;
    std::fwrite(text.data(), 1, text.size(), stream);
    text.clear();
}

// A name on a "#" line: control characters (a line feed would end the
// comment) are written as \xHH.
std::string printable(const std::string& name)
{
    std::string text;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

void write_table(std::FILE* stream, const spectrum_result& result)
{
    const section_settings& s = result.settings;
    std::fprintf(stream, "data file = %s    hanning = %d    nb_section = %d     nbpoint_section = %d\n",
                 result.data_file.c_str(), s.hanning, s.nb_section, s.nbpoint_section);
    std::fputs("    frequency        PSD_v           PSD_i            Zn\n", stream);
    const result_columns columns = columns_of(result);
    std::string text;
    for (std::size_t row = 0; row < columns.frequency.size(); ++row) {
        append_field(text, columns.frequency[row]);
        text += '\t';
        append_field(text, columns.psd_v[row]);
        text += '\t';
        append_field(text, columns.psd_i[row]);
        text += '\t';
        append_field(text, columns.zn[row]);
        text += '\n';
        flush(stream, text, false);
    }
    flush(stream, text, true);
}

void write_csv(std::FILE* stream, const spectrum_result& result)
{
    const result_columns columns = columns_of(result);
    std::string text = "frequency,psd_v,psd_i,zn\n";
    for (std::size_t row = 0; row < columns.frequency.size(); ++row) {
        append_shortest(text, columns.frequency[row]);
        text += ',';
        append_shortest(text, columns.psd_v[row]);
        text += ',';
        append_shortest(text, columns.psd_i[row]);
        text += ',';
        append_shortest(text, columns.zn[row]);
        text += '\n';
        flush(stream, text, false);
    }
    // After the rows, so that a reader taking the first line as the header still works.
    text += "# data_file = " + printable(result.data_file) + "\n# sampling_frequency = ";
    append_shortest(text, result.sampling_frequency);
    text += "\n# hanning = " + std::to_string(result.settings.hanning) +
            "\n# nb_section = " + std::to_string(result.settings.nb_section) +
            "\n# nbpoint_section = " + std::to_string(result.settings.nbpoint_section) + "\n";
    flush(stream, text, true);
}

void write_json(std::FILE* stream, const spectrum_result& result)
{
    const result_columns columns = columns_of(result);
    nlohmann::ordered_json document;
    document["data_file"] = result.data_file;
    document["sampling_frequency"] = result.sampling_frequency;
    document["settings"] = {{"hanning", result.settings.hanning},
                            {"nb_section", result.settings.nb_section},
                            {"nbpoint_section", result.settings.nbpoint_section}};
    // Non-finite numbers have no JSON form; the library writes them as null.
    document["columns"] = {{"frequency", columns.frequency},
                           {"psd_v", columns.psd_v},
                           {"psd_i", columns.psd_i},
                           {"zn", columns.zn}};
    // A file name that is not UTF-8 gets U+FFFD for its stray bytes.
    std::string text = document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

void write_result(std::FILE* stream, const spectrum_result& result, result_format format)
{
    switch (format) {
    case result_format::table: write_table(stream, result); break;
    case result_format::csv: write_csv(stream, result); break;
    case result_format::json: write_json(stream, result); break;
    }
}
