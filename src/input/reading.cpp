// The input formats the program reads: one row per grammar.
#include "input/reading.hpp"

#include "input/tagged_grammar.hpp"

namespace {

constexpr input_format formats[] = {
    {"tagged", read_tagged_recording},
};

}  // namespace

std::span<const input_format> input_formats()
{
    return formats;
}

recording read_recording(std::FILE* file, const std::string& name, const reading_options& options)
{
    return formats[0].read(file, name, options);
}
