// The anchored tag search must find exactly what a plain substring search finds.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "input/tag_search.hpp"

using namespace veltrin;

namespace {

const tag all_tags[] = {frequency_tag, data_tag, data_end_tag, pair_tag, v_tag, i_tag};

struct search_case {
    const char* line;
    const tag* searched;
    std::size_t expected;
};

constexpr std::size_t none = std::string_view::npos;

const search_case search_cases[] = {
    {"", &v_tag, none},
    {"<v", &v_tag, none},
    {"<v>", &v_tag, 0},
    {"</v><i>", &v_tag, none},  // a closing tag is not an opening one
    {"</v><i>", &pair_tag, 0},
    {"</v><i>", &i_tag, 4},
    {"<v>1</v><i>2</i>", &pair_tag, 4},
    {"</i>", &i_tag, none},
    {"<<<v>>>", &v_tag, 2},
    {"dddd</data>", &data_end_tag, 4},
    {"</dat</data>", &data_end_tag, 5},
    {"<DATA>", &data_tag, none},  // case matters
    {"x<sampling_frequency>", &frequency_tag, 1},
    {"<sampling_frequency", &frequency_tag, none},
};

TEST(tag_search, table)
{
    for (const search_case& c : search_cases)
        EXPECT_EQ(find_tag(c.line, *c.searched), c.expected) << c.line << " / " << c.searched->text;
}

TEST(tag_search, agrees_with_substring_search_on_random_lines)
{
    // An alphabet made of the tags' own characters makes near misses common.
    const std::string alphabet = "<>/vidat_sampling1e";
    std::mt19937 generator(7);
    for (int trial = 0; trial < 200000; ++trial) {
        std::string line(generator() % 40, ' ');
        for (char& c : line) c = alphabet[generator() % alphabet.size()];
        // Plant a tag now and then so that hits are tested as well as misses.
        const tag& t = all_tags[generator() % 6];
        if (trial % 3 == 0 && !line.empty()) line.insert(generator() % line.size(), t.text);
        for (const tag& searched : all_tags)
            ASSERT_EQ(find_tag(line, searched), std::string_view(line).find(searched.text))
                << '"' << line << "\" / " << searched.text;
    }
}

}  // namespace
