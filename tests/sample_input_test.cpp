// The scanner's structure decisions and the loader's values, on small files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fatal_stop.hpp"
#include "sample_input.hpp"
#include "test_files.hpp"

namespace {

struct scan_result {
    std::int32_t count = 0;
    std::int32_t points = 0;
    float interval = 0.0f;
    std::vector<float> v;
    std::vector<float> i;
};

scan_result scan_and_load(const std::string& content)
{
    std::FILE* file = stream_of(content);
    line_reader reader;
    start_reading(reader, file);
    nbpoint_acqui = -1;
    deltat = -1.0f;
    scan_result result;
    result.count = DetecteXML(reader);
    result.interval = deltat;
    if (result.count > 0) {
        result.points = nbpoint_acqui;
        sample_series series = load_samples(reader, result.count);
        result.v = series.v;
        result.i = series.i;
    }
    std::fclose(file);
    return result;
}

const std::string head = "<?xml version=\"1.0\"?>\n<sampling_frequency>500</sampling_frequency>\n";
const std::string pad100 = std::string(80, ' ');
const std::string pad197 = std::string(197 - 16, ' ');  // "<v>1</v><i>2</i>" is 16 characters

struct sample_case {
    const char* name;
    std::string content;
    std::int32_t count;
    std::int32_t points;
    std::vector<float> v;
    std::vector<float> i;
};

const sample_case sample_cases[] = {
    {"paired", head + "<data>\n<v>1.5</v><i>-2e-3</i>\n<v>2</v><i>3</i>\n</data>\n", 2, 2, {1.5f, 2.0f},
     {-0.002f, 3.0f}},
    {"split_v_then_i", head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n<i>4</i>\n</data>\n", 4, 2, {1, 3}, {2, 4}},
    {"split_i_then_v", head + "<data>\n<i>2</i>\n<v>1</v>\n<i>4</i>\n<v>3</v>\n</data>\n", 4, 2, {1, 3}, {2, 4}},
    {"both_tags_on_one_line", "<sampling_frequency>500<data>\n<v>7</v><i>8</i>\n</data>", 1, 1, {7}, {8}},
    {"end_tag_first_still_counts",
     head + "<data>\n</data>\n<v>1</v>\n<i>2</i>\n</data>\n", 3, 1, {1}, {0}},
    {"no_end_tag_counts_to_the_end", head + "<data>\n<v>1</v><i>2</i>\n<v>3</v><i>4</i>\n\n", 3, 3, {1, 3, 0},
     {2, 4, 0}},
    {"no_final_line_feed", head + "<data>\n<v>1</v><i>2</i>\n<v>3</v><i>4</i>", 2, 2, {1, 3}, {2, 4}},
    {"crlf", "<sampling_frequency>500\r\n<data>\r\n<v>1.5</v><i>-2e-3</i>\r\n<v>2</v><i>3</i>\r\n</data>\r\n", 2, 2,
     {1.5f, 2.0f}, {-0.002f, 3.0f}},
    {"blank_line_takes_an_index", head + "<data>\n<v>1</v><i>2</i>\n\n<v>3</v><i>4</i>\n</data>\n", 3, 3,
     {1, 0, 3}, {2, 0, 4}},
    {"odd_split_count_drops_the_last", head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n</data>\n", 3, 1, {1}, {2}},
    {"paired_line_without_v", head + "<data>\n</v><i>5</i>\n<v>1</v><i>2</i>\n</data>\n", 2, 2, {0, 1}, {5, 2}},
    {"v_after_the_pair_tag_is_used", head + "<data>\n</v><i>5</i><v>6\n</data>\n", 1, 1, {6}, {5}},
    {"blanks_and_exponents", head + "<data>\n<v>   1.0e-06</v><i>\t-.5</i>\n<v> 5.</v><i>+.25E1</i>\n</data>\n",
     2, 2, {1.0e-06f, 5.0f}, {-0.5f, 2.5f}},
    {"100_character_paired_line", head + "<data>\n<v>1.25" + pad100 + "</v><i>7</i>\n</data>\n", 1, 1, {1.25f},
     {7}},
    {"197_character_line_is_one_line", head + "<data>\n<v>1</v><i>2</i>" + pad197 + "\n</data>\n", 1, 1, {1}, {2}},
    {"198_character_line_is_two", head + "<data>\n<v>1</v><i>2</i>" + pad197 + " \n</data>\n", 2, 2, {1, 0},
     {2, 0}},
    {"data_line_is_the_last_line", head + "<data>", 1, 0, {}, {}},
    {"data_tag_before_and_after_frequency",
     "<data>\n<v>9</v><i>9</i>\n<sampling_frequency>500\n<data>\n<v>1</v><i>2</i>\n</data>\n", 1, 1, {1}, {2}},
    {"split_then_paired_line_beyond_the_series", head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v><i>4</i>\n</data>\n",
     3, 1, {1}, {2}},
};

void PrintTo(const sample_case& c, std::ostream* os) { *os << c.name; }

class sample_file : public testing::TestWithParam<sample_case> {};

TEST_P(sample_file, scans_and_loads)
{
    const sample_case& c = GetParam();
    const scan_result result = scan_and_load(c.content);
    EXPECT_EQ(result.count, c.count);
    EXPECT_EQ(result.points, c.points);
    EXPECT_EQ(result.v, c.v);
    EXPECT_EQ(result.i, c.i);
}

INSTANTIATE_TEST_SUITE_P(cases, sample_file, testing::ValuesIn(sample_cases),
                         [](const testing::TestParamInfo<sample_case>& info) { return info.param.name; });

struct failure_case {
    const char* name;
    std::string content;
};

const failure_case failure_cases[] = {
    {"empty", ""},
    {"no_frequency", "<data>\n<v>1</v><i>2</i>\n</data>\n"},
    {"no_data", "<sampling_frequency>500\n<v>1</v><i>2</i>\n"},
    {"data_only_before_frequency", "<data>\n<v>1</v><i>2</i>\n</data>\n<sampling_frequency>500\n"},
    {"tag_split_across_the_read_boundary", std::string(190, ' ') + "<sampling_frequency>500\n<data>\n\n"},
    {"tag_in_other_case", "<Sampling_Frequency>500\n<data>\n\n"},
};

void PrintTo(const failure_case& c, std::ostream* os) { *os << c.name; }

class structure_failure : public testing::TestWithParam<failure_case> {};

TEST_P(structure_failure, returns_zero)
{
    EXPECT_EQ(scan_and_load(GetParam().content).count, 0);
}

INSTANTIATE_TEST_SUITE_P(cases, structure_failure, testing::ValuesIn(failure_cases),
                         [](const testing::TestParamInfo<failure_case>& info) { return info.param.name; });

struct frequency_case {
    const char* line;
    float interval;
};

const frequency_case frequency_cases[] = {
    {"<sampling_frequency>500</sampling_frequency>", static_cast<float>(1.0 / 500.0)},
    {"<sampling_frequency> 5.e2 </sampling_frequency>", static_cast<float>(1.0 / 500.0)},
    {"<sampling_frequency>1e1", 0.1f},
    {"text <sampling_frequency>.25", 4.0f},
    {"<sampling_frequency>-8", -0.125f},
};

TEST(scanner, sets_deltat_from_the_number_after_the_tag)
{
    for (const frequency_case& c : frequency_cases) {
        const scan_result result = scan_and_load(std::string(c.line) + "\n<data>\n\n");
        EXPECT_EQ(result.interval, c.interval) << c.line;
    }
    // 500 Hz: the single-precision interval is just above 0.002.
    EXPECT_GT(static_cast<double>(scan_and_load(head + "<data>\n\n").interval), 0.002);
}

TEST(scanner, counts_large_blocks_in_both_layouts)
{
    std::string paired = head + "<data>\n";
    std::string split = head + "<data>\n";
    for (int k = 0; k < 100; ++k) paired += "<v>" + std::to_string(k) + "</v><i>" + std::to_string(-k) + "</i>\n";
    for (int k = 0; k < 201; ++k) split += (k % 2 == 0 ? "<v>" : "<i>") + std::to_string(k) + "\n";
    const scan_result p = scan_and_load(paired + "</data>\n");
    EXPECT_EQ(p.count, 100);
    EXPECT_EQ(p.points, 100);
    EXPECT_EQ(p.v[99], 99.0f);
    EXPECT_EQ(p.i[99], -99.0f);
    const scan_result s = scan_and_load(split + "</data>\n");
    EXPECT_EQ(s.count, 201);
    EXPECT_EQ(s.points, 100);
    EXPECT_EQ(s.v[99], 198.0f);
    EXPECT_EQ(s.i[99], 199.0f);
}

}  // namespace
