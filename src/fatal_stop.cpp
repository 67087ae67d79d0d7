// The fatal stop: raised by any stage, shown by main.
#include "fatal_stop.hpp"

#include <cstdio>
#include <utility>

void fatal_stop(std::string line)
{
    throw fatal_stop_signal{{std::move(line)}};
}

void fatal_stop(std::string first_line, std::string second_line)
{
    throw fatal_stop_signal{{std::move(first_line), std::move(second_line)}};
}

void show_fatal_stop(const fatal_stop_signal& stop)
{
    for (const std::string& line : stop.lines) std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputs("Press any key to exit\n", stdout);
    std::fflush(stdout);
    std::getchar();
}
