// The table, CSV and JSON writers.
#include "output/result_formats.hpp"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "model/printable_text.hpp"

namespace veltrin {

void append_field(std::string& text, double value)
{
    // printf's "%14.6e": to_chars writes the same characters, several times
    // faster. A not-a-number is "nan" whatever its sign, where the C library
    // would write "-nan".
    char number[32] = "nan";
    std::size_t length = 3;
    if (!std::isnan(value))
        length = static_cast<std::size_t>(
            std::to_chars(number, number + sizeof number, value, std::chars_format::scientific, 6).ptr - number);
    text.append(length < 14 ? 14 - length : 0, ' ');
    text.append(number, length);
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

std::vector<std::pair<std::string, setting_value>> settings_of(const spectrum_result& result)
{
    const analysis_request& s = result.settings;
    std::vector<std::pair<std::string, setting_value>> entries;
    entries.emplace_back("estimate", std::string(s.standard ? "standard" : "configuration"));
    if (s.standard) {
        entries.emplace_back("window", window_text(s.window));
    } else {
        entries.emplace_back("hanning", std::int64_t{s.hanning});
    }
    entries.emplace_back("nb_section", s.nb_section);
    entries.emplace_back("nbpoint_section", std::int64_t{s.nbpoint_section});
    if (s.standard) {
        entries.emplace_back("noverlap", std::int64_t{noverlap_of(s)});
        entries.emplace_back("detrend", std::string(detrend_name(s.detrend)));
        entries.emplace_back("average", std::string(average_name(s.average)));
    }
    if (s.confidence) {
        entries.emplace_back("confidence", *s.confidence);
        entries.emplace_back("nu", result.nu);
        if (s.zn_interval != zn_interval_mode::independent)
            entries.emplace_back("zn_interval", std::string(zn_interval_name(s.zn_interval)));
    }
    if (s.coherence && s.nb_section == 1)
        entries.emplace_back("coherence_note", std::string("one section: the coherence is 1 by construction"));
    if (s.stern_geary) {
        entries.emplace_back("stern_geary", *s.stern_geary);
        entries.emplace_back("area", s.area.value_or(1.0));
        entries.emplace_back("shot_noise_cell", std::string(shot_noise_cell_name(s.electrodes)));
    }
    const input_description& in = result.input;
    if (!in.format.empty()) entries.emplace_back("input_format", in.format);
    if (!in.v_column.empty()) entries.emplace_back("v_column", in.v_column);
    if (!in.i_column.empty()) entries.emplace_back("i_column", in.i_column);
    if (in.v_scale) entries.emplace_back("v_scale", *in.v_scale);
    if (in.i_scale) entries.emplace_back("i_scale", *in.i_scale);
    if (!in.fs_source.empty()) entries.emplace_back("fs_source", in.fs_source);
    if (in.table) {
        if (*in.table == 0)
            entries.emplace_back("table", std::string("all"));
        else
            entries.emplace_back("table", *in.table);
    }
    if (in.dropped_last_row != 0) entries.emplace_back("dropped_last_row", std::int64_t{1});
    return entries;
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

}  // namespace

std::string printable(const std::string& name)
{
    std::string text;
    for (const char c : name) append_printable(text, c);
    return text;
}

std::string text_of(const setting_value& value)
{
    if (const auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
    if (const auto* real = std::get_if<double>(&value)) {
        std::string text;
        append_shortest(text, *real);
        return text;
    }
    return std::get<std::string>(value);
}

namespace {

// A column's heading in the table: the four of the configuration mode as it
// always wrote them, any other its name after a tab, right-aligned in 14.
std::string table_heading(const std::string& name)
{
    static const std::pair<std::string_view, std::string_view> historical[] = {{"frequency", "    frequency"},
                                                                               {"psd_v", "        PSD_v"},
                                                                               {"psd_i", "           PSD_i"},
                                                                               {"zn", "            Zn"}};
    for (const auto& [column, heading] : historical)
        if (name == column) return std::string(heading);
    char heading[64];
    std::snprintf(heading, sizeof heading, "\t%14s", name.c_str());
    return heading;
}

// The rows of the columns, each value after the separator but the first;
// written out as the text grows.
void write_rows(std::FILE* stream, std::string& text, const spectrum_result& result, char separator,
                void (*append)(std::string&, double))
{
    const std::size_t rows = result.columns.front().values.size();
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t c = 0; c < result.columns.size(); ++c) {
            if (c > 0) text += separator;
            append(text, result.columns[c].values[row]);
        }
        text += '\n';
        flush(stream, text, false);
    }
}

// The statistics and then the band quantities, a line each after the prefix.
void append_quantities(std::string& text, const std::string& prefix, const spectrum_result& result)
{
    for (const auto& [key, value] : result.statistics) {
        text += prefix + key + " = ";
        append_shortest(text, value);
        text += '\n';
    }
    for (const auto& [key, value] : result.band) text += prefix + key + " = " + text_of(value) + "\n";
}

void write_table(std::FILE* stream, const spectrum_result& result, bool name_as_configured)
{
    const analysis_request& s = result.settings;
    const std::string name = name_as_configured ? result.data_file : printable(result.data_file);
    if (s.standard) {
        std::fprintf(stream,
                     "data file = %s    window = %s    nb_section = %lld     nbpoint_section = %d     noverlap = %d"
                     "    detrend = %s    average = %s\n",
                     name.c_str(), window_text(s.window).c_str(), static_cast<long long>(s.nb_section),
                     s.nbpoint_section, noverlap_of(s), detrend_name(s.detrend), average_name(s.average));
    } else {
        std::fprintf(stream, "data file = %s    hanning = %d    nb_section = %lld     nbpoint_section = %d\n",
                     name.c_str(), s.hanning, static_cast<long long>(s.nb_section), s.nbpoint_section);
    }
    std::string text;
    for (const result_column& column : result.columns) text += table_heading(column.name);
    text += '\n';
    write_rows(stream, text, result, '\t', append_field);
    // Statistics and band quantities after a blank line, so that readers of the rows stop before them.
    if (!result.statistics.empty() || !result.band.empty()) text += '\n';
    append_quantities(text, "", result);
    // The table has no settings lines: the shot-noise cell follows q and fn.
    if (s.stern_geary && !result.band.empty())
        text += std::string("shot_noise_cell = ") + shot_noise_cell_name(s.electrodes) + "\n";
    flush(stream, text, true);
}

void write_csv(std::FILE* stream, const spectrum_result& result)
{
    std::string text;
    for (const result_column& column : result.columns) text += (text.empty() ? "" : ",") + column.name;
    text += '\n';
    write_rows(stream, text, result, ',', append_shortest);
    // After the rows, so that a reader taking the first line as the header still works.
    text += "# data_file = " + printable(result.data_file) + "\n# sampling_frequency = ";
    append_shortest(text, result.sampling_frequency);
    text += '\n';
    for (const auto& [key, value] : settings_of(result)) text += "# " + key + " = " + printable(text_of(value)) + "\n";
    append_quantities(text, "# ", result);
    flush(stream, text, true);
}

void write_json(std::FILE* stream, const spectrum_result& result)
{
    nlohmann::ordered_json document;
    document["data_file"] = result.data_file;
    document["sampling_frequency"] = result.sampling_frequency;
    nlohmann::ordered_json settings = nlohmann::ordered_json::object();
    for (const auto& [key, value] : settings_of(result))
        std::visit([&, name = key](const auto& v) { settings[name] = v; }, value);
    document["settings"] = settings;
    // Non-finite numbers have no JSON form; the library writes them as null.
    nlohmann::ordered_json columns = nlohmann::ordered_json::object();
    for (const result_column& column : result.columns) columns[column.name] = column.values;
    document["columns"] = columns;
    if (!result.statistics.empty()) {
        nlohmann::ordered_json statistics = nlohmann::ordered_json::object();
        for (const auto& [key, value] : result.statistics) statistics[key] = value;
        document["statistics"] = statistics;
    }
    if (!result.band.empty()) {
        nlohmann::ordered_json band = nlohmann::ordered_json::object();
        for (const auto& [key, value] : result.band)
            std::visit([&, name = key](const auto& v) { band[name] = v; }, value);
        document["band"] = band;
    }
    // A file name that is not UTF-8 gets U+FFFD for its stray bytes.
    std::string text = document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

void write_result(std::FILE* stream, const spectrum_result& result, result_format format, bool name_as_configured)
{
    switch (format) {
    case result_format::table:
        write_table(stream, result, name_as_configured);
        break;
    case result_format::csv:
        write_csv(stream, result);
        break;
    case result_format::json:
    case result_format::jsonl:
        write_json(stream, result);
        break;
    }
}

}  // namespace veltrin
