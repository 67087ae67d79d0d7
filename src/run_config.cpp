// Reading the configuration file with the semantics of "%s %d %d %d %s".
#include "run_config.hpp"

#include <cstdio>
#include <limits>

#include "fatal_stop.hpp"
#include "file_io.hpp"

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void skip_space(std::string_view text, std::size_t& at)
{
    while (at < text.size() && is_space(text[at])) ++at;
}

// %s: a run of non-white-space characters, of any length.
bool scan_token(std::string_view text, std::size_t& at, std::string& token)
{
    skip_space(text, at);
    const std::size_t start = at;
    while (at < text.size() && !is_space(text[at])) ++at;
    token.assign(text.substr(start, at - start));
    // As a C string the name ends at a NUL; what follows it is never seen.
    token.resize(token.find('\0') == std::string::npos ? token.size() : token.find('\0'));
    return at > start;
}

// %d: optional sign and decimal digits; the value must fit in 32 bits.
bool scan_integer(std::string_view text, std::size_t& at, std::int32_t& value)
{
    skip_space(text, at);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const std::size_t digits_start = at;
    const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
    std::int64_t magnitude = 0;
    bool in_range = true;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = magnitude * 10 + (text[at] - '0');
        if (magnitude > limit) {
            in_range = false;
            magnitude = limit + 1;  // keeps the running value small
        }
    }
    if (at == digits_start || !in_range) return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

bool parse_run_config(std::string_view text, run_config& config)
{
    std::size_t at = 0;
    return scan_token(text, at, config.data_file_name) && scan_integer(text, at, config.hanning) &&
           scan_integer(text, at, config.nb_section) && scan_integer(text, at, config.nbpoint_section) &&
           scan_token(text, at, config.result_file_name);
}

run_config read_run_config()
{
    std::string text;
    if (!read_whole_file(config_file_name, text))
        fatal_stop("\nThe file config_veltrin.txt does not exist in the current directory.\n");
    run_config config;
    if (!parse_run_config(text, config))
        fatal_stop(
            "\nThe file config_veltrin.txt is not valid: it must hold the data file name, hanning, "
            "nb_section, nbpoint_section and the result file name.\n");
    return config;
}
