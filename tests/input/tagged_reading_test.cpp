// The reading pass: structure, layouts, index rules, line ends, long lines, messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "front_ends/configuration_mode.hpp"
#include "model/error.hpp"
#include "input/reading.hpp"
#include "reading_outcome.hpp"
#include "test_files.hpp"

using namespace veltrin;

namespace {

struct scan_result {
    std::int64_t count = 0;
    std::int32_t points = 0;
    float interval = 0.0f;
    std::vector<float> v;
    std::vector<float> i;
};

// Reads the content with lines up to held_limit held whole; count 0 and
// the message when the reading fails.
scan_result scan_and_load(const std::string& content, std::size_t held_limit = default_held_limit,
                          std::string* message = nullptr)
{
    std::FILE* file = stream_of(content);
    scan_result result;
    try {
        reading_options options;
        options.held_limit = held_limit;
        recording r = read_recording(file, "samples.txt", options);
        result = {r.line_count,
                  static_cast<std::int32_t>(r.v.size()),
                  r.deltat,
                  {r.v.begin(), r.v.end()},
                  {r.i.begin(), r.i.end()}};
    } catch (const analysis_error& error) {
        if (message != nullptr)
            for (const std::string& line : configuration_mode_lines(error)) *message += line;
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
    {"paired",
     head + "<data>\n<v>1.5</v><i>-2e-3</i>\n<v>2</v><i>3</i>\n</data>\n",
     2,
     2,
     {1.5f, 2.0f},
     {-0.002f, 3.0f}},
    {"split_v_then_i", head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n<i>4</i>\n</data>\n", 4, 2, {1, 3}, {2, 4}},
    {"split_i_then_v", head + "<data>\n<i>2</i>\n<v>1</v>\n<i>4</i>\n<v>3</v>\n</data>\n", 4, 2, {1, 3}, {2, 4}},
    {"both_tags_on_one_line", "<sampling_frequency>500<data>\n<v>7</v><i>8</i>\n</data>", 1, 1, {7}, {8}},
    {"end_tag_alone_first_is_no_data", head + "<data>\n</data>\n", 0, 0, {}, {}},
    // Without the end tag, a last line that breaks the rules or has no
    // line end (the recording was cut off while it was written) is no data.
    {"no_end_tag_reads_to_the_end", head + "<data>\n<v>1</v><i>2</i>\n<v>3</v><i>4</i>\n", 2, 2, {1, 3}, {2, 4}},
    {"cut_off_after_a_blank_line", head + "<data>\n<v>1</v><i>2</i>\n<v>3</v><i>4</i>\n\n", 2, 2, {1, 3}, {2, 4}},
    {"cut_off_inside_a_line", head + "<data>\n<v>1</v><i>2</i>\n<v>3</v><i>4</i>\n<v>5</v><i>6", 2, 2, {1, 3}, {2, 4}},
    {"cut_off_without_the_last_line_end", head + "<data>\n<v>1</v><i>2</i>\n<v>3</v><i>4</i>", 1, 1, {1}, {2}},
    {"cut_off_at_a_closing_tag", head + "<data>\n<v>1</v><i>2</i>\n</acquisition>\n", 1, 1, {1}, {2}},
    {"cut_off_inside_a_number", head + "<data>\n<v>1</v><i>2</i>\n<v>3e\n", 1, 1, {1}, {2}},
    {"split_cut_off_after_a_pair", head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n", 2, 1, {1}, {2}},
    {"split_cut_off_inside_a_pair", head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n<v>4", 2, 1, {1}, {2}},
    {"split_cut_off_at_a_wrong_pair", head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n<v>4</v>\n", 2, 1, {1}, {2}},
    {"unclosed_split_tags", head + "<data>\n<v>0.5\n<i>0.001\n</data>\n", 2, 1, {0.5f}, {0.001f}},
    {"text_after_the_closing_tag", head + "<data>\n  <v>1</v><i>2</i> <!-- ok -->\n</data>\n", 1, 1, {1}, {2}},
    {"crlf",
     "<sampling_frequency>500\r\n<data>\r\n<v>1.5</v><i>-2e-3</i>\r\n<v>2</v><i>3</i>\r\n</data>\r\n",
     2,
     2,
     {1.5f, 2.0f},
     {-0.002f, 3.0f}},
    {"blanks_and_exponents",
     head + "<data>\n<v>   1.0e-06</v><i>\t-.5</i>\n<v> 5.</v><i>+.25E1</i>\n</data>\n",
     2,
     2,
     {1.0e-06f, 5.0f},
     {-0.5f, 2.5f}},
    {"100_character_paired_line", head + "<data>\n<v>1.25" + pad100 + "</v><i>7</i>\n</data>\n", 1, 1, {1.25f}, {7}},
    {"197_character_line_is_one_line", head + "<data>\n<v>1</v><i>2</i>" + pad197 + "\n</data>\n", 1, 1, {1}, {2}},
    {"198_character_line_is_one_too", head + "<data>\n<v>1</v><i>2</i>" + pad197 + " \n</data>\n", 1, 1, {1}, {2}},
    {"tag_beyond_the_old_piece_limit",
     std::string(190, ' ') + "<sampling_frequency>500\n<data>\n" + pad197 + pad197 + "<v>3</v><i>4</i>\n",
     1,
     1,
     {3},
     {4}},
    {"lone_cr_line_ends",
     "<sampling_frequency>500\r<data>\r<v>1</v><i>2</i>\r<v>3</v><i>4</i>\r</data>\r",
     2,
     2,
     {1, 3},
     {2, 4}},
    {"mixed_line_ends",
     "<sampling_frequency>500\n<data>\r\n<v>1</v><i>2</i>\r<v>3</v><i>4</i>\n</data>",
     2,
     2,
     {1, 3},
     {2, 4}},
    {"byte_order_mark", "\xEF\xBB\xBF<sampling_frequency>500\n<data>\n<v>1</v><i>2</i>\n", 1, 1, {1}, {2}},
    {"byte_order_mark_only_at_the_start", head + "<data>\n\xEF\xBB\xBF<v>1</v><i>2</i>\n", 1, 1, {1}, {2}},
    {"blanks_around_numbers", head + "<data>\n<v> \t7 </v><i>\t-8\t</i>\n", 1, 1, {7}, {-8}},
    {"long_numbers_and_white_space",
     head + "<data>\n<v>" + std::string(3000, ' ') + "0." + std::string(1000, '0') + "15e1000</v><i>1" +
         std::string(999, '0') + "e-999</i>\n",
     1,
     1,
     {static_cast<float>(0.15)},
     {1}},
    {"underflow_becomes_zero", head + "<data>\n<v>1e-50</v><i>-1e-400</i>\n", 1, 1, {0}, {-0.0f}},
    {"data_line_is_the_last_line", head + "<data>", 0, 0, {}, {}},
    {"data_tag_before_and_after_frequency",
     "<data>\n<v>9</v><i>9</i>\n<sampling_frequency>500\n<data>\n<v>1</v><i>2</i>\n</data>\n",
     1,
     1,
     {1},
     {2}},
};

void PrintTo(const sample_case& c, std::ostream* os)
{
    *os << c.name;
}

class sample_file : public testing::TestWithParam<sample_case> {};

TEST_P(sample_file, scans_and_loads)
{
    const sample_case& c = GetParam();
    const scan_result result = scan_and_load(c.content);
    EXPECT_EQ(result.count, c.count);
    EXPECT_EQ(result.points, c.points);
    EXPECT_EQ(result.v, c.v);
    EXPECT_EQ(result.i, c.i);
    // Lines over a tiny limit are summarized, never held: same result.
    for (std::size_t limit : {1, 2, 5, 17}) {
        const scan_result small = scan_and_load(c.content, limit);
        EXPECT_EQ(small.count, c.count) << limit;
        EXPECT_EQ(small.v, c.v) << limit;
        EXPECT_EQ(small.i, c.i) << limit;
    }
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
    {"tag_in_other_case", "<Sampling_Frequency>500\n<data>\n\n"},
};

void PrintTo(const failure_case& c, std::ostream* os)
{
    *os << c.name;
}

class structure_failure : public testing::TestWithParam<failure_case> {};

TEST_P(structure_failure, gives_the_structure_message)
{
    EXPECT_EQ(scan_and_load(GetParam().content).count, 0);
}

INSTANTIATE_TEST_SUITE_P(cases, structure_failure, testing::ValuesIn(failure_cases),
                         [](const testing::TestParamInfo<failure_case>& info) { return info.param.name; });

TEST(reading, takes_the_interval_from_the_number_after_the_tag)
{
    const struct {
        const char* line;
        float interval;
    } cases[] = {
        {"<sampling_frequency>500</sampling_frequency>", static_cast<float>(1.0 / 500.0)},
        {"<sampling_frequency> 5.e2 </sampling_frequency>", static_cast<float>(1.0 / 500.0)},
        {"<sampling_frequency>1e1", 0.1f},
        {"text <sampling_frequency>.25", 4.0f},
        {"<sampling_frequency>1e-37", static_cast<float>(1e37)},
        {"<sampling_frequency>1e37", static_cast<float>(1e-37)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scan_and_load(std::string(c.line) + "\n<data>\n\n").interval, c.interval) << c.line;
    // 500 Hz: the single-precision interval is just above 0.002.
    EXPECT_GT(static_cast<double>(scan_and_load(head + "<data>\n\n").interval), 0.002);
}

TEST(reading, stops_on_a_frequency_outside_the_range_and_on_values_too_large)
{
    const std::string range = "\nFatal error: the sampling frequency must be a number from 1e-37 to 1e37.\n";
    const auto too_large = [](int line) {
        return "\nFatal error: the value on line " + std::to_string(line) +
               " of the data block is too large for single precision.\n";
    };
    const struct {
        std::string content;
        std::string message;
    } cases[] = {
        {"<sampling_frequency>0\n<data>\n\n", range},
        {"<sampling_frequency>-500\n<data>\n\n", range},
        {"<sampling_frequency>\n<data>\n\n", range},
        {"<sampling_frequency>9.99e-38\n<data>\n\n", range},
        {"<sampling_frequency>1.0000001e37\n<data>\n\n", range},
        {"<sampling_frequency>1e39\n<data>\n\n", range},
        {"<sampling_frequency>1e308\n<data>\n\n", range},
        {"<sampling_frequency>1e400\n<data>\n\n", range},
        // The structure message comes first, the frequency's before any value's.
        {"<sampling_frequency>0\n",
         "\nThe structure of the input data file is unknown.\n"
         "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n"},
        {"<sampling_frequency>0\n<data>\n<v>1e39</v><i>1</i>\n", range},
        {head + "<data>\n<v>1</v><i>2</i>\n<v>1</v><i>1e39</i>\n<v>-1e400</v><i>2</i>\n", too_large(2)},
        {head + "<data>\n<v>3.4028236e38</v><i>2</i>\n", too_large(1)},
        // Overwritten later, or beyond the sections used: still counts.
        {head + "<data>\n<v>1e39</v>\n<v>1</v>\n<i>1</i>\n<i>1</i>\n", too_large(1)},
        // On a complete last line too, with or without the end tag.
        {head + "<data>\n<v>1</v>\n<i>1</i>\n<v>1e39</v>\n</data>\n", too_large(3)},
        {head + "<data>\n<v>1</v><i>1</i>\n<v>1</v><i>-1e39</i>\n", too_large(2)},
        // The frequency: a number, blanks, then "<" or the line's end.
        {"<sampling_frequency>500,5</sampling_frequency>\n<data>\n<v>1</v><i>2</i>\n", range},
        {"<sampling_frequency>500Hz\n<data>\n<v>1</v><i>2</i>\n", range},
        {"<sampling_frequency>5e\n<data>\n<v>1</v><i>2</i>\n", range},
        {"<sampling_frequency>nan\n<data>\n<v>1</v><i>2</i>\n", range},
        // The frequency's message comes before any line's.
        {"<sampling_frequency>x\n<data>\n<v>y</v><i>2</i>\n<v>1</v><i>2</i>\n", range},
    };
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(scan_and_load(c.content, default_held_limit, &message).count, 0) << c.content;
        EXPECT_EQ(message, c.message) << c.content;
    }
    // The largest single-precision value is not too large.
    EXPECT_EQ(scan_and_load(head + "<data>\n<v>3.4028234e38</v><i>2</i>\n").v[0], 3.4028234e38f);
}

// Every value lands in its own sample or the reading stops at the first
// line that breaks the rules; the end tag makes every line count.
TEST(reading, stops_at_the_first_line_that_breaks_the_block_rules)
{
    const auto not_a_number = [](int line) {
        return "\nFatal error: the value on line " + std::to_string(line) + " of the data block is not a number.\n";
    };
    const auto no_pair = [](int line) {
        return "\nFatal error: line " + std::to_string(line) + " of the data block does not hold a v and an i value.\n";
    };
    const auto broken = [](int first) {
        return "\nFatal error: lines " + std::to_string(first) + " and " + std::to_string(first + 1) +
               " of the data block do not hold one v and one i value.\n";
    };
    const std::string paired = head + "<data>\n<v>1e-4</v><i>2e-4</i>\n";
    const std::string split = head + "<data>\n<v>1e-4</v>\n<i>2e-4</i>\n";
    const std::string more_pairs = "<v>3e-4</v><i>4e-4</i>\n</data>\n";
    const std::string more_split = "<v>3e-4</v>\n<i>4e-4</i>\n</data>\n";
    const struct {
        std::string content;
        std::string message;
    } cases[] = {
        // Values that are not numbers of the grammar.
        {paired + "<v>nan</v><i>1</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>1</v><i>inf</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>0x10</v><i>1</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>3,5</v><i>1</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>3abc</v><i>1</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>1e</v><i>1</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>1.2.3</v><i>1</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v></v><i>1</i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>1</v><i></i>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>1</v><i>2</v>\n" + more_pairs, not_a_number(2)},
        {paired + "<v>1 2</v><i>2</i>\n" + more_pairs, not_a_number(2)},
        {split + "<v>-</v>\n<i>1</i>\n" + more_split, not_a_number(3)},
        {split + "<v>1</v>\n<i>1</v>\n" + more_split, not_a_number(4)},
        {split + "<v>1</v>\n<i>\v1</i>\n" + more_split, not_a_number(4)},
        // Paired lines without both values.
        {paired + "<v>9</v>\n" + more_pairs, no_pair(2)},
        {paired + "<v>9</v>  <i>1</i>\n" + more_pairs, no_pair(2)},
        {paired + "</v><i>5</i>\n" + more_pairs, no_pair(2)},
        {paired + "</v><i>5</i><v>6\n" + more_pairs, no_pair(2)},
        {paired + "\n" + more_pairs, no_pair(2)},
        {paired + "<!-- note -->\n" + more_pairs, no_pair(2)},
        {paired + "<v>1</v><i>2</i>\r\r\n" + more_pairs, no_pair(3)},
        {paired + "</data>\n", ""},  // for contrast: a complete block
        {paired + "<v>1</v><i>2</i>\n</acquisition>\n</data>\n", no_pair(3)},
        // Split pairs without one v and one i value.
        {split + "<v>1</v>\n<v>2</v>\n" + more_split, broken(3)},
        {split + "<i>1</i>\n<i>2</i>\n" + more_split, broken(3)},
        {split + "\n<i>2</i>\n" + more_split, broken(3)},
        {split + "<v>1</v>\n\n" + more_split, broken(3)},
        {split + "<v>1</v><i>2</i>\n<v>1</v>\n" + more_split, broken(3)},
        {split + "<v>1</v> <i>2</i>\n<v>1</v>\n" + more_split, broken(3)},
        {split + "<v>1</v>\n</data>\n", broken(3)},
        {head + "<data>\n</data>\n<v>1</v>\n<i>2</i>\n</data>\n", broken(1)},
        // The first stop wins, whatever its kind.
        {paired + "\n<v>x</v><i>1</i>\n" + more_pairs, no_pair(2)},
        {paired + "<v>x</v><i>1</i>\n\n" + more_pairs, not_a_number(2)},
        {paired + "<v>1e39</v><i>1</i>\n<v>x</v><i>1</i>\n" + more_pairs,
         "\nFatal error: the value on line 2 of the data block is too large for single precision.\n"},
        // A line that breaks the rules stops even when the recording ends after it.
        {paired + "<v>x</v><i>1</i>\n<v>1</v><i>2</i>\n", not_a_number(2)},
        {split + "<v>1</v>\n<v>2</v>\n<v>1</v>\n", broken(3)},
    };
    for (const auto& c : cases) {
        std::string message;
        scan_and_load(c.content, default_held_limit, &message);
        EXPECT_EQ(message, c.message) << c.content;
        for (const std::size_t limit : {std::size_t{3}, std::size_t{9}}) {
            std::string summarized;
            scan_and_load(c.content, limit, &summarized);
            EXPECT_EQ(summarized, c.message) << limit << " " << c.content;
        }
    }
}

TEST(reading, counts_large_blocks_in_both_layouts)
{
    std::string paired = head + "<data>\n";
    std::string split = head + "<data>\n";
    for (int k = 0; k < 100; ++k) paired += "<v>" + std::to_string(k) + "</v><i>" + std::to_string(-k) + "</i>\n";
    for (int k = 0; k < 200; ++k) split += (k % 2 == 0 ? "<v>" : "<i>") + std::to_string(k) + "\n";
    const scan_result p = scan_and_load(paired + "</data>\n");
    EXPECT_EQ(p.count, 100);
    EXPECT_EQ(p.points, 100);
    EXPECT_EQ(p.v[99], 99.0f);
    EXPECT_EQ(p.i[99], -99.0f);
    const scan_result s = scan_and_load(split + "</data>\n");
    EXPECT_EQ(s.count, 200);
    EXPECT_EQ(s.points, 100);
    // A 201st line: without the end tag it has no pair and is no data.
    EXPECT_EQ(scan_and_load(split + "<v>200\n").count, 200);
    EXPECT_EQ(s.v[99], 198.0f);
    EXPECT_EQ(s.i[99], 199.0f);
}

}  // namespace

namespace {

// The outcome of a reading as comparable text: count, series bits, or the message.
std::string outcome_of(const std::string& content, const reading_options& options, bool sequential = false)
{
    return reading_outcome(stream_of(content, sequential), options);
}

// Files whose runs and blocks split inside the interesting cases: CR LF
// pairs, long lines, the end tag, split-layout pairs, layouts mixed.
std::vector<std::string> parallel_cases()
{
    std::vector<std::string> cases;
    for (const sample_case& c : sample_cases) cases.push_back(c.content);
    std::string paired = head + "<data>\r\n";
    std::string split = head + "<data>\n";
    std::string mixed = head + "<data>\n";
    for (int k = 0; k < 300; ++k) {
        const std::string v = std::to_string(k * 0.37 - 50), i = std::to_string(k * -1.5e-3);
        paired += "<v>" + v + "</v><i>" + i + "</i>" + (k % 3 == 0 ? "\r\n" : k % 3 == 1 ? "\n" : "\r");
        if (k % 50 == 7) paired += "<v>1</v><i>2</i>" + std::string(300, ' ') + "\n";
        split += (k % 2 ? "<i>" + i + "</i>\n" : "<v>" + v + "</v>\r\n");
        mixed += (k % 7 == 3 ? "<v>" + v + "</v><i>" + i + "</i>\n" : k % 2 ? "<i>" + i + "\n" : "<v>" + v + "\n");
    }
    cases.push_back(paired + "</data>\n<v>99</v><i>99</i>\n");
    cases.push_back(split + "</data>\n<v>99</v>\n");
    cases.push_back(split + "<v>1</v>\n");  // odd count, no end tag
    cases.push_back(mixed + "</data>\n");
    // A split block whose pair line, early, stores within its run; the same
    // pair lines later store far beyond it.
    std::string late_pairs = head + "<data>\n<v>0.5</v>\n<i>0.25</i>\n<v>1.5</v><i>2.5</i>\n";
    for (int k = 0; k < 300; ++k)
        late_pairs += k % 2 ? "<i>" + std::to_string(k) + "</i>\n" : "<v>" + std::to_string(k) + "</v>\n";
    for (int k = 0; k < 50; ++k) late_pairs += "<v>" + std::to_string(k % 9 + 1) + ".5</v><i>2.5</i>\n";
    cases.push_back(late_pairs + "</data>\n");
    // A split block whose run of pair lines crosses the end of the indices
    // that are the run's own.
    std::string crossing_pairs = head + "<data>\n";
    for (int k = 0; k < 600; ++k) {
        const std::string v = std::to_string(k % 9 + 1) + ".5";
        crossing_pairs += k >= 100 && k < 500 ? "<v>" + v + "</v><i>2.5</i>\n"
                          : k % 2             ? "<i>" + v + "</i>\n"
                                              : "<v>" + v + "</v>\n";
    }
    cases.push_back(crossing_pairs + "</data>\n");
    cases.push_back(paired + "<v>1e39</v><i>1</i>\n");
    std::string overflows_after_the_end;
    for (int k = 0; k < 300; ++k) overflows_after_the_end += "<v>1e39</v><i>1</i>\n";
    cases.push_back(paired + "</data>\n" + overflows_after_the_end);  // after the end: no error
    // Pairs of two v lines, unclosed or in common shapes, alone or after
    // many good pairs (where the shapes are known and read in turn).
    std::string two_v = head + "<data>\n";
    for (int k = 0; k < 300; ++k) two_v += "<v>" + std::to_string(k) + "\n";
    cases.push_back(two_v);
    for (const int good_pairs : {0, 1, 150}) {
        for (const char* const wrong : {"<v>4.25</v>\n<v>5.25</v>\n", "<i>4.25</i>\n<i>5.25</i>\n"}) {
            std::string pairs = head + "<data>\n";
            for (int k = 0; k < good_pairs; ++k) pairs += "<v>1." + std::to_string(k % 10) + "5</v>\n<i>2.25</i>\n";
            for (int k = 0; k < 200; ++k) pairs += k == 60 ? wrong : "<v>3.25</v>\n<i>2.25</i>\n";
            cases.push_back(pairs + "</data>\n");
            // The same shapes with the pairs' order turning at the wrong one.
            std::string turned = head + "<data>\n<v>1.25</v>\n";
            for (int k = 0; k < 200; ++k) turned += k == 60 ? "<v>4.25</v>\n" : "<i>3.25</i>\n<v>2.25</v>\n";
            cases.push_back(turned + "<i>3.25</i>\n</data>\n");
        }
    }
    // A stop whose unit ends at the end tag, the tag just after the stop.
    cases.push_back(head + "<data>\n<v>1</v>\n<i>2</i>\n>2./v>\n</data>\n");
    cases.push_back(head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n<v>2</v>\n</data>\n<v>1</v>\n");
    cases.push_back(head + "<data>\n<v>1</v><i>2</i>\n<v>1</v>\n</data>\n");
    // Pairs v, i and then i, v: two i lines in a row, in two pairs.
    std::string order_turns = head + "<data>\n";
    for (int k = 0; k < 400; ++k) order_turns += k < 200 ? "<v>1.25</v>\n<i>2.5</i>\n" : "<i>3.25</i>\n<v>4.5</v>\n";
    cases.push_back(order_turns + "</data>\n");
    // A paired block whose later split lines would land below their own run.
    cases.push_back(head + "<data>\n<v>1</v><i>2</i>\n" + std::string(200, '\n') + "<v>5</v>\n<i>6</i>\n</data>\n");
    cases.push_back(paired + "</data>\n" + std::string(100, '\n') + "<v>5</v>\n<i>6</i>\n");
    // Lines a character away from the common ones, which must take the general reading.
    std::string near_misses = head + "<data>\n<v>1.5</v><i>2.5</i>\n";
    for (const char* line :
         {"<v>1.5</v><i>2.5</i>x", "<v>1</v><i>2</i></data>", "<i>3</v><i>4</i>", "<v>-.5e+3</v><i>+7.</i>",
          "<v>1e</v><i>2E-</i>", "<v>12345678901234567890</v><i>1</i>", "<v>9007199254740993</v><i>1e-23</i>",
          "<v>18446744073709551617</v><i>0.000000018446744073709551617</i>", "<V>1</V><i>2</i>", "<v> 1</v><i>\t2</i>",
          "<v>1</i>", "<i>5</i><v>6</v>", "<v>.</v><i>-</i>", "<v>0.000000000000000000001</v><i>-0</i>",
          "<v>1</v><i>2</i>\r", "<i>8</i>\r\n", "<v>1</v>"}) {
        for (int k = 0; k < 40; ++k) near_misses += std::string(line) + "\n";
        // Each near miss on its own, between common lines of both layouts.
        std::string lines;
        for (int k = 0; k < 40; ++k) lines += std::string(line) + "\n";
        std::string common_pairs;
        std::string common_split;
        for (int k = 0; k < 60; ++k) {
            common_pairs += "<v>" + std::to_string(k) + ".5</v><i>-0.25</i>\n";
            common_split += "<v>" + std::to_string(k) + ".5</v>\n<i>-0.25</i>\n";
        }
        cases.push_back(head + "<data>\n" + common_pairs + lines + common_pairs + "</data>\n");
        cases.push_back(head + "<data>\n" + common_split + lines + common_split + "</data>\n");
    }
    cases.push_back(near_misses);
    // Numbers of 16 significant digits beside a single-precision rounding
    // midpoint, in repeated shapes.
    std::string midpoints = head + "<data>\n";
    for (int k = 0; k < 400; ++k)
        midpoints += "<v>1.00000005960464" + std::to_string(k % 10) + "</v><i>-3.00000017881393" +
                     std::to_string(9 - k % 10) + "</i>\n";
    cases.push_back(midpoints + "</data>\n");
    // Lines that repeat a few shapes with other digits: the same shape may
    // hold a number the exact path cannot take (exponent 23 and beyond).
    const char* const shapes[] = {"<v>#.######e-0#</v><i>0.########</i>",
                                  "<v>-#.######e-0#</v><i>0.########</i>",
                                  "<v>#.#e-##</v><i>#</i>",
                                  "<v>-#.###</v><i>+#.###</i>",
                                  "<v>###############</v><i>#.##############</i>",
                                  "<v>################</v><i>#</i>",
                                  "<v>#E+#</v><i>##e#</i>",
                                  "<v>#.</v><i>.#</i>",
                                  "<v>#e-###</v><i>#.#e-##</i>",
                                  "<v>#.#####e-0#</v><i>0.######################################</i>",
                                  "<v>####.####</v><i>-#######.#</i>",
                                  "<v>########.</v><i>.########</i>",
                                  "<v>##.#e-01#</v><i>+.###</i>",
                                  "<v>-#.##############e-0#</v><i>-#.##############e+0#</i>"};
    // Each shape for 7 lines in a row, or for 100 (as a file repeats one);
    // with a wrong character now and then, or none.
    for (const std::string layout : {"paired", "split", "paired runs", "split runs", "paired clean", "split clean"}) {
        std::string repeated = head + "<data>\n";
        unsigned state = 7;
        for (int k = 0; k < 3000; ++k) {
            const bool runs = layout.ends_with("runs");
            std::string line = shapes[k / (runs ? 100 : 7) % std::size(shapes)];
            // Now and then a character just beside the digits: at random, or
            // in runs on every fifth line, at each digit's place in turn.
            const auto places = std::count(line.begin(), line.end(), '#');
            std::ptrdiff_t place = 0;
            for (char& c : line) {
                state = state * 1103515245 + 12345;
                const unsigned r = state >> 16;
                if (c != '#') continue;
                const bool beside = layout.ends_with("clean") ? false
                                    : runs                    ? k % 5 == 0 && place++ == k / 5 % places
                                                              : r % 61 < 2;
                c = beside ? (r % 2 ? ':' : '/') : static_cast<char>('0' + r % (k % 3 == 0 ? 2 : 10));
            }
            if (layout.starts_with("split"))
                line = k % 2 ? line.substr(line.find("<i>")) : line.substr(0, line.find("<i>"));
            repeated += line + "\n";
        }
        cases.push_back(repeated);
    }
    return cases;
}

TEST(parallel_reading, gives_the_sequential_result_for_every_thread_count_and_block_size)
{
    for (const std::string& content : parallel_cases()) {
        const std::string sequential = outcome_of(content, reading_options{}, true);
        for (const unsigned threads : {1u, 2u, 3u, 7u}) {
            for (const std::size_t block :
                 {std::size_t{16}, std::size_t{37}, std::size_t{64}, std::size_t{1000}, std::size_t{1} << 20}) {
                for (const std::size_t held : {std::size_t{5}, default_held_limit}) {
                    EXPECT_EQ(outcome_of(content, reading_options{threads, block, held}), sequential)
                        << threads << " threads, block " << block << ", held " << held << ":\n"
                        << content.substr(0, 200);
                }
            }
        }
    }
}

// The digits read 8 at a time, as on a processor without SSSE3.
TEST(parallel_reading, gives_the_same_result_with_the_portable_digit_reading)
{
    for (const std::string& content : parallel_cases())
        for (const unsigned threads : {1u, 2u})
            EXPECT_EQ(outcome_of(content, reading_options{threads, 1000, default_held_limit, false}),
                      outcome_of(content, reading_options{}, true))
                << threads << " threads:\n"
                << content.substr(0, 200);
}

// Lines counted from just below 2^31 (lines_before): read on, line by line
// or in regions, unless the reading takes at most 2147483647 of them, as
// the configuration mode does.
TEST(reading, counts_past_2_31_lines_unless_limited)
{
    const std::string split = head + "<data>\n<v>1</v>\n<i>2</i>\n<v>3</v>\n<i>4</i>\n</data>\n";
    reading_options options;
    options.lines_before = 2147483646;
    for (const bool sequential : {true, false}) {
        options.most_lines = std::numeric_limits<std::int64_t>::max();
        EXPECT_EQ(outcome_of(split, options, sequential).substr(0, 24), "2147483650 500.000000 2:");
        options.most_lines = most_count;
        EXPECT_EQ(outcome_of(split, options, sequential),
                  "\nFatal error: the data block has more than 2147483647 lines.\n");
    }
}

}  // namespace

namespace {

// Blocks of several MiB are read by the threads in parts at once; a part's
// edge falls anywhere in a line.
TEST(parallel_reading, reads_large_blocks_in_parts)
{
    std::string content = head + "<data>\n";
    for (int k = 0; content.size() < (std::size_t{7} << 20); ++k)
        content += "<v>" + std::to_string(k * 1e-3) + "</v><i>" + std::to_string(-k) + "</i>" + (k % 5 ? "\n" : "\r\n");
    const std::string sequential = outcome_of(content, reading_options{}, true);
    for (const unsigned threads : {2u, 3u})
        for (const std::size_t block : {std::size_t{2} << 20, (std::size_t{3} << 20) + 11})
            EXPECT_EQ(outcome_of(content, reading_options{threads, block, default_held_limit}), sequential);
}

}  // namespace

// A stop carries its line as data, for the front ends.
TEST(reading, a_stop_names_its_line_as_data)
{
    std::FILE* file = stream_of(head + "<data>\n<v>1</v><i>2</i>\n<v>1</v><i>2</i>\n<v>x</v><i>2</i>\n</data>\n");
    try {
        read_recording(file, "samples.txt");
        ADD_FAILURE() << "no stop";
    } catch (const analysis_error& error) {
        EXPECT_EQ(error.data_line, 3);
        EXPECT_EQ(error.file, "samples.txt");
    }
    std::fclose(file);
}
