// The number conversion on arbitrary bytes, checked against strtod on the text
// that the grammar accepts: the same double, bit for bit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input/number_text.hpp"

using namespace veltrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* first = reinterpret_cast<const char*>(data);
    const char* last = first + size;
    const double value = parse_number(first, last);

    const char* start = first;
    while (start != last && std::strchr(" \t\n\v\f\r", *start) != nullptr && *start != '\0') ++start;
    const std::size_t extent = number_extent(start, last);
    double expected = 0.0;
    if (extent > 0) {
        const std::string accepted(start, extent);
        char* end = nullptr;
        expected = std::strtod(accepted.c_str(), &end);
        if (end != accepted.c_str() + accepted.size()) std::abort();  // strtod must take all of it
    }
    if (std::memcmp(&value, &expected, sizeof value) != 0) std::abort();
    return 0;
}
