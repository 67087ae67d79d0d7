// The result file's replacement and UTF-8 names with Windows semantics (run under Wine).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <windows.h>

#include "front_ends/configuration_mode.hpp"
#include "platform/platform.hpp"
#include "test_files.hpp"
#include "output/result_file.hpp"

using namespace veltrin;

namespace {

std::string write(const std::string& name, std::vector<file_identity> inputs = {}, bool fail_midway = false)
{
    try {
        write_result_file(name, "shown", inputs, [&](std::FILE* stream) {
            std::fputs("new table\n", stream);
            if (fail_midway) throw analysis_error{error_kind::out_of_memory, ""};
        });
    } catch (const analysis_error& error) {
        return configuration_mode_lines(error).at(0);
    }
    return "";
}

std::size_t entries(const std::string& dir)
{
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) count += entry.exists() ? 1 : 0;
    return count;
}

const std::string cannot = "\nThe file shown cannot be written.\n";

TEST(windows_result_file, replaces_an_earlier_result_with_lf_line_ends)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/r.txt", "old\r\n");
    EXPECT_EQ(write(dir + "/r.txt"), "");
    EXPECT_EQ(read_file(dir + "/r.txt"), "new table\n");
    EXPECT_EQ(entries(dir), 1u);
}

TEST(windows_result_file, keeps_an_earlier_result_when_the_write_fails)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/r.txt", "old\n");
    EXPECT_EQ(write(dir + "/r.txt", {}, true), "\nFatal error: not enough memory.\n");
    EXPECT_EQ(read_file(dir + "/r.txt"), "old\n");
    EXPECT_EQ(entries(dir), 1u);  // no temporary file left
    EXPECT_EQ(write(dir + "/missing/r.txt"), cannot);
    EXPECT_EQ(write(dir), cannot);
}

TEST(windows_result_file, a_read_only_result_cannot_be_written)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/r.txt", "old\n");
    SetFileAttributesA((dir + "/r.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(write(dir + "/r.txt"), cannot);
    SetFileAttributesA((dir + "/r.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(read_file(dir + "/r.txt"), "old\n");
    EXPECT_EQ(entries(dir), 1u);
}

TEST(windows_result_file, never_overwrites_an_input)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/data.xml", "recording\n");
    const std::vector<file_identity> inputs = {identity_of(dir + "/data.xml")};
    EXPECT_EQ(write(dir + "/./data.xml", inputs), "\nThe file shown cannot be written: it is an input of this run.\n");
    EXPECT_EQ(read_file(dir + "/data.xml"), "recording\n");
    EXPECT_EQ(write(dir + "/other.txt", inputs), "");
}

TEST(windows_files, utf8_names_are_opened_and_told_apart)
{
    const std::string dir = make_scratch_directory();
    const std::string name = dir + "/donn\xC3\xA9"
                                   "es_\xCE\xA9.xml";  // données_Ω.xml
    EXPECT_EQ(write(name), "");
    open_outcome outcome;
    std::FILE* file = open_for_reading(name, outcome);
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_EQ(outcome, open_outcome::opened);
    EXPECT_EQ(open_for_reading(dir + "/absent.xml", outcome), nullptr);
    EXPECT_EQ(outcome, open_outcome::missing);
    EXPECT_EQ(open_for_reading(dir, outcome), nullptr);
    EXPECT_EQ(outcome, open_outcome::unreadable);
    EXPECT_EQ(relative_to("C:\\lab", "r.xml"), "C:\\lab/r.xml");
    EXPECT_EQ(relative_to("lab", "D:\\r.xml"), "D:\\r.xml");
    EXPECT_EQ(directory_of("C:\\lab\\r.xml"), "C:\\lab");
}

}  // namespace
