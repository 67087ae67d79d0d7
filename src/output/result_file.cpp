// The messages of a result file that cannot be written.
#include "output/result_file.hpp"

#include "model/error.hpp"

namespace veltrin {

std::string result_base_of(const std::string& data_file)
{
    const std::size_t slash = data_file.rfind('/');
    std::string base = slash == std::string::npos ? data_file : data_file.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    return base;
}

void write_result_file(const std::string& name, const std::string& shown_name, std::span<const file_identity> inputs,
                       const std::function<void(std::FILE*)>& content, bool allow_unnamed)
{
    try {
        replace_file(name, inputs, content, allow_unnamed);
    } catch (const file_write_failure& failure) {
        if (failure.is_input) {
            analysis_error error(error_kind::unwritable_file, shown_name);
            error.result_is_input = true;
            throw error;
        }
        fail_unwritable(shown_name, failure.system_error);
    }
}

}  // namespace veltrin
