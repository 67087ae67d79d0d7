// The command line's usage lines and help, made from the settings table and
// the table of windows.
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "front_ends/options.hpp"
#include "model/settings.hpp"
#include "model/windows.hpp"

namespace veltrin {

namespace {

// Each {name} is the option of that long name as the messages write it.
constexpr std::string_view usage_template =
    "usage: veltrin {points} N [{sections} K] [{hanning} | {window} WINDOW {overlap} F {detrend} D {average} A]\n"
    "               [{confidence} P [{zn-interval} coherent]] [{coherence}] [{stats}]\n"
    "               [{band} F_LO:F_HI] [{slope-band} F_LO:F_HI] [{stern-geary} B [{area} A]]\n"
    "               [{electrodes} E] [{format} table|csv|json|jsonl] [{output} PATH]\n"
    "               [{block} DURATION | {block-points} M] [{spectra-dir} DIR]\n"
    "               [{input-format} F] [{v-column} C] [{i-column} C] [{fs} HZ] [...]\n"
    "               [{jobs} N] [{threads} N] [{quiet} | {progress}] DATA_FILE...\n"
    "       veltrin {config} CONFIG_FILE [{threads} N]\n";

constexpr std::string_view help_start =
    "veltrin estimates the power spectral densities of a voltage v and a current i\n"
    "and their ratio Zn = sqrt(PSD_v / PSD_i) from a recording: a tagged sample\n"
    "file, an instrument's delimited text, or raw binary.\n"
    "\n"
    "Without arguments it reads config_veltrin.txt in the current directory.\n"
    "\n"
    "Options:\n";

constexpr std::string_view help_end = "\n"
                                      "A data file - is standard input. Exit status: 0 success, 1 a data or result\n"
                                      "file failed, 2 a usage error (also options that do not fit a data file), 130\n"
                                      "(143) a run in blocks ended by SIGINT (SIGTERM): its table ends after the\n"
                                      "blocks done.\n";

constexpr std::string_view monitoring_heading =
    "\nMonitoring: consecutive blocks, one row of results each, written as each is\n"
    "complete (live from a pipe or FIFO); a last, unfinished block is not analysed:\n";

// The lines before a group's first setting, in the order of setting_group.
constexpr std::string_view headings[] = {
    "",
    "",
    "\nAny of these selects the standard estimate (scipy.signal.welch's definition):\n",
    "\nWith either estimate:\n",
    "\nBand quantities (any of these adds them):\n",
    "\nReading the data files:\n",
    monitoring_heading,
    "\n"};
static_assert(std::size(headings) == static_cast<std::size_t>(setting_group::running) + 1);

std::string_view heading(setting_group group)
{
    return headings[static_cast<std::size_t>(group)];
}

// The help's column where the text after the names starts.
constexpr std::size_t help_column = 22;

// The windows of their table, filled to 80 columns after the help's column.
std::string window_help()
{
    std::string text;
    std::size_t column = help_column;
    const std::size_t count = std::size(window_rows);
    for (std::size_t k = 0; k < count; ++k) {
        const window_row& row = window_rows[k];
        std::string item(row.name);
        if (k == 0) item += " (default)";
        if (!row.parameter.empty()) {
            const std::string parameter(row.parameter);
            item.append(":").append(parameter).append(" (").append(parameter).append(" ");
            item.append(parameter_range(row)).append(")");
        }
        item += k + 2 == count ? " or" : ",";
        if (column + 1 + item.size() > 80) {
            text += '\n';
            column = help_column;
        } else if (k > 0) {
            text += ' ';
            ++column;
        }
        text += item;
        column += item.size();
    }
    return text + "\nas scipy.signal.get_window names them";
}

// "  -n, --points N      points per section ...", continued lines indented to the column.
std::string help_lines(const setting_row& row)
{
    std::string names = "      --";
    if (row.short_name != '\0') {
        names[2] = '-';
        names[3] = row.short_name;
        names[4] = ',';
    }
    names += row.long_name;
    if (!row.value_name.empty()) {
        names += ' ';
        names += row.value_name;
    }
    if (names.size() < help_column) names.resize(help_column, ' ');
    std::string text = names;
    for (const char c : row.id == setting_id::window ? window_help() : std::string(row.help)) {
        text += c;
        if (c == '\n') text += std::string(help_column, ' ');
    }
    return text + "\n";
}

}  // namespace

std::string usage_text()
{
    std::string text;
    for (std::size_t at = 0; at < usage_template.size();) {
        const std::size_t open = usage_template.find('{', at);
        if (open == std::string_view::npos) {
            text += usage_template.substr(at);
            break;
        }
        const std::size_t close = usage_template.find('}', open);
        text += usage_template.substr(at, open - at);
        const std::string_view name = usage_template.substr(open + 1, close - open - 1);
        const auto row = std::find_if(settings_table().begin(), settings_table().end(),
                                      [&](const setting_row& r) { return r.long_name == name; });
        if (row == settings_table().end()) throw std::logic_error("no setting " + std::string(name));
        text += option_name(row->id);
        at = close + 1;
    }
    return text;
}

std::string help_text()
{
    std::string text(help_start);
    std::optional<setting_group> group;
    for (const setting_row& row : settings_table()) {
        if (row.group != group) text += heading(row.group);
        group = row.group;
        text += help_lines(row);
    }
    return text + std::string(help_end);
}

}  // namespace veltrin
