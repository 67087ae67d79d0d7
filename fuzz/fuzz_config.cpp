// The configuration reader on arbitrary bytes, checked against sscanf.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "input/configuration_file.hpp"

using namespace veltrin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    run_config config;
    const bool valid = parse_run_config(text, config);
    if (text.find('\0') != std::string::npos) return 0;  // sscanf would stop at the NUL
    if (text.starts_with("\xEF\xBB\xBF")) return 0;      // we skip a byte-order mark, sscanf does not

    std::vector<char> first(size + 1);
    std::vector<char> last(size + 1);
    int hanning = 0;
    int nb_section = 0;
    int nbpoint_section = 0;
    const int converted =
        std::sscanf(text.c_str(), "%s %d %d %d %s", first.data(), &hanning, &nb_section, &nbpoint_section, last.data());
    // Whatever we accept, the C library reads the same way.
    if (valid && (converted != 5 || config.data_file_name != first.data() || config.hanning != hanning ||
                  config.nb_section != nb_section || config.nbpoint_section != nbpoint_section ||
                  config.result_file_name != last.data()))
        std::abort();
    // Whatever the C library cannot read, we reject.
    if (converted < 5 && valid) std::abort();
    return 0;
}
