// The configuration mode's settings rules, in its order and its words, run in-process.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "analysis/configuration_run.hpp"
#include "front_ends/configuration_mode.hpp"
#include "test_files.hpp"

using namespace veltrin;

namespace {

const char* const too_few_points = "\nFatal error: the number of data points is too low. Decrease\n"
                                   "the number of sections in the file config_veltrin.txt.\n";
const char* const not_power_of_two = "\nFatal error: the number of points per section is not a power of 2.\n";
const char* const no_sections = "\nFatal error: the number of sections must be at least 1.\n";

// The configuration mode's message for these sections over a recording of
// `points` samples, or "" when the table was computed.
std::string outcome(std::int32_t nb_section, std::int32_t nbpoint_section, std::int32_t points)
{
    const std::string dir = make_scratch_directory();
    std::string samples = "<sampling_frequency>500</sampling_frequency>\n<data>\n";
    for (std::int32_t k = 0; k < points; ++k) samples += "<v>1</v><i>1</i>\n";
    write_file(dir + "/samples.txt", samples + "</data>\n");
    write_file(dir + "/config.txt",
               "samples.txt 0 " + std::to_string(nb_section) + " " + std::to_string(nbpoint_section) + " result.txt\n");
    try {
        analyse_config_file(dir + "/config.txt", "config_veltrin.txt", dir, 1);
    } catch (const analysis_error& error) {
        std::string text;
        for (const std::string& line : configuration_mode_lines(error)) text += line;
        return text;
    }
    return "";
}

struct check_case {
    std::int32_t nb_section;
    std::int32_t nbpoint_section;
    std::int32_t points;
    const char* message;
};

const check_case check_cases[] = {
    {4, 128, 512, ""},  // equality is accepted
    {4, 128, 511, too_few_points},
    {1, 2, 2, ""},
    {1, 3, 8, not_power_of_two},
    {1, 6, 8, not_power_of_two},
    {1, 100, 128, not_power_of_two},
    {1, 1, 8, not_power_of_two},
    {1, 0, 8, not_power_of_two},
    {1, -8, 8, not_power_of_two},
    {1, 100, 50, too_few_points},                 // both fail: the data-points message wins
    {2147483647, 1073741824, 8, too_few_points},  // the product does not wrap
    {1, 1073741825, 8, too_few_points},
    {1, 1073741824, 8, too_few_points},  // the largest power of 2 passes the doubling
    {0, 8, 8, no_sections},
    {-3, 8, 8, no_sections},
    {0, 6, 8, not_power_of_two},
};

TEST(configuration_mode, settings_checks_in_order_with_their_messages)
{
    for (const check_case& c : check_cases)
        EXPECT_EQ(outcome(c.nb_section, c.nbpoint_section, c.points), c.message)
            << c.nb_section << " x " << c.nbpoint_section << " of " << c.points;
}

}  // namespace
