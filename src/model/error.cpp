// Raising the library's error and putting its message on one line.
#include "model/error.hpp"

#include <utility>

void fail(error_kind kind, std::string file, std::string line)
{
    throw analysis_error{kind, std::move(file), {std::move(line)}};
}

void fail(error_kind kind, std::string file, std::string first_line, std::string second_line)
{
    throw analysis_error{kind, std::move(file), {std::move(first_line), std::move(second_line)}};
}

void fail_unwritable(std::string file, int system_error)
{
    std::string line = "\nThe file " + file + " cannot be written.\n";
    throw analysis_error{error_kind::unwritable_file, std::move(file), {std::move(line)}, system_error};
}

std::string one_line_message(const analysis_error& error)
{
    std::string text;
    for (const std::string& line : error.lines) {
        std::size_t first = line.find_first_not_of('\n');
        std::size_t last = line.find_last_not_of('\n');
        if (first == std::string::npos) continue;
        if (!text.empty()) text += ' ';
        text.append(line, first, last - first + 1);
    }
    const std::string here = " in the current directory";
    if (const std::size_t at = text.find(here); at != std::string::npos) text.erase(at, here.size());
    return text;
}
