// Placeholder until the raw reader lands.
#include "input/raw_binary.hpp"

#include "model/error.hpp"

recording read_raw_binary(std::FILE*, const std::string& name, const reading_options&, const raw_layout&)
{
    fail(error_kind::input_options, name, "raw binary input is not read yet");
}
