// The reading engine with a grammar of the test's own, as a new line-based
// format would bring one: no fast path, units of one line or of two.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/number_text.hpp"
#include "input/reading_engine.hpp"
#include "test_files.hpp"

using namespace veltrin;

namespace {

// A first line with the frequency; then lines "v;i", or lines of one number
// each, v and i in turn (units of two); "end" ends the block.
struct semicolon_grammar {
    using framing = line_framing;
    struct run_state {};
    static constexpr std::string_view watched_tags[] = {";"};
    static std::string summarize(std::span<const tag_value>) { return "long"; }

    bool pairs = true;

    static bool number(std::string_view text, double& value)
    {
        if (text.empty() || number_extent(text.data(), text.data() + text.size()) != text.size()) return false;
        value = parse_number(text.data(), text.data() + text.size());
        return true;
    }

    void read_header(line_reader& reader, const std::string& name, recording& result)
    {
        std::string_view line;
        if (!read_line(reader, line) || !number(line, result.sampling_frequency))
            fail_reading(error_kind::bad_data, name, {.rule = reading_rule::no_structure});
        check_readable(reader, name);
        result.deltat = static_cast<float>(1.0 / result.sampling_frequency);
    }
    void start_block(std::string_view first_line) { pairs = first_line.find(';') != std::string_view::npos; }
    int unit_lines() const { return pairs ? 1 : 2; }
    bool ends_block(std::string_view line, std::int64_t) const { return line == "end"; }
    reading_stop read_data_line(std::string_view line, std::int64_t c, run_state&, line_stores& s) const
    {
        const std::size_t at = line.find(';');
        if (!pairs) {
            s = line_stores{1, {c % 2 == 0, false}, {c / 2, 0}, {0.0, 0.0}};
            return at == std::string_view::npos && number(line, s.value[0]) ? reading_stop{}
                                                                            : reading_stop{first_grammar_stop, c};
        }
        s = line_stores{2, {true, false}, {c, c}, {0.0, 0.0}};
        const bool good = at != std::string_view::npos && number(line.substr(0, at), s.value[0]) &&
                          number(line.substr(at + 1), s.value[1]);
        return good ? reading_stop{} : reading_stop{first_grammar_stop, c};
    }
    reading_stop unfinished_unit(std::int64_t c) const { return {first_grammar_stop + 1, c}; }
    reading_problem stop_problem(const reading_stop& stop, std::string_view) const
    {
        return {.rule = reading_rule::line_unreadable, .line = stop.line + 1, .count = stop.kind};
    }
};

// The outcome as text: the lines and samples, or the message. A memory
// stream is read line by line; a temporary file in regions, by threads.
std::string outcome_of(const std::string& content, const reading_options& options, bool sequential = false)
{
    std::FILE* file = stream_of(content, sequential);
    std::string text;
    try {
        const recording r = read_with_grammar(file, "samples.txt", options, semicolon_grammar{});
        text = std::to_string(r.line_count) + ':';
        for (std::size_t k = 0; k < r.v.size(); ++k)
            text += ' ' + std::to_string(r.v[k]) + ',' + std::to_string(r.i[k]);
    } catch (const analysis_error& error) {
        if (error.reading)
            text += "stop " + std::to_string(error.reading->count) + " on line " + std::to_string(error.reading->line);
    }
    std::fclose(file);
    return text;
}

TEST(reading_engine, reads_a_grammar_of_its_own_alike_for_every_thread_count_and_block_size)
{
    std::string many = "500\n";
    for (int k = 0; k < 2000; ++k) many += std::to_string(k) + ";" + std::to_string(-k) + (k % 3 ? "\n" : "\r\n");
    std::string many_single = "500\n";
    for (int k = 0; k < 2000; ++k) many_single += std::to_string(k) + "\n";
    const struct {
        std::string content;
        std::string expected;  // empty: only alike
    } cases[] = {
        {"500\n1;2\n3;4\nend\n9;9\n", "2: 1.000000,2.000000 3.000000,4.000000"},
        {"500\n1\n2\n3\n4\nend\n", "4: 1.000000,2.000000 3.000000,4.000000"},
        // Cut off while written: the last unit is dropped when it breaks the
        // rules or lacks its line end; before the end it stops the reading.
        {"500\n1;2\n3;4", "1: 1.000000,2.000000"},
        {"500\n1;2\n3;", "1: 1.000000,2.000000"},
        {"500\n1\n2\n3\n", "2: 1.000000,2.000000"},
        {"500\n1\n2\n3\nend\n", "stop 4 on line 3"},
        {"500\n1;2\nx\n3;4\n", "stop 3 on line 2"},
        {"500\n1\n2\n3\nx;\n5\n6\n", "stop 3 on line 4"},
        {"500\n1;2\n1;1e39\n", "stop 1 on line 2"},
        {many + "end\n", ""},
        {many + "7;x\n" + many, ""},
        {many_single + "end\n", ""},
        {many_single + "x\n", ""},
    };
    for (const auto& c : cases) {
        const std::string sequential = outcome_of(c.content, reading_options{}, true);
        if (!c.expected.empty()) {
            EXPECT_EQ(sequential, c.expected) << c.content;
        }
        for (const unsigned threads : {1u, 2u, 3u})
            for (const std::size_t block : {std::size_t{7}, std::size_t{64}, std::size_t{1000}, std::size_t{1} << 20})
                EXPECT_EQ(outcome_of(c.content, reading_options{threads, block}), sequential)
                    << threads << " threads, block " << block << ": " << c.content.substr(0, 40);
    }
}

}  // namespace
