// Entry point: the configuration mode with its prompt, or the command line.
#include <csignal>
#include <string>
#include <vector>

#include "front_ends/command_line.hpp"
#include "front_ends/configuration_mode.hpp"
#include "platform/platform.hpp"

using namespace veltrin;

namespace {

// A result is written under a temporary name until it is complete: a signal
// that ends the process must not leave that file behind.
extern "C" void remove_temporaries_and_die(int signal_number)
{
    remove_temporary_files();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void install_cleanup_handlers()
{
#ifdef SIGHUP
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
#else
    const int signals[] = {SIGINT, SIGTERM};
#endif
    for (const int signal_number : signals) {
        // A signal ignored by the caller (nohup) stays ignored.
        if (std::signal(signal_number, remove_temporaries_and_die) == SIG_IGN) std::signal(signal_number, SIG_IGN);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    install_cleanup_handlers();
    use_binary_standard_streams();
    std::vector<std::string> arguments = utf8_arguments(argc, argv);
    std::vector<char*> pointers;
    pointers.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const int count = static_cast<int>(arguments.size());
    if (wants_command_line(count, pointers.data())) return run_command_line(count, pointers.data());
    if (count > 1) report_ignored_arguments();
    return run_configuration_mode(core_count());
}
