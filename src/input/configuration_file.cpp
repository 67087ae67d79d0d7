// Reading the configuration file: five white-space-separated fields.
#include "input/configuration_file.hpp"

#include <cstdio>

#include "model/error.hpp"
#include "platform/platform.hpp"

namespace veltrin {

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void skip_space(std::string_view text, std::size_t& at)
{
    while (at < text.size() && is_space(text[at])) ++at;
}

// A run of non-white-space characters, of any length.
bool scan_token(std::string_view text, std::size_t& at, std::string_view& token)
{
    skip_space(text, at);
    const std::size_t start = at;
    while (at < text.size() && !is_space(text[at])) ++at;
    token = text.substr(start, at - start);
    return at > start;
}

bool scan_name(std::string_view text, std::size_t& at, std::string& name)
{
    std::string_view token;
    if (!scan_token(text, at, token)) return false;
    // As a C string the name ends at a NUL; what follows it is never seen.
    name.assign(token.substr(0, token.find('\0')));
    return true;
}

// A whole token of an optional sign and decimal digits, within 32 bits.
bool scan_integer(std::string_view text, std::size_t& at, std::int32_t& value)
{
    std::string_view token;
    if (!scan_token(text, at, token)) return false;
    std::size_t k = 0;
    bool negative = false;
    if (token[k] == '+' || token[k] == '-') negative = token[k++] == '-';
    const std::size_t digits_start = k;
    const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
    std::int64_t magnitude = 0;
    for (; k < token.size() && token[k] >= '0' && token[k] <= '9'; ++k) {
        magnitude = magnitude * 10 + (token[k] - '0');
        if (magnitude > limit) return false;
    }
    if (k == digits_start || k != token.size()) return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

bool parse_run_config(std::string_view text, run_config& config)
{
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::size_t at = 0;
    return scan_name(text, at, config.data_file_name) && scan_integer(text, at, config.hanning) &&
           scan_integer(text, at, config.nb_section) && scan_integer(text, at, config.nbpoint_section) &&
           scan_name(text, at, config.result_file_name);
}

run_config read_run_config(const std::string& path, const std::string& shown_name)
{
    std::string text;
    open_outcome outcome;
    if (!read_whole_file(path, text, outcome))
        fail(outcome == open_outcome::missing ? error_kind::missing_file : error_kind::unreadable_file, shown_name);
    run_config config;
    if (!parse_run_config(text, config)) fail(error_kind::invalid_configuration, shown_name);
    return config;
}

analysis_request request_of(const run_config& config)
{
    analysis_request request;
    request.hanning = config.hanning;
    request.nb_section = config.nb_section;
    request.nbpoint_section = config.nbpoint_section;
    return request;
}

}  // namespace veltrin
