// The result file's replacement: what it keeps, what it never touches, what it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "front_ends/configuration_mode.hpp"
#include "platform/large_arrays.hpp"
#include "platform/platform.hpp"
#include "test_files.hpp"
#include "output/result_file.hpp"

using namespace veltrin;

namespace {

// Writes "new table\n" to name; the message on failure, "" on success.
std::string write(const std::string& name, bool allow_unnamed = true, std::vector<file_identity> inputs = {})
{
    try {
        write_result_file(
            name, "shown", inputs, [](std::FILE* stream) { std::fputs("new table\n", stream); }, allow_unnamed);
    } catch (const analysis_error& error) {
        return configuration_mode_lines(error).at(0);
    }
    return "";
}

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class result_file : public testing::TestWithParam<bool> {};

TEST_P(result_file, replaces_a_regular_file_and_keeps_its_permission_bits)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/r.txt", "old\n");
    chmod((dir + "/r.txt").c_str(), 0640);
    EXPECT_EQ(write(dir + "/r.txt", GetParam()), "");
    EXPECT_EQ(read_file(dir + "/r.txt"), "new table\n");
    struct stat status {};
    stat((dir + "/r.txt").c_str(), &status);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(dir), std::vector<std::string>{"r.txt"});
}

TEST_P(result_file, writes_through_a_link_and_keeps_the_link)
{
    const std::string dir = make_scratch_directory();
    mkdir((dir + "/sub").c_str(), 0755);
    write_file(dir + "/sub/target.txt", "old\n");
    symlink("sub/target.txt", (dir + "/link.txt").c_str());
    symlink("sub/new.txt", (dir + "/dangling.txt").c_str());
    EXPECT_EQ(write(dir + "/link.txt", GetParam()), "");
    EXPECT_EQ(write(dir + "/dangling.txt", GetParam()), "");
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/dangling.txt"));
    EXPECT_EQ(read_file(dir + "/sub/target.txt"), "new table\n");
    EXPECT_EQ(read_file(dir + "/sub/new.txt"), "new table\n");
    EXPECT_EQ(entries(dir + "/sub"), (std::vector<std::string>{"new.txt", "target.txt"}));
}

TEST_P(result_file, never_goes_through_a_file_or_link_at_a_temporary_name)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/victim.txt", "victim\n");
    // Every name this process could pick for its first temporary files.
    for (int attempt = 0; attempt < 3; ++attempt)
        symlink("victim.txt", (dir + "/.veltrin-" + std::to_string(getpid()) + "-" + std::to_string(attempt)).c_str());
    write_file(dir + "/r.txt", "old\n");
    EXPECT_EQ(write(dir + "/r.txt", GetParam()), "");
    EXPECT_EQ(read_file(dir + "/victim.txt"), "victim\n");
    EXPECT_EQ(read_file(dir + "/r.txt"), "new table\n");
    EXPECT_EQ(entries(dir).size(), 5u);  // the three links, the victim and the result
}

TEST_P(result_file, accepts_the_longest_legal_name)
{
    const std::string dir = make_scratch_directory();
    const std::string name = dir + "/" + std::string(255, 'r');
    write_file(name, "old\n");
    EXPECT_EQ(write(name, GetParam()), "");
    EXPECT_EQ(read_file(name), "new table\n");
}

TEST_P(result_file, refuses_an_input_and_leaves_it_alone)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/data.xml", "recording\n");
    symlink("data.xml", (dir + "/link.xml").c_str());
    const std::vector<file_identity> inputs = {identity_of(dir + "/data.xml")};
    const std::string input_message = "\nThe file shown cannot be written: it is an input of this run.\n";
    EXPECT_EQ(write(dir + "/data.xml", GetParam(), inputs), input_message);
    EXPECT_EQ(write(dir + "/./link.xml", GetParam(), inputs), input_message);
    EXPECT_EQ(read_file(dir + "/data.xml"), "recording\n");
    EXPECT_EQ(write(dir + "/other.txt", GetParam(), inputs), "");
}

// Device nodes of the test's own, so that a broken build can never replace the machine's.
TEST_P(result_file, a_device_is_written_into_and_a_full_one_reported)
{
    const std::string dir = make_scratch_directory();
    const std::string full = dir + "/full";
    const std::string null = dir + "/null";
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0 ||
        mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 || !std::ofstream(null))
        GTEST_SKIP() << "device nodes cannot be made or opened here";
    EXPECT_EQ(write(full, GetParam()), "\nThe file shown cannot be written.\n");
    EXPECT_EQ(write(null, GetParam()), "");
    for (const std::string& device : {full, null}) {
        struct stat status {};
        ASSERT_EQ(stat(device.c_str(), &status), 0);
        EXPECT_TRUE(S_ISCHR(status.st_mode)) << device;
    }
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"full", "null"}));
}

TEST_P(result_file, failures_leave_the_old_file_and_nothing_else)
{
    const std::string dir = make_scratch_directory();
    const std::string cannot = "\nThe file shown cannot be written.\n";
    mkdir((dir + "/sub").c_str(), 0755);
    EXPECT_EQ(write(dir + "/sub", GetParam()), cannot);
    EXPECT_EQ(write(dir + "/missing/r.txt", GetParam()), cannot);
    // A FIFO is written into, never replaced.
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
    std::string from_fifo;
    std::thread reader([&] { from_fifo = read_file(dir + "/fifo"); });
    EXPECT_EQ(write(dir + "/fifo", GetParam()), "");
    reader.join();
    EXPECT_EQ(from_fifo, "new table\n");
    struct stat status {};
    ASSERT_EQ(stat((dir + "/fifo").c_str(), &status), 0);
    EXPECT_TRUE(S_ISFIFO(status.st_mode));
    std::filesystem::remove(dir + "/fifo");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"sub"});
    if (geteuid() != 0) {
        write_file(dir + "/sub/r.txt", "old\n");
        chmod((dir + "/sub/r.txt").c_str(), 0444);
        EXPECT_EQ(write(dir + "/sub/r.txt", GetParam()), cannot);
        chmod((dir + "/sub/r.txt").c_str(), 0644);
        chmod((dir + "/sub").c_str(), 0555);
        EXPECT_EQ(write(dir + "/sub/r.txt", GetParam()), cannot);
        chmod((dir + "/sub").c_str(), 0755);
        EXPECT_EQ(read_file(dir + "/sub/r.txt"), "old\n");
    }
}

TEST_P(result_file, a_write_stopped_midway_leaves_nothing)
{
    const std::string dir = make_scratch_directory();
    const auto stopped = [](std::FILE* stream) {
        std::fputs("half a table", stream);
        throw std::runtime_error("stopped");
    };
    EXPECT_THROW(replace_file(dir + "/r.txt", {}, stopped, GetParam()), std::runtime_error);
    EXPECT_EQ(entries(dir), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(unnamed_and_named, result_file, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "unnamed" : "named"; });

// What the executable's signal handlers call while a result is written
// removes its temporary file (an unnamed one has no name to remove).
TEST(temporary_file, is_removed_by_what_a_signal_handler_calls)
{
    const std::string dir = make_scratch_directory();
    std::vector<std::string> before, after;
    const auto interrupted = [&](std::FILE*) {
        before = entries(dir);
        remove_temporary_files();
        after = entries(dir);
    };
    EXPECT_THROW(replace_file(dir + "/r.txt", {}, interrupted, false), file_write_failure);
    EXPECT_EQ(before.size(), 1u);
    EXPECT_EQ(after, std::vector<std::string>{});
}

TEST(paths, directory_and_joining)
{
    EXPECT_EQ(directory_of("a/b/c.txt"), "a/b");
    EXPECT_EQ(directory_of("c.txt"), "");
    EXPECT_EQ(directory_of("/c.txt"), "/");
    EXPECT_EQ(relative_to("a/b", "c.txt"), "a/b/c.txt");
    EXPECT_EQ(relative_to("a/b", "/c.txt"), "/c.txt");
    EXPECT_EQ(relative_to("", "c.txt"), "c.txt");
    EXPECT_EQ(relative_to("/", "c.txt"), "/c.txt");
}

// Every byte usable; from 2 MiB on, a 2 MiB boundary. Each is released as
// it was taken, which the sanitizer build checks. Impossible sizes throw.
TEST(large_allocation, is_usable_aligned_and_released_alike)
{
    constexpr std::size_t page = std::size_t{2} << 20;
    for (const std::size_t bytes : {std::size_t{1}, page - 1, page, page + 1, 9 * page + 5}) {
        auto* const p = static_cast<char*>(allocate_large(bytes));
        p[0] = 1;
        p[bytes - 1] = 2;
        if (bytes >= page) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % page, 0u) << bytes;
        }
        release_large(p, bytes);
    }
    EXPECT_THROW(allocate_large(std::size_t(-1) - 5), std::bad_alloc);
    EXPECT_THROW(uninitialized_allocator<float>().allocate(std::size_t(-1) / 2), std::bad_alloc);
}

}  // namespace
