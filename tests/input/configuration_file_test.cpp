// The configuration's "%s %d %d %d %s" reading.
#include <gtest/gtest.h>

#include <string>

#include "input/configuration_file.hpp"

using namespace veltrin;

namespace {

struct config_case {
    std::string text;
    bool valid;
    run_config expected;
};

const config_case config_cases[] = {
    {"data.txt 1 4 128 out.txt", true, {"data.txt", 1, 4, 128, "out.txt"}},
    {"data.txt\n1\n4\n128\nout.txt\n", true, {"data.txt", 1, 4, 128, "out.txt"}},
    {"  \t data.txt\r\n 0 \t +2 -16\r\n out.txt trailing words are ignored", true, {"data.txt", 0, 2, -16, "out.txt"}},
    {"d 2147483647 -2147483648 0 r", true, {"d", 2147483647, -2147483648, 0, "r"}},
    {"d 1 4 128.5 r", false, {}},  // a number is a whole token
    {"d 1 4 128x", false, {}},
    {"d 1 4 1024.0 result.txt", false, {}},
    {"d 1 4 32result.txt", false, {}},
    {"d 1 4+ 8 r", false, {}},
    {"\xEF\xBB\xBFname.xml 1 4 128 out.txt", true, {"name.xml", 1, 4, 128, "out.txt"}},
    {"d\v1\f4\r128\r\nr", true, {"d", 1, 4, 128, "r"}},
    {std::string("a\0b 1 4 128 r\0s", 15), true, {"a", 1, 4, 128, "r"}},  // a name ends at a NUL, as a C string
    {"d 1 4 128", false, {}},
    {"", false, {}},
    {"d 1 x 128 r", false, {}},
    {"d 1 4 + r", false, {}},
    {"d 2147483648 4 128 r", false, {}},
    {"d 1 -2147483649 128 r", false, {}},
    {"d 1 4 99999999999999999999999 r", false, {}},
    {"d 1.5 4 128 r", false, {}},
};

TEST(run_config, reads_like_a_formatted_scan)
{
    for (const config_case& c : config_cases) {
        run_config config;
        ASSERT_EQ(parse_run_config(c.text, config), c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(config.data_file_name, c.expected.data_file_name) << c.text;
        EXPECT_EQ(config.hanning, c.expected.hanning) << c.text;
        EXPECT_EQ(config.nb_section, c.expected.nb_section) << c.text;
        EXPECT_EQ(config.nbpoint_section, c.expected.nbpoint_section) << c.text;
        EXPECT_EQ(config.result_file_name, c.expected.result_file_name) << c.text;
    }
}

TEST(run_config, names_of_any_length)
{
    const std::string name(5000, 'n');
    run_config config;
    ASSERT_TRUE(parse_run_config(name + " 1 2 4 " + name + "r", config));
    EXPECT_EQ(config.data_file_name, name);
    EXPECT_EQ(config.result_file_name, name + "r");
}

}  // namespace
