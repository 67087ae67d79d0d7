// The plotting script on the example's table, when gnuplot is installed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/wait.h>
#endif

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
    // A name without an extension gets one, whatever dots its directory holds.
    std::filesystem::create_directory(dir + "/a.d");
    write_file(dir + "/a.d/table", read_file(dir + "/table.txt"));
    ASSERT_EQ(std::system(("'" + source + "/tools/veltrin-plot' '" + dir + "/a.d/table'").c_str()), 0);
    EXPECT_TRUE(file_exists(dir + "/a.d/table.png"));

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

#ifndef _WIN32

struct plot_outcome {
    int status = -1;
    std::string err;
};

// Runs the script in directory with the given arguments; $MARK names the file
// that a command smuggled in through a name would create.
plot_outcome plot(const std::string& directory, const std::vector<std::string>& arguments)
{
    std::string command = "cd " + quoted(directory) + " && MARK=" + quoted(directory + "/PWNED") + " " +
                          quoted(std::string(VELTRIN_SOURCE_DIR) + "/tools/veltrin-plot");
    for (const std::string& argument : arguments) command.append(" ").append(quoted(argument));
    command.append(" 2>").append(quoted(directory + "/../err"));
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(directory + "/../err")};
}

std::set<std::string> files_in(const std::string& directory)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

// A directory of its own inside a scratch directory, which holds the error text.
std::string work_directory()
{
    const std::string dir = make_scratch_directory() + "/work";
    std::filesystem::create_directory(dir);
    return dir;
}

TEST(plot, runs_nothing_that_a_name_or_a_title_holds)
{
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    const std::string table = read_file(std::string(VELTRIN_SOURCE_DIR) + "/examples/result_paired.txt");
    const std::string rows = table.substr(table.find('\n') + 1);
    const std::string csv = "frequency,psd_v,psd_i,zn\n0.48828125,3.331474e-10,1.234383e-11,5.195093\n"
                            "0.9765625,3.1e-10,1.2e-11,5.1\n";
    // Each text becomes the result's name, the picture's name and the title.
    const char* const hostile[] = {
        "x\nsystem \"touch $MARK\"\n",
        "x\"; system \"touch $MARK\"; \"",
        "x'; system 'touch $MARK'; '",
        "x`touch $MARK`",
        "x$(touch $MARK)",
        "x\\\"; system \"touch $MARK\" \\\n",
        "-x @ARG0 $0",
    };
    for (const std::string text : hostile) {
        SCOPED_TRACE(text);
        const std::string dir = work_directory();
        // A first line holds no line feed: veltrin writes it as \x0A.
        std::string title = text;
        for (std::size_t at; (at = title.find('\n')) != std::string::npos;) title.replace(at, 1, "\\x0A");
        write_file(dir + "/" + text + ".txt", "data file = " + title + "    hanning = 1\n" + rows);
        write_file(dir + "/" + text + ".csv", csv + "# data_file = " + title + "\n");
        const plot_outcome by_default = plot(dir, {text + ".txt"});
        const plot_outcome named = plot(dir, {text + ".csv", text + ".csv.png"});
        EXPECT_EQ(by_default.status, 0) << by_default.err;
        EXPECT_EQ(named.status, 0) << named.err;
        EXPECT_EQ(files_in(dir), (std::set<std::string>{text + ".txt", text + ".csv", text + ".png",
                                                         text + ".csv.png"}));
        EXPECT_EQ(big_endian(read_file(dir + "/" + text + ".png"), 20), 900u);
        EXPECT_EQ(big_endian(read_file(dir + "/" + text + ".csv.png"), 20), 900u);
    }
}

TEST(plot, refuses_what_is_not_a_result_and_leaves_no_picture)
{
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0) GTEST_SKIP() << "gnuplot is not installed";
    const std::string table = read_file(std::string(VELTRIN_SOURCE_DIR) + "/examples/result_paired.txt");
    const std::string header = table.substr(0, table.find('\n', table.find('\n') + 1) + 1);
    const struct {
        const char* name;
        std::string content;
        const char* shown;  // the name in the refusal; none when gnuplot fails
    } cases[] = {
        {"notes.txt", "hello\n", "notes.txt"},
        {"empty.txt", "", "empty.txt"},
        {"r.json", "{\"data_file\": \"a.xml\"}\n", "r.json"},
        {"no header.txt", table.substr(0, table.find('\n') + 1) + "  1.0\t  2.0\n", "no header.txt"},
        {"other.csv", "frequency,psd_v,psd_i\n1,2,3\n", "other.csv"},
        {"-a\nb.txt", "data file = x\n", "-a\\x0Ab.txt"},
        // gnuplot itself fails on a result without rows: its own words, and no picture either.
        {"no rows.txt", header, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = work_directory();
        write_file(dir + "/" + c.name, c.content);
        for (const std::vector<std::string>& arguments : {std::vector<std::string>{c.name},
                                                          std::vector<std::string>{c.name, "out.png"}}) {
            const plot_outcome outcome = plot(dir, arguments);
            EXPECT_EQ(outcome.status, 1);
            if (c.shown != nullptr) {
                EXPECT_EQ(outcome.err,
                          "veltrin-plot: " + std::string(c.shown) + ": not a veltrin result in the table or CSV format\n");
            }
            EXPECT_EQ(files_in(dir), std::set<std::string>{c.name});
        }
    }

    // A picture never replaces the result it draws.
    const std::string dir = work_directory();
    write_file(dir + "/r.png", table);
    const plot_outcome outcome = plot(dir, {"r.png"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "veltrin-plot: r.png: the picture would replace the result; name another output\n");
    EXPECT_EQ(read_file(dir + "/r.png"), table);
}

#endif

}  // namespace
