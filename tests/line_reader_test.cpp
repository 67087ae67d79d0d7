// Whole lines: the three line ends, block boundaries, the byte-order mark, long lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_reader.hpp"
#include "test_files.hpp"

namespace {

constexpr std::string_view tags[] = {"<v>", "</v><i>", "<i>"};

std::vector<std::string> lines_of(const std::string& content, std::size_t held_limit = default_held_limit)
{
    std::FILE* file = stream_of(content);
    line_reader reader;
    start_reading(reader, file, tags, held_limit);
    std::vector<std::string> lines;
    std::string_view text;
    while (read_line(reader, text)) lines.emplace_back(text);
    std::fclose(file);
    return lines;
}

struct line_case {
    std::string content;
    std::vector<std::string> expected;
};

const line_case line_cases[] = {
    {"", {}},
    {"abc\ndef\n", {"abc", "def"}},
    {"abc\r\ndef", {"abc", "def"}},
    {"abc\rdef\r", {"abc", "def"}},
    {"\n\n", {"", ""}},
    {"\r\r\n\n\r", {"", "", "", ""}},
    {"a\r\r\nb", {"a", "", "b"}},
    {"a\n\rb", {"a", "", "b"}},
    {"\xEF\xBB\xBF" "a\n", {"a"}},
    {"\xEF\xBB\xBF", {}},
    {"\xEF\xBB" "a\n", {"\xEF\xBB" "a"}},
    {"x\n\xEF\xBB\xBF" "a\n", {"x", "\xEF\xBB\xBF" "a"}},
};

TEST(line_reader, ends_lines_at_lf_crlf_and_cr)
{
    for (std::size_t k = 0; k < std::size(line_cases); ++k)
        EXPECT_EQ(lines_of(line_cases[k].content), line_cases[k].expected) << k;
}

TEST(line_reader, crlf_and_cr_across_block_boundaries_read_like_lf)
{
    std::string lf;
    std::string crlf;
    std::string cr;
    std::vector<std::string> expected;
    for (int k = 0; k < 400000; ++k) {
        std::string line = "line " + std::to_string(k) + std::string(static_cast<std::size_t>(k % 7), ' ');
        lf += line + "\n";
        crlf += line + "\r\n";
        cr += line + "\r";
        expected.push_back(line);
    }
    EXPECT_EQ(lines_of(lf), expected);
    EXPECT_EQ(lines_of(crlf), expected);
    EXPECT_EQ(lines_of(cr), expected);
}

// A long line gives the watched tags in order, each with its number, and
// nothing else; the lines around it are untouched.
TEST(line_reader, summarizes_a_line_over_the_limit)
{
    const std::string line = std::string(100, 'x') + "<i>" + std::string(50, ' ') + "-2.5e1</i>" +
                             std::string(100, 'x') + "<v>7" + std::string(100, '0') + "<v>9";
    for (const std::string end : {"\n", "\r", "\r\n", ""}) {
        const std::vector<std::string> lines = lines_of("a\n" + line + end + "b", 16);
        ASSERT_EQ(lines.size(), end.empty() ? 2u : 3u);
        EXPECT_EQ(lines[0], "a");
        EXPECT_EQ(lines[1], "<i>-0.25e2\x01<v>0.7" + std::string(100, '0') + "e101\x01");
    }
    // Exactly at the limit the line is held; one more character and it is summarized.
    EXPECT_EQ(lines_of("<v>1\n", 4), std::vector<std::string>{"<v>1"});
    EXPECT_EQ(lines_of("<v>12\n", 4), std::vector<std::string>{"<v>0.12e2\x01"});
}

#ifdef __linux__
TEST(line_reader, a_read_error_is_reported)
{
    std::FILE* file = std::fopen("/proc/self/mem", "rb");  // reading it at offset 0 fails
    ASSERT_NE(file, nullptr);
    line_reader reader;
    start_reading(reader, file, tags);
    std::string_view text;
    EXPECT_FALSE(read_line(reader, text));
    EXPECT_TRUE(reader.failed);
    std::fclose(file);
}
#endif

}  // namespace
