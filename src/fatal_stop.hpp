// The program's one failure path.
#pragma once

#include <string>
#include <vector>

// Carries the message lines from the stage that failed up to main, which
// prints them, asks for a key and ends the process. Tests catch it instead.
struct fatal_stop_signal {
    std::vector<std::string> lines;
};

[[noreturn]] void fatal_stop(std::string line);
[[noreturn]] void fatal_stop(std::string first_line, std::string second_line);

// What main does with a fatal stop: the lines, the prompt, one character read
// from standard input (end of input ends the wait too).
void show_fatal_stop(const fatal_stop_signal& stop);

inline const char* const not_enough_memory_message = "\nFatal error: not enough memory.\n";
