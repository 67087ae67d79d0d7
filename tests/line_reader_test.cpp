// Line pieces: the limit, the carriage-return rule, block boundaries, seeking.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_reader.hpp"
#include "test_files.hpp"

namespace {

std::vector<std::string> pieces_of(const std::string& content, std::size_t limit)
{
    std::FILE* file = stream_of(content);
    line_reader reader;
    start_reading(reader, file);
    std::vector<std::string> pieces;
    std::string_view text;
    while (read_piece(reader, limit, text)) pieces.emplace_back(text);
    std::fclose(file);
    return pieces;
}

struct piece_case {
    std::string content;
    std::size_t limit;
    std::vector<std::string> expected;
};

const std::string c197(197, 'x');
const std::string c198(198, 'x');

const piece_case piece_cases[] = {
    {"", 10, {}},
    {"abc\ndef\n", 10, {"abc", "def"}},
    {"abc\r\ndef", 10, {"abc", "def"}},
    {"\n\n", 10, {"", ""}},
    {"a\r\r\n", 10, {"a\r"}},
    {"a\rb\n", 10, {"a\rb"}},
    {"a\rb\rc", 10, {"a\rb\rc"}},
    {"tail\r", 10, {"tail\r"}},
    {"abc\n", 4, {"abc"}},
    {"abcd\n", 4, {"abcd", ""}},
    {"abc\r\n", 4, {"abc"}},
    {"abcd\r\n", 4, {"abcd", ""}},
    {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
    {"abcdefgh\nx", 4, {"abcd", "efgh", "", "x"}},
    {c197 + "\n" + "z\n", 198, {c197, "z"}},
    {c197 + "\r\n" + "z\n", 198, {c197, "z"}},
    {c198 + "\n", 198, {c198, ""}},
    {c198 + "\r\n", 198, {c198, ""}},
    {c198 + "y\n", 198, {c198, "y"}},
};

void PrintTo(const piece_case& c, std::ostream* os) { *os << c.content.size() << " bytes, limit " << c.limit; }

class line_pieces : public testing::TestWithParam<piece_case> {};

TEST_P(line_pieces, splits_as_expected)
{
    const piece_case& c = GetParam();
    EXPECT_EQ(pieces_of(c.content, c.limit), c.expected);
}

INSTANTIATE_TEST_SUITE_P(cases, line_pieces, testing::ValuesIn(piece_cases));

TEST(line_reader, crlf_across_block_boundaries_reads_like_lf)
{
    std::string lf;
    std::string crlf;
    std::vector<std::string> expected;
    for (int k = 0; k < 400000; ++k) {
        std::string line = "line " + std::to_string(k) + std::string(static_cast<std::size_t>(k % 7), ' ');
        lf += line + "\n";
        crlf += line + "\r\n";
        expected.push_back(line);
    }
    EXPECT_EQ(pieces_of(lf, 198), expected);
    EXPECT_EQ(pieces_of(crlf, 198), expected);
}

TEST(line_reader, seeks_back_to_a_remembered_position)
{
    std::string content;
    for (int k = 0; k < 300000; ++k) content += "row " + std::to_string(k) + "\n";
    std::FILE* file = stream_of(content);
    line_reader reader;
    start_reading(reader, file);
    std::string_view text;
    for (int k = 0; k < 10; ++k) read_piece(reader, 198, text);
    const std::uint64_t mark = reading_position(reader);
    EXPECT_EQ(mark, content.find("row 10\n"));
    while (read_piece(reader, 198, text)) {
    }
    seek_reading(reader, mark);
    ASSERT_TRUE(read_piece(reader, 198, text));
    EXPECT_EQ(text, "row 10");
    std::fclose(file);
}

TEST(line_reader, end_of_file_leaves_the_last_piece_in_place)
{
    std::FILE* file = stream_of("first\nlast");
    line_reader reader;
    start_reading(reader, file);
    std::string_view text;
    ASSERT_TRUE(read_piece(reader, 198, text));
    ASSERT_TRUE(read_piece(reader, 198, text));
    EXPECT_FALSE(read_piece(reader, 198, text));
    EXPECT_EQ(text, "last");
    std::fclose(file);
}

}  // namespace
