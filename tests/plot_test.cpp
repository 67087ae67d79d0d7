// The plotting script on the example's table, when gnuplot is installed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "test_files.hpp"

namespace {

std::uint32_t big_endian(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < 4; ++k) value = value << 8 | static_cast<unsigned char>(bytes[at + k]);
    return value;
}

TEST(plot, draws_the_example_table_as_a_png)
{
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    const std::string dir = make_scratch_directory();
    const std::string source = VELTRIN_SOURCE_DIR;
    // A table with "nan" and "inf" rows must plot too: they are left out.
    write_file(dir + "/table.txt", read_file(source + "/examples/result_paired.txt") +
                                       "  2.600000e+02\t           nan\t  0.000000e+00\t           inf\n");
    const std::string command = "'" + source + "/tools/veltrin-plot' '" + dir + "/table.txt' '" + dir + "/out.png'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string png = read_file(dir + "/out.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(big_endian(png, 16), 1000u);
    EXPECT_EQ(big_endian(png, 20), 900u);

    // Without an output name the PNG goes beside the table.
    ASSERT_EQ(std::system(("'" + source + "/tools/veltrin-plot' '" + dir + "/table.txt'").c_str()), 0);
    EXPECT_TRUE(file_exists(dir + "/table.png"));

    // The CSV format plots to the same picture as the table of the same run.
    const std::string run = "cd '" + source + "/examples' && '" VELTRIN_EXE "' -n 1024 -s 4 --hanning ";
    ASSERT_EQ(std::system((run + "-o '" + dir + "/r.txt' noise_paired.xml").c_str()), 0);
    ASSERT_EQ(std::system((run + "-f csv -o '" + dir + "/r.csv' noise_paired.xml").c_str()), 0);
    for (const char* name : {"r.txt", "r.csv"})
        ASSERT_EQ(std::system(("'" + source + "/tools/veltrin-plot' '" + dir + "/" + name + "' '" + dir + "/" +
                               name + ".png'").c_str()), 0);
    // Same curves: the two pictures differ only in the title's pixels.
    const double table_png = static_cast<double>(read_file(dir + "/r.txt.png").size());
    const double csv_png = static_cast<double>(read_file(dir + "/r.csv.png").size());
    EXPECT_NEAR(csv_png / table_png, 1.0, 0.05);
    EXPECT_EQ(read_file(dir + "/r.csv.png").substr(0, 8), "\x89PNG\r\n\x1a\n");

    // Intervals and coherence (and statistics after the table): a third panel.
    for (const char* format : {"table", "csv"}) {
        ASSERT_EQ(std::system((run + "--confidence 0.9 --coherence --stats -f " + format + " -o '" + dir + "/c." +
                               format + "' noise_paired.xml").c_str()), 0);
        ASSERT_EQ(std::system(("'" + source + "/tools/veltrin-plot' '" + dir + "/c." + format + "'").c_str()), 0);
        const std::string three = read_file(dir + "/c.png");
        ASSERT_GT(three.size(), 24u);
        EXPECT_EQ(big_endian(three, 20), 1350u) << format;
    }
}

}  // namespace
