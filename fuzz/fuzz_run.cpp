// The whole run in-process on a sample file made of the fuzzer's bytes. The
// first three bytes choose hanning, nb_section and nbpoint_section.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "analysis/configuration_run.hpp"
#include "front_ends/configuration_mode.hpp"
#include "input/reading.hpp"
#include "reading_outcome.hpp"

using namespace veltrin;

namespace {

const char* const known_messages[] = {
    "\nThe file config_veltrin.txt does not exist in the current directory.\n",
    "\nThe structure of the input data file is unknown.\n",
    "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n",
    "\nFatal error: the sampling frequency must be a number from 1e-37 to 1e37.\n",
    "\nFatal error: the value on line ",
    "\nFatal error: line ",
    "\nFatal error: lines ",
    "\nFatal error: the number of data points is too low. Decrease\n",
    "the number of sections in the file config_veltrin.txt.\n",
    "\nFatal error: the number of points per section is not a power of 2.\n",
    "\nFatal error: the number of sections must be at least 1.\n",
};

void write_bytes(const char* name, const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();
}

std::size_t count_lines(const char* name)
{
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return 0;
    std::size_t lines = 0;
    for (int c; (c = std::fgetc(file)) != EOF;) lines += c == '\n';
    std::fclose(file);
    return lines;
}

// The run reads its files from the current directory; it runs in a scratch
// directory and the fuzzer's own paths stay relative to where it started.
std::string scratch_directory;
std::string start_directory;

int run_one(const std::uint8_t* data, std::size_t size);

void remove_scratch_directory()
{
    for (const char* name : {"config_veltrin.txt", "samples.txt", "result.txt"})
        std::remove((scratch_directory + "/" + name).c_str());
    rmdir(scratch_directory.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // tmpfs when there is one: the run creates and renames files every time.
    std::string directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    directory += "/veltrin_fuzz_XXXXXX";
    char* here = getcwd(nullptr, 0);
    if (mkdtemp(directory.data()) == nullptr || here == nullptr) std::abort();
    scratch_directory = directory;
    start_directory = here;
    std::free(here);
    std::atexit(remove_scratch_directory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    if (chdir(scratch_directory.c_str()) != 0) std::abort();
    const int result = run_one(data, size);
    if (chdir(start_directory.c_str()) != 0) std::abort();
    return result;
}

namespace {

// The reading outcome as text. Through a memory stream the reading is
// sequential; through the regular file samples.txt it takes the parallel
// path (blocks of block_size bytes).
std::string outcome_of(const std::uint8_t* data, std::size_t size, std::size_t held_limit, unsigned threads = 1,
                       std::size_t block_size = 0)
{
    std::FILE* file =
        block_size == 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb") : std::fopen("samples.txt", "rb");
    if (file == nullptr) return "no stream";
    reading_options options;
    options.held_limit = held_limit;
    options.threads = threads;
    if (block_size != 0) options.block_size = block_size;
    return reading_outcome(file, options);
}

void compare_held_and_summarized(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return;  // fmemopen needs at least one byte
    const std::string sequential = outcome_of(data, size, default_held_limit);
    if (sequential != outcome_of(data, size, 7)) std::abort();
    // Small blocks and runs: their boundaries fall everywhere.
    if (sequential != outcome_of(data, size, default_held_limit, 3, 23)) std::abort();
    if (sequential != outcome_of(data, size, 7, 2, 64)) std::abort();
}

int run_one(const std::uint8_t* data, std::size_t size)
{
    static const int section_points[] = {2, 4, 8, 16, 32, 64, 1, 0, 3, 6, 12, -8};
    const int hanning = data[0] % 3;  // 0, 1 and 2: only 1 windows
    const int nb_section = data[1] % 9;
    const int nbpoint_section = section_points[data[2] % 12];
    const std::string config = "samples.txt " + std::to_string(hanning) + " " + std::to_string(nb_section) + " " +
                               std::to_string(nbpoint_section) + " result.txt\n";
    write_bytes("config_veltrin.txt", reinterpret_cast<const std::uint8_t*>(config.data()), config.size());
    write_bytes("samples.txt", data + 3, size - 3);
    std::remove("result.txt");

    // Lines held whole and lines summarized (a tiny limit), one thread or
    // several, must read the same.
    compare_held_and_summarized(data + 3, size - 3);

    try {
        run_config_mode("config_veltrin.txt", "config_veltrin.txt", "", 1);
    } catch (const analysis_error& stop) {
        for (const std::string& line : configuration_mode_lines(stop)) {
            bool known = false;
            for (const char* message : known_messages) known = known || line.starts_with(message);
            if (!known) std::abort();
        }
        if (access("result.txt", F_OK) == 0) std::abort();  // a failed run writes nothing
        return 0;
    }
    // A complete table: two header lines and one row per bin.
    if (count_lines("result.txt") != static_cast<std::size_t>(nbpoint_section / 2 + 2)) std::abort();
    return 0;
}

}  // namespace
