// Entry point: the configuration mode with its prompt, or the command line.
#include <string>
#include <vector>

#include "front_ends/command_line.hpp"
#include "front_ends/configuration_mode.hpp"
#include "platform/platform.hpp"

int main(int argc, char** argv)
{
    use_binary_standard_streams();
    std::vector<std::string> arguments = utf8_arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const int count = static_cast<int>(arguments.size());
    if (wants_command_line(count, pointers.data())) return run_command_line(count, pointers.data());
    return run_configuration_mode(core_count());
}
