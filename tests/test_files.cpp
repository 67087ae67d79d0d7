// Helpers shared by the tests.
#include "test_files.hpp"

#include <map>
#include <memory>
#include <mutex>

#include "platform/worker_team.hpp"

#include <cstdlib>
#include <filesystem>
#include <vector>
#include <fstream>
#include <sstream>
#include <random>
#include <stdexcept>
#ifndef _WIN32
#include <sys/wait.h>
#endif

using namespace veltrin;

namespace {

// Removes every scratch directory when the test program ends.
struct scratch_registry {
    std::vector<std::string> paths;
    ~scratch_registry()
    {
        std::error_code ignored;
        for (const std::string& path : paths) std::filesystem::remove_all(path, ignored);
    }
};

scratch_registry scratch_directories;

}  // namespace

std::string make_scratch_directory()
{
#ifdef _WIN32
    static std::mt19937_64 names(std::random_device{}());
    std::string pattern;
    do {
        pattern = (std::filesystem::temp_directory_path() / ("veltrin_test_" + std::to_string(names()))).string();
    } while (!std::filesystem::create_directory(pattern));
#else
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/veltrin_test_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
#endif
    scratch_directories.paths.push_back(pattern);
    return pattern;
}

void write_file(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool file_exists(const std::string& path)
{
    return std::ifstream(path).good();
}

#ifndef _WIN32
std::string program_under_test()
{
    const char* other = std::getenv("VELTRIN_TEST_EXE");
    return other != nullptr && *other != '\0' ? other : VELTRIN_EXE;
}

run_outcome run_program(const std::string& directory, const std::string& setup)
{
    const std::string command =
        "cd '" + directory + "' && " + setup + " '" + program_under_test() + "' </dev/null 2>&1";
    run_outcome outcome;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("popen failed");
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, pipe)) > 0) outcome.console.append(block, got);
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

command_outcome run_command(const std::string& directory, const std::string& arguments, const std::string& stdin_file,
                            const std::string& prefix)
{
    const std::string out = make_scratch_directory();
    const std::string command = "cd " + quoted(directory) + " && " + prefix + " '" + program_under_test() + "' " +
                                arguments + " <" + quoted(stdin_file) + " >" + out + "/out 2>" + out + "/err";
    const int status = std::system(command.c_str());
    command_outcome outcome{read_file(out + "/out"), read_file(out + "/err"), -1};
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

#endif

std::FILE* stream_of(const std::string& content, bool sequential)
{
#ifdef _WIN32
    (void)sequential;
    // Windows' tmpfile() writes in the root directory; a scratch file deletes itself on close.
    static int serial = 0;
    const std::string name = make_scratch_directory() + "/stream" + std::to_string(serial++);
    std::FILE* file = std::fopen(name.c_str(), "w+bD");
#else
    if (sequential && !content.empty()) return fmemopen(const_cast<char*>(content.data()), content.size(), "rb");
    std::FILE* file = std::tmpfile();
#endif
    if (file == nullptr) throw std::runtime_error("tmpfile failed");
    std::fwrite(content.data(), 1, content.size(), file);
    std::rewind(file);
    return file;
}

std::string fatal_console(const std::string& lines)
{
    return lines + "Press any key to exit\n";
}

worker_team& team_of(unsigned threads)
{
    static std::map<unsigned, std::unique_ptr<worker_team>> teams;
    static std::mutex lock;
    const std::lock_guard<std::mutex> hold(lock);
    std::unique_ptr<worker_team>& team = teams[threads];
    if (!team) team = std::make_unique<worker_team>(threads);
    return *team;
}
