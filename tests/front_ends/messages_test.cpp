// The words of reading problems: every setting named through the front
// end's names, never by a name of the library's own.
#include <gtest/gtest.h>

#include <string>

#include "front_ends/messages.hpp"

using namespace veltrin;

namespace {

// Each name in angle brackets: "<table N>", "<table:all>".
std::string marked_text(setting_id id, std::string_view between = {}, std::string_view after = {})
{
    std::string text(1, '<');
    text.append(row_of(id).keyword).append(between).append(after).push_back('>');
    return text;
}

std::string marked(setting_id id)
{
    return marked_text(id);
}

std::string marked_placeholder(setting_id id)
{
    return marked_text(id, " ", row_of(id).value_name);
}

std::string marked_word(setting_id id, std::string_view word)
{
    return marked_text(id, ":", word);
}

const setting_names marked_names{marked, marked_placeholder, marked_word};

}  // namespace

TEST(messages, name_no_option_of_their_own)
{
    for (int k = 0; k <= static_cast<int>(reading_rule::block_too_short); ++k) {
        reading_problem problem{.rule = static_cast<reading_rule>(k),
                                .setting = setting_id::v_column,
                                .scale_setting = setting_id::v_scale,
                                .line = 3,
                                .other_line = 1,
                                .column = quantity::time,
                                .label = "t",
                                .text = "x",
                                .lines = {1, 9},
                                .joined = true};
        problem.decimal_comma_hint = true;
        const std::string text = reading_text(problem, marked_names);
        EXPECT_EQ(text.find("--"), std::string::npos) << text;
        EXPECT_EQ(text.find("Fatal"), std::string::npos) << text;
    }
}

TEST(messages, word_the_settings_as_the_front_end_names_them)
{
    const struct {
        reading_problem problem;
        const char* expected;
    } cases[] = {
        {{.rule = reading_rule::several_tables, .lines = {1, 9}},
         "the file holds 2 tables, their header rows on lines 1 and 9: choose one with <table N>, or join them with "
         "<table:all>"},
        {{.rule = reading_rule::unknown_unit,
          .setting = setting_id::time_column,
          .scale_setting = setting_id::fs,
          .column = quantity::time,
          .label = "t (d)",
          .text = "d"},
         "the time column (t (d)) is in 'd', a unit the program does not know: give <fs HZ> to read it anyway"},
        {{.rule = reading_rule::unit_of_other_quantity,
          .setting = setting_id::i_column,
          .scale_setting = setting_id::i_scale,
          .other_line = 2,
          .column = quantity::current,
          .unit_of = quantity::voltage,
          .label = "I"},
         "the i column (I), by the units row (line 2), is in volts: choose the i column with <i_column>, or give "
         "<i_scale> to read it anyway"},
        {{.rule = reading_rule::table_missing, .lines = {1}, .count = 3, .header_row = true},
         "<table> 3: the file holds 1 table (header row on line 1)"},
        {{.rule = reading_rule::cell_not_a_number, .line = 4, .label = "E", .text = "1,5", .decimal_comma_hint = true},
         "line 4: the v column (E) holds '1,5', which is not a number; for decimal commas, give <decimal_comma>"},
        {{.rule = reading_rule::block_too_short, .count = 2, .limit = 8, .value = 2.0, .seconds = 1.0},
         "a block of 2 samples (1 s at 2 Hz) cannot hold the sections, which need 8 samples"},
    };
    for (const auto& c : cases) EXPECT_EQ(reading_text(c.problem, marked_names), c.expected);
}
