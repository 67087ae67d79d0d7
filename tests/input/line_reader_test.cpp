// Whole lines: the three line ends, block boundaries, the byte-order mark, long lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "input/line_reader.hpp"
#include "test_files.hpp"

using namespace veltrin;

namespace {

constexpr std::string_view tags[] = {"<v>", "</v><i>", "<i>"};

// What the reader noted after each tag found: [number|what followed], $ for the line's end.
std::string noted(std::span<const tag_value> values)
{
    std::string text;
    for (const tag_value& value : values) {
        if (!value.found) continue;
        text += std::string(value.tag) + "[" + (value.number ? value.number_text : "-") + "|" +
                (value.line_ends ? "$" : value.after) + "]";
    }
    return text;
}

std::vector<std::string> lines_of(const std::string& content, std::size_t held_limit = default_held_limit)
{
    std::FILE* file = stream_of(content);
    line_reader reader;
    start_reading(reader, file, tags, noted, held_limit);
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
    {"\xEF\xBB\xBF"
     "a\n",
     {"a"}},
    {"\xEF\xBB\xBF", {}},
    {"\xEF\xBB"
     "a\n",
     {"\xEF\xBB"
      "a"}},
    {"x\n\xEF\xBB\xBF"
     "a\n",
     {"x", "\xEF\xBB\xBF"
           "a"}},
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

// A long line gives, for the first occurrence of each watched tag, the
// number after it and what follows that; the lines around it are untouched.
TEST(line_reader, summarizes_a_line_over_the_limit)
{
    const std::string line = std::string(100, 'x') + "<i>" + std::string(50, ' ') + "-2.5e1 \t</i>" +
                             std::string(100, 'x') + "<v>7" + std::string(100, '0') + "<v>9";
    for (const std::string end : {"\n", "\r", "\r\n", ""}) {
        const std::vector<std::string> lines = lines_of("a\n" + line + end + "b", 16);
        ASSERT_EQ(lines.size(), end.empty() ? 2u : 3u);
        EXPECT_EQ(lines[0], "a");
        // Without a line end, the b is the line's last character.
        EXPECT_EQ(lines[1], "<v>[0.7" + std::string(100, '0') + "e101|<v>9" + (end.empty() ? "b" : "") +
                                "]<i>[-0.25e2|</i>xxxx]");
    }
    // Exactly at the limit the line is held; one more character and it is summarized.
    EXPECT_EQ(lines_of("<v>1\n", 4), std::vector<std::string>{"<v>1"});
    EXPECT_EQ(lines_of("<v>12\n", 4), std::vector<std::string>{"<v>[0.12e2|$]"});
    // What is no whole number: no digit, a mark without exponent digits, other white space.
    const struct {
        const char* line;
        const char* noted;
    } values[] = {
        {"<v>  1e+  ", "<v>[-|]"},
        {"<v>1e", "<v>[-|]"},
        {"<v>-.", "<v>[-|]"},
        {"<v>\v1", "<v>[-|]"},
        {"<v>1.2.3</v>", "<v>[0.12e1|.3</v>]"},
        {"<v>+3 \t ", "<v>[0.3e1|$]"},
        {"<v>0</v><i>-0", "<v>[0|</v><i>-]</v><i>[-0|$]<i>[-0|$]"},
    };
    for (const auto& c : values) EXPECT_EQ(lines_of(c.line, 2), std::vector<std::string>{c.noted}) << c.line;
}

#ifdef __linux__
TEST(line_reader, a_read_error_is_reported)
{
    std::FILE* file = std::fopen("/proc/self/mem", "rb");  // reading it at offset 0 fails
    ASSERT_NE(file, nullptr);
    line_reader reader;
    start_reading(reader, file, tags, noted);
    std::string_view text;
    EXPECT_FALSE(read_line(reader, text));
    EXPECT_TRUE(reader.failed);
    std::fclose(file);
}
#endif

}  // namespace

// Against a plain count, with the line ends and the tallies' round limit
// (127 rounds of 64 bytes) at every offset from a lane boundary.
TEST(line_feeds, counts_like_a_plain_count)
{
    unsigned state = 3;
    for (const std::size_t length : {std::size_t{0}, std::size_t{15}, std::size_t{33}, std::size_t{255 * 16 + 7},
                                     std::size_t{255 * 32 + 40}, std::size_t{20000}}) {
        for (const int density : {1, 3, 40, 100}) {
            std::string text(length + 1, 'x');
            for (char& c : text) {
                state = state * 1103515245 + 12345;
                const unsigned r = (state >> 16) % 100;
                c = static_cast<int>(r) < density ? '\n' : r == 99 && density == 3 ? '\r' : '7';
            }
            // From an odd address too: loads need no alignment.
            const char* const first = text.data() + 1;
            const char* const last = first + length;
            const auto plain = std::count(first, last, '\n');
            const bool plain_cr = std::find(first, last, '\r') != last;
            bool has_cr = !plain_cr;
            EXPECT_EQ(count_line_feeds(first, last, has_cr), plain) << length << " " << density;
            EXPECT_EQ(has_cr, plain_cr) << length << " " << density;
        }
    }
    // A lone CR in any byte of a lane, or of the tail.
    for (std::size_t at = 0; at < 100; ++at) {
        std::string text(100, 'x');
        text[at] = '\r';
        bool has_cr = false;
        EXPECT_EQ(count_line_feeds(text.data(), text.data() + text.size(), has_cr), 0);
        EXPECT_TRUE(has_cr) << at;
    }
}
