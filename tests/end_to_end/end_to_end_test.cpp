// Runs of the real executable in scratch directories, stdin from /dev/null.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <utime.h>

#include "test_files.hpp"

namespace {

const std::string structure_unknown =
    "\nThe structure of the input data file is unknown.\n"
    "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n";
const std::string config_invalid =
    "\nThe file config_veltrin.txt is not valid: it must hold the data file name, hanning, nb_section, "
    "nbpoint_section and the result file name.\n";
const std::string bad_frequency = "\nFatal error: the sampling frequency must be a number from 1e-37 to 1e37.\n";
const std::string too_few_points = "\nFatal error: the number of data points is too low. Decrease\n"
                                   "the number of sections in the file config_veltrin.txt.\n";
const std::string not_power_of_two = "\nFatal error: the number of points per section is not a power of 2.\n";

std::string replace_all(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

// v alternates +1, -1 (all power at bin 4), i repeats 1, 1, -1, -1 (bin 2).
std::string small_sample_file(const std::string& frequency)
{
    const char* v[] = {"1", "-1", "1.", "-1", "1", "-1.0", "+1", "-1"};
    const char* i[] = {"1", "1", "-1", "-1", "1e0", "1", "-1", "-.1e1"};
    std::string text =
        "<?xml version=\"1.0\"?>\n<record>\n<sampling_frequency>" + frequency + "</sampling_frequency>\n<data>\n";
    for (int k = 0; k < 8; ++k) text += std::string("<v>") + v[k] + "</v><i>" + i[k] + "</i>\n";
    return text + "</data>\n</record>\n";
}

// Checked by hand: deltat = float(0.002); |X_4|^2 of v is 64 and |X_2|^2 of
// i is 32, so PSD_v[4] = 2 deltat/8 * 64 = 16 deltat = 0.032 and PSD_i[2] =
// 8 deltat = 0.016; fN = float(1 / (2 deltat)) is just under 250.
const std::string small_table = "data file = samples.txt    hanning = 0    nb_section = 1     nbpoint_section = 8\n"
                                "    frequency        PSD_v           PSD_i            Zn\n"
                                "  6.250000e+01\t  0.000000e+00\t  0.000000e+00\t           nan\n"
                                "  1.250000e+02\t  0.000000e+00\t  1.600000e-02\t  0.000000e+00\n"
                                "  1.875000e+02\t  0.000000e+00\t  0.000000e+00\t           nan\n"
                                "  2.500000e+02\t  3.200000e-02\t  0.000000e+00\t           inf\n";

struct run_case {
    const char* name;
    const char* config;  // nullptr: no configuration file
    std::string sample;  // written as samples.txt
    std::string console;
};

// The text as UTF-16 (little-endian, with its byte-order mark), as some editors save it.
std::string utf16_of(const std::string& text)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : text) bytes += std::string{c, '\0'};
    return bytes;
}

const run_case fatal_cases[] = {
    {"no_configuration", nullptr, small_sample_file("500"),
     "\nThe file config_veltrin.txt does not exist in the current directory.\n"},
    {"configuration_too_short", "samples.txt 0 1 8", small_sample_file("500"), config_invalid},
    {"configuration_empty", "", small_sample_file("500"), config_invalid},
    {"configuration_not_a_number", "samples.txt zero 1 8 result.txt", small_sample_file("500"), config_invalid},
    {"configuration_out_of_range", "samples.txt 0 1 2147483648 result.txt", small_sample_file("500"), config_invalid},
    {"missing_data_file", "absent.txt 0 1 8 result.txt", small_sample_file("500"),
     "\nThe file absent.txt does not exist in the current directory.\n"},
    {"directory_as_data_file", "sub 0 1 8 result.txt", small_sample_file("500"), "\nThe file sub cannot be read.\n"},
    {"data_file_without_permission", "locked.txt 0 1 8 result.txt", small_sample_file("500"),
     "\nThe file locked.txt cannot be read.\n"},
    {"dangling_link_as_data_file", "dangling.txt 0 1 8 result.txt", small_sample_file("500"),
     "\nThe file dangling.txt does not exist in the current directory.\n"},
    {"configuration_is_a_directory", "-", small_sample_file("500"), "\nThe file config_veltrin.txt cannot be read.\n"},
    {"number_with_a_point", "samples.txt 0 1 8.0 result.txt", small_sample_file("500"), config_invalid},
    {"name_glued_to_a_number", "samples.txt 0 1 8result.txt", small_sample_file("500"), config_invalid},
    {"result_is_the_configuration", "samples.txt 0 1 8 ./config_veltrin.txt", small_sample_file("500"),
     "\nThe file ./config_veltrin.txt cannot be written: it is an input of this run.\n"},
    {"result_is_a_link_to_the_data", "samples.txt 0 1 8 link.txt", small_sample_file("500"),
     "\nThe file link.txt cannot be written: it is an input of this run.\n"},
    {"result_is_a_hard_link_to_the_data", "samples.txt 0 1 8 hard.txt", small_sample_file("500"),
     "\nThe file hard.txt cannot be written: it is an input of this run.\n"},
    {"value_too_large", "samples.txt 0 1 8 result.txt",
     replace_all(small_sample_file("500"), "<v>-1.0</v>", "<v>-3.5e38</v>"),
     "\nFatal error: the value on line 6 of the data block is too large for single precision.\n"},
    {"value_too_large_after_a_frequency_out_of_range", "samples.txt 0 1 8 result.txt",
     replace_all(small_sample_file("0"), "<v>-1.0</v>", "<v>-3.5e38</v>"), bad_frequency},
    {"value_too_large_before_the_section_checks", "samples.txt 0 9 6 result.txt",
     replace_all(small_sample_file("500"), "<v>-1.0</v>", "<v>-3.5e38</v>"),
     "\nFatal error: the value on line 6 of the data block is too large for single precision.\n"},
    {"no_tags", "samples.txt 0 1 8 result.txt", "just some text\n1 2\n", structure_unknown},
    {"utf16_text", "samples.txt 0 1 8 result.txt", utf16_of(small_sample_file("500")), structure_unknown},
    {"no_data_tag", "samples.txt 0 1 8 result.txt", "<sampling_frequency>500\n<v>1</v><i>2</i>\n", structure_unknown},
    {"frequency_zero", "samples.txt 0 1 8 result.txt", small_sample_file("0"), bad_frequency},
    {"frequency_negative", "samples.txt 0 1 8 result.txt", small_sample_file("-500"), bad_frequency},
    {"frequency_missing", "samples.txt 0 1 8 result.txt", small_sample_file(""), bad_frequency},
    {"frequency_too_small", "samples.txt 0 1 8 result.txt", small_sample_file("1e-50"), bad_frequency},
    {"frequency_too_large", "samples.txt 0 1 8 result.txt", small_sample_file("1e50"), bad_frequency},
    {"frequency_overflows", "samples.txt 0 1 8 result.txt", small_sample_file("1e400"), bad_frequency},
    {"too_few_points", "samples.txt 0 2 8 result.txt", small_sample_file("500"), too_few_points},
    {"not_a_power_of_two", "samples.txt 0 1 6 result.txt", small_sample_file("500"), not_power_of_two},
    {"no_sections", "samples.txt 0 0 8 result.txt", small_sample_file("500"),
     "\nFatal error: the number of sections must be at least 1.\n"},
    {"result_is_a_directory", "samples.txt 0 1 8 sub", small_sample_file("500"), "\nThe file sub cannot be written.\n"},
    {"result_in_missing_directory", "samples.txt 0 1 8 missing/result.txt", small_sample_file("500"),
     "\nThe file missing/result.txt cannot be written.\n"},
};

void PrintTo(const run_case& c, std::ostream* os)
{
    *os << c.name;
}

class fatal_run : public testing::TestWithParam<run_case> {};

TEST_P(fatal_run, prints_the_message_and_prompt_and_leaves_the_result_alone)
{
    const run_case& c = GetParam();
    const std::string dir = make_scratch_directory();
    if (c.config != nullptr) write_file(dir + "/config_veltrin.txt", c.config);
    write_file(dir + "/samples.txt", c.sample);
    mkdir((dir + "/sub").c_str(), 0755);
    if (c.config != nullptr && std::string(c.config) == "-") {
        std::filesystem::remove(dir + "/config_veltrin.txt");
        mkdir((dir + "/config_veltrin.txt").c_str(), 0755);
    }
    write_file(dir + "/locked.txt", "");
    chmod((dir + "/locked.txt").c_str(), 0);
    symlink("absent.txt", (dir + "/dangling.txt").c_str());
    symlink("samples.txt", (dir + "/link.txt").c_str());
    link((dir + "/samples.txt").c_str(), (dir + "/hard.txt").c_str());
    // An earlier result with an old time stamp must come through unchanged.
    write_file(dir + "/result.txt", "earlier result\n");
    const utimbuf old_time{1000000000, 1000000000};
    utime((dir + "/result.txt").c_str(), &old_time);

    // root reads a file without permission; the case then does not apply
    const bool locked_readable = access((dir + "/locked.txt").c_str(), R_OK) == 0;
    if (std::string(c.name) == "data_file_without_permission" && locked_readable)
        GTEST_SKIP() << "running as root, who reads a file even without read permission";
    const run_outcome outcome = run_program(dir);
    EXPECT_EQ(outcome.console, fatal_console(c.console));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(read_file(dir + "/result.txt"), "earlier result\n");
    EXPECT_EQ(read_file(dir + "/samples.txt"), c.sample);  // an input is never replaced
    struct stat status {};
    stat((dir + "/result.txt").c_str(), &status);
    EXPECT_EQ(status.st_mtime, 1000000000);
    EXPECT_FALSE(file_exists(dir + "/missing"));
    // No temporary file is left behind.
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) entries.push_back(entry.path().filename());
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> expected_entries = {"dangling.txt", "hard.txt",    "link.txt", "locked.txt",
                                                 "result.txt",   "samples.txt", "sub"};
    if (c.config != nullptr) expected_entries.insert(expected_entries.begin(), "config_veltrin.txt");
    EXPECT_EQ(entries, expected_entries);
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/sub"));
}

INSTANTIATE_TEST_SUITE_P(cases, fatal_run, testing::ValuesIn(fatal_cases),
                         [](const testing::TestParamInfo<run_case>& info) { return info.param.name; });

TEST(end_to_end, writes_the_hand_checked_table_and_prints_nothing)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/config_veltrin.txt", "samples.txt 0 1 8 result.txt\n");
    write_file(dir + "/samples.txt", small_sample_file("500"));
    write_file(dir + "/result.txt", "an earlier, longer result that must be replaced whole\n");
    const run_outcome outcome = run_program(dir);
    EXPECT_EQ(outcome.console, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(read_file(dir + "/result.txt"), small_table);
}

TEST(end_to_end, configuration_over_several_lines_and_crlf_files_read_the_same)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/config_veltrin.txt", "samples.txt\r\n\t0\r\n1\n   8\nresult.txt");
    std::string crlf;
    for (char ch : small_sample_file("500")) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    write_file(dir + "/samples.txt", crlf);
    const run_outcome outcome = run_program(dir);
    EXPECT_EQ(outcome.console, "");
    EXPECT_EQ(read_file(dir + "/result.txt"), small_table);
}

TEST(end_to_end, memory_that_cannot_be_obtained_is_a_fatal_stop)
{
#ifdef VELTRIN_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve far more address space than the limit";
#endif
    // 4 million paired lines need 32 MB for the two series, over a 30 MB limit.
    const std::string dir = make_scratch_directory();
    std::string block = "<sampling_frequency>500\n<data>\n<v>1</v><i>2</i>\n";
    block.append(4000000, '\n');
    write_file(dir + "/samples.txt", block);
    write_file(dir + "/config_veltrin.txt", "samples.txt 0 1 8 result.txt\n");
    const run_outcome outcome = run_program(dir, "ulimit -v 30000 &&");
    EXPECT_EQ(outcome.console, fatal_console("\nFatal error: not enough memory.\n"));
    EXPECT_EQ(outcome.status, 0);
    EXPECT_FALSE(file_exists(dir + "/result.txt"));
}

// Memory runs out inside a task of the standard estimate's threads (a prime
// section length is transformed on a power of two beyond twice its length):
// the failure reaches the front end as a message, never as a crash.
TEST(end_to_end, memory_exhausted_in_a_thread_task_is_a_message)
{
#ifdef VELTRIN_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve far more address space than the limit";
#endif
    const std::string dir = make_scratch_directory();
    const int points = 262147;
    std::string text = "<sampling_frequency>500\n<data>\n";
    for (int k = 0; k < points; ++k)
        text += "<v>" + std::to_string(k % 7) + "</v><i>" + std::to_string(k % 5) + "</i>\n";
    write_file(dir + "/samples.txt", text + "</data>\n");
    const command_outcome outcome = run_command(
        dir, "--threads 2 -n " + std::to_string(points) + " -w hann samples.txt", "/dev/null", "ulimit -v 60000 &&");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "veltrin: samples.txt: Fatal error: not enough memory.\n");
    EXPECT_EQ(outcome.out, "");
}

TEST(end_to_end, long_file_names_are_accepted)
{
    const std::string dir = make_scratch_directory();
    std::string path;
    for (int depth = 0; depth < 4; ++depth) {
        path += (depth ? "/" : "") + std::string(60, static_cast<char>('a' + depth));
        mkdir((dir + "/" + path).c_str(), 0755);
    }
    write_file(dir + "/" + path + "/samples.txt", small_sample_file("500"));
    write_file(dir + "/config_veltrin.txt", path + "/samples.txt 0 1 8 " + path + "/result.txt\n");
    const run_outcome outcome = run_program(dir);
    EXPECT_EQ(outcome.console, "");
    std::string expected = small_table;
    expected.replace(12, 11, path + "/samples.txt");
    EXPECT_EQ(read_file(dir + "/" + path + "/result.txt"), expected);
}

}  // namespace

namespace {

// The tables kept in examples/ are what the program writes for them today.
TEST(end_to_end, examples_reproduce_their_kept_tables)
{
    const struct {
        const char* directory;
        const char* sample;
        const char* result;
    } examples[] = {{"examples", "noise_paired.xml", "result_paired.txt"},
                    {"examples/split", "noise_split.xml", "result_split.txt"}};
    for (const auto& example : examples) {
        const std::string source = std::string(VELTRIN_SOURCE_DIR) + "/" + example.directory + "/";
        const std::string dir = make_scratch_directory();
        write_file(dir + "/config_veltrin.txt", read_file(source + "config_veltrin.txt"));
        write_file(dir + "/" + example.sample, read_file(source + example.sample));
        const run_outcome outcome = run_program(dir);
        EXPECT_EQ(outcome.console, "") << example.directory;
        EXPECT_EQ(read_file(dir + "/" + example.result), read_file(source + example.result)) << example.directory;
    }
}

}  // namespace

namespace {

std::string random_bytes(std::size_t count)
{
    std::string bytes(count, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct bad_file_case {
    const char* name;
    std::string config;
    std::string sample;
    std::string console;  // "" for a successful run
    std::string table;    // the result table expected after a successful run
};

void PrintTo(const bad_file_case& c, std::ostream* os)
{
    *os << c.name;
}

const std::string plain = "samples.txt 0 1 8 result.txt";

std::string with_infinite_values()
{
    std::string text = small_sample_file("500");
    text = replace_all(text, "<v>1</v><i>1</i>", "<v>1e400</v><i>1</i>");
    return replace_all(text, "<v>-1</v><i>-1</i>", "<v>-1</v><i>-1e400</i>");
}

const bad_file_case bad_file_cases[] = {
    {"empty_file", plain, "", structure_unknown, ""},
    {"nul_bytes", plain, std::string(4096, '\0'), structure_unknown, ""},
    {"random_binary", plain, random_bytes(65536), structure_unknown, ""},
    {"one_megabyte_line", plain, std::string(1 << 20, 'x'), structure_unknown, ""},
    // Tags are found anywhere in a line, however long: one sample, too few for a section.
    {"tags_beyond_the_old_piece_limit", plain,
     std::string(190, ' ') + "<sampling_frequency>500\n<data>\n<v>1</v><i>2</i>\n", too_few_points, ""},
    {"carriage_returns_only", plain, replace_all(small_sample_file("500"), "\n", "\r"), "", small_table},
    {"byte_order_marks", "\xEF\xBB\xBF" + plain, "\xEF\xBB\xBF" + small_sample_file("500"), "", small_table},
    {"data_line_with_trailing_blanks_is_one_line", plain,
     replace_all(small_sample_file("500"), "</i>\n", "</i>" + std::string(300, ' ') + "\n"), "", small_table},
    {"no_final_line_feed", plain, small_sample_file("500").substr(0, small_sample_file("500").size() - 1), "",
     small_table},
    // CR CR LF is a lone CR and a CR LF: each line is followed by a blank
    // one, the block's first line too, which makes the block split.
    {"cr_cr_lf_line_ends", plain, replace_all(small_sample_file("500"), "\n", "\r\r\n"),
     "\nFatal error: lines 1 and 2 of the data block do not hold one v and one i value.\n", ""},
    {"result_replaces_the_sample_file", "samples.txt 0 1 8 samples.txt", small_sample_file("500"),
     "\nThe file samples.txt cannot be written: it is an input of this run.\n", ""},
    {"section_of_two_to_the_thirty", "samples.txt 0 1 1073741824 result.txt", small_sample_file("500"), too_few_points,
     ""},
    {"largest_sections_product", "samples.txt 0 2147483647 1073741824 result.txt", small_sample_file("500"),
     too_few_points, ""},
    {"negative_section_length", "samples.txt 0 1 -8 result.txt", small_sample_file("500"), not_power_of_two, ""},
    {"section_length_beyond_32_bits", "samples.txt 0 1 2147483648 result.txt", small_sample_file("500"), config_invalid,
     ""},
    {"infinite_values", plain, with_infinite_values(),
     "\nFatal error: the value on line 1 of the data block is too large for single precision.\n", ""},
    {"a_million_blank_lines", plain, "<sampling_frequency>500\n<data>\n" + std::string(1000000, '\n') + "</data>\n",
     "\nFatal error: lines 1 and 2 of the data block do not hold one v and one i value.\n", ""},
};

class bad_file : public testing::TestWithParam<bad_file_case> {};

TEST_P(bad_file, ends_with_a_table_or_a_message)
{
    const bad_file_case& c = GetParam();
    const std::string dir = make_scratch_directory();
    write_file(dir + "/config_veltrin.txt", c.config + "\n");
    write_file(dir + "/samples.txt", c.sample);
    const run_outcome outcome = run_program(dir);
    EXPECT_EQ(outcome.status, 0);
    if (c.console.empty()) {
        EXPECT_EQ(outcome.console, "");
        const std::string result_name = c.config.substr(c.config.rfind(' ') + 1);
        EXPECT_EQ(read_file(dir + "/" + result_name), c.table);
    } else {
        EXPECT_EQ(outcome.console, fatal_console(c.console));
        EXPECT_FALSE(file_exists(dir + "/result.txt"));
        EXPECT_EQ(read_file(dir + "/samples.txt"), c.sample);
    }
}

INSTANTIATE_TEST_SUITE_P(cases, bad_file, testing::ValuesIn(bad_file_cases),
                         [](const testing::TestParamInfo<bad_file_case>& info) { return info.param.name; });

}  // namespace

namespace {

TEST(end_to_end, a_fifo_as_data_file_gives_the_regular_file_table)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/config_veltrin.txt", "samples.txt 0 1 8 result.txt\n");
    ASSERT_EQ(mkfifo((dir + "/samples.txt").c_str(), 0644), 0);
    write_file(dir + "/content.txt", small_sample_file("500"));
    const run_outcome outcome = run_program(dir, "(cat content.txt > samples.txt &) &&");
    EXPECT_EQ(outcome.console, "");
    EXPECT_EQ(read_file(dir + "/result.txt"), small_table);
}

TEST(end_to_end, the_key_wait_ends_on_one_character_from_an_open_pipe)
{
    const std::string dir = make_scratch_directory();
    int to_program[2];
    int from_program[2];
    ASSERT_EQ(pipe(to_program), 0);
    ASSERT_EQ(pipe(from_program), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(to_program[0], 0);
        dup2(from_program[1], 1);
        close(to_program[1]);
        close(from_program[0]);
        if (chdir(dir.c_str()) != 0) _exit(127);
        const std::string program = program_under_test();
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to_program[0]);
    close(from_program[1]);
    // The prompt comes; the program waits while the pipe stays open and empty.
    std::string console;
    char block[256];
    while (console.find("Press any key to exit\n") == std::string::npos) {
        const ssize_t got = read(from_program[0], block, sizeof block);
        ASSERT_GT(got, 0);
        console.append(block, static_cast<std::size_t>(got));
    }
    usleep(200000);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "ended before any key";
    ASSERT_EQ(write(to_program[1], "x", 1), 1);  // one character, no line end, pipe left open
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(to_program[1]);
    close(from_program[0]);
}

TEST(end_to_end, a_write_that_fails_midway_leaves_the_old_result)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/config_veltrin.txt", "samples.txt 0 1 8 result.txt\n");
    write_file(dir + "/samples.txt", small_sample_file("500"));
    write_file(dir + "/result.txt", "earlier result\n");
    // No file may grow: the temporary file exists, its first write fails.
    const run_outcome outcome = run_program(dir, "trap '' XFSZ && ulimit -f 0 &&");
    EXPECT_EQ(outcome.console, fatal_console("\nThe file result.txt cannot be written.\n"));
    EXPECT_EQ(read_file(dir + "/result.txt"), "earlier result\n");
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) entries.push_back(entry.path().filename());
    EXPECT_EQ(entries.size(), 3u);
}

TEST(end_to_end, a_line_far_longer_than_memory_allows_is_read_through)
{
#ifdef VELTRIN_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve far more address space than the limit";
#endif
    // 200 MB in one line, the tags at its two ends, under a 100 MB memory
    // limit: the table is the one of the same line without the blanks.
    const std::string dir = make_scratch_directory();
    std::string tail;
    for (int k = 0; k < 7; ++k) tail += "<v>" + std::to_string(k) + "</v><i>3</i>\n";
    const std::string head = "<sampling_frequency>500\n<data>\n<v>1";
    write_file(dir + "/short.txt", head + "</v><i>2</i>\n" + tail);
    {
        std::FILE* file = std::fopen((dir + "/samples.txt").c_str(), "wb");
        std::fputs(head.c_str(), file);
        const std::string blanks(1 << 20, ' ');
        for (int k = 0; k < 200; ++k) std::fwrite(blanks.data(), 1, blanks.size(), file);
        std::fputs(("</v><i>2</i>\n" + tail).c_str(), file);
        std::fclose(file);
    }
    write_file(dir + "/config_veltrin.txt", "samples.txt 0 1 8 result.txt\n");
    EXPECT_EQ(run_program(dir, "ulimit -v 100000 &&").console, "");
    write_file(dir + "/config_veltrin.txt", "short.txt 0 1 8 short_result.txt\n");
    EXPECT_EQ(run_program(dir).console, "");
    EXPECT_EQ(replace_all(read_file(dir + "/result.txt"), "samples.txt", "short.txt"),
              read_file(dir + "/short_result.txt"));
}

}  // namespace

namespace {

// True when the shell command succeeds, its output discarded.
bool succeeds(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The result reaches the disk before it gets its name, and its name reaches
// the disk after: the system calls of a new and of a replaced result.
TEST(posix_run, a_result_is_synced_before_its_name_and_the_directory_after)
{
    if (!succeeds("strace -o /dev/null true"))
        GTEST_SKIP() << "strace is missing or may not trace here (Debian: strace, in tools/install-dependencies)";
    const std::string dir = make_scratch_directory();
    mkdir((dir + "/sub").c_str(), 0755);
    write_file(dir + "/samples.txt", small_sample_file("500"));
    const std::string sub = std::filesystem::canonical(dir + "/sub").string();
    for (const char* round : {"new", "replaced"}) {
        const command_outcome outcome = run_command(dir, "-n 8 -o sub/r.txt samples.txt", "/dev/null",
                                                    // The leak checker cannot run under a tracer.
                                                    "ASAN_OPTIONS=detect_leaks=0 strace -f -y -e "
                                                    "trace=fsync,fdatasync,linkat,rename,renameat,renameat2 -o trace");
        ASSERT_EQ(outcome.status, 0) << round << outcome.err;
        // The calls in order, consecutive namings as one.
        std::vector<std::string> steps;
        std::istringstream trace(read_file(dir + "/trace"));
        for (std::string line; std::getline(trace, line);) {
            std::string step;
            if (line.find(" fsync(") != std::string::npos || line.find(" fdatasync(") != std::string::npos)
                step = line.find("<" + sub + ">)") != std::string::npos ? "sync the directory" : "sync the file";
            else if (line.find(" linkat(") != std::string::npos || line.find(" rename") != std::string::npos)
                step = "name";
            if (!step.empty() && (steps.empty() || steps.back() != step || step != "name")) steps.push_back(step);
        }
        EXPECT_EQ(steps, (std::vector<std::string>{"sync the file", "name", "sync the directory"})) << round;
        EXPECT_EQ(read_file(dir + "/sub/r.txt").substr(0, 24), "data file = samples.txt ");
    }
}

// A small recording gives 1024 threads nothing to share: none is started,
// in either estimate.
TEST(posix_run, threads_beyond_the_useful_number_are_not_started)
{
#ifdef VELTRIN_SANITIZED
    GTEST_SKIP() << "the sanitizers start threads of their own";
#endif
    if (!succeeds("strace -o /dev/null true"))
        GTEST_SKIP() << "strace is missing or may not trace here (Debian: strace, in tools/install-dependencies)";
    const std::string dir = make_scratch_directory();
    write_file(dir + "/samples.txt", small_sample_file("500"));
    for (const char* estimate : {"-n 8 --coherence", "-n 8 -w hann --coherence"}) {
        const command_outcome outcome =
            run_command(dir, std::string("--threads 1024 ") + estimate + " samples.txt", "/dev/null",
                        "ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=clone,clone3 -o trace");
        EXPECT_EQ(outcome.status, 0) << estimate;
        EXPECT_EQ(read_file(dir + "/trace").find("clone"), std::string::npos) << estimate;
    }
}

// An existing result that the user may not write is refused, even in a
// directory where it could be replaced. CI runs as root, who may write
// anything: there the run is made as the unprivileged user 65534.
TEST(posix_run, an_existing_result_without_write_permission_is_refused)
{
    const std::string dir = make_scratch_directory();
    chmod(dir.c_str(), 0777);
    write_file(dir + "/samples.txt", small_sample_file("500"));
    write_file(dir + "/r.txt", "earlier result\n");
    chmod((dir + "/r.txt").c_str(), 0444);
    std::string as_user;
    if (geteuid() == 0) {
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups";
        if (!succeeds(as_user + " '" + program_under_test() + "' --version"))
            GTEST_SKIP() << "setpriv is missing or cannot run the program as user 65534";
    }
    const command_outcome outcome = run_command(dir, "-n 8 -o r.txt samples.txt", "/dev/null", as_user);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "veltrin: r.txt: The file r.txt cannot be written: Permission denied\n");
    EXPECT_EQ(read_file(dir + "/r.txt"), "earlier result\n");
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) entries.push_back(entry.path().filename());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"r.txt", "samples.txt"}));
}

}  // namespace
