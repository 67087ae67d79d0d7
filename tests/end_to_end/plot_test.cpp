// The plotting script on the example's table and on results in blocks, when gnuplot is installed.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
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
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox, in tools/install-dependencies)";
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
        ASSERT_EQ(std::system(
                      ("'" + source + "/tools/veltrin-plot' '" + dir + "/" + name + "' '" + dir + "/" + name + ".png'")
                          .c_str()),
                  0);
    // Same curves: the two pictures differ only in the title's pixels.
    const double table_png = static_cast<double>(read_file(dir + "/r.txt.png").size());
    const double csv_png = static_cast<double>(read_file(dir + "/r.csv.png").size());
    EXPECT_NEAR(csv_png / table_png, 1.0, 0.05);
    EXPECT_EQ(read_file(dir + "/r.csv.png").substr(0, 8), "\x89PNG\r\n\x1a\n");

    // Intervals and coherence (and statistics after the table): a third panel.
    for (const char* format : {"table", "csv"}) {
        ASSERT_EQ(std::system((run + "--confidence 0.9 --coherence --stats -f " + format + " -o '" + dir + "/c." +
                               format + "' noise_paired.xml")
                                  .c_str()),
                  0);
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
plot_outcome plot(const std::string& directory, const std::vector<std::string>& arguments,
                  const std::string& environment = "")
{
    std::string command = "cd " + quoted(directory) + " && MARK=" + quoted(directory + "/PWNED") + " " + environment +
                          " " + quoted(std::string(VELTRIN_SOURCE_DIR) + "/tools/veltrin-plot");
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
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox, in tools/install-dependencies)";
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
        // A JSON result names its data file as it is, control characters and all.
        write_file(dir + "/" + text + ".json", nlohmann::json{{"data_file", text},
                                                              {"blocks",
                                                               {{{"block", 1}, {"start", 0}, {"end", 1}, {"rn", 2}},
                                                                {{"block", 2}, {"start", 1}, {"end", 2}, {"rn", 3}}}}}
                                                   .dump());
        const plot_outcome by_default = plot(dir, {text + ".txt"});
        const plot_outcome named = plot(dir, {text + ".csv", text + ".csv.png"});
        const plot_outcome blocks = plot(dir, {text + ".json", text + ".json.png"});
        EXPECT_EQ(by_default.status, 0) << by_default.err;
        EXPECT_EQ(named.status, 0) << named.err;
        EXPECT_EQ(blocks.status, 0) << blocks.err;
        EXPECT_EQ(files_in(dir), (std::set<std::string>{text + ".txt", text + ".csv", text + ".json", text + ".png",
                                                        text + ".csv.png", text + ".json.png"}));
        EXPECT_EQ(big_endian(read_file(dir + "/" + text + ".png"), 20), 900u);
        EXPECT_EQ(big_endian(read_file(dir + "/" + text + ".csv.png"), 20), 900u);
        EXPECT_EQ(big_endian(read_file(dir + "/" + text + ".json.png"), 20), 300u);
    }
}

TEST(plot, refuses_what_is_not_a_result_and_leaves_no_picture)
{
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox, in tools/install-dependencies)";
    const std::string table = read_file(std::string(VELTRIN_SOURCE_DIR) + "/examples/result_paired.txt");
    const std::string header = table.substr(0, table.find('\n', table.find('\n') + 1) + 1);
    const std::string refused = ": not a veltrin result in the table or CSV format\n";
    const std::string no_block = ": no block to draw\n";
    const std::string nothing = ": nothing to draw: the blocks have no statistics (--stats) and no zn_band (--band)\n";
    const struct {
        const char* name;
        std::string content;
        std::string err;  // after "veltrin-plot: "; none when gnuplot fails
    } cases[] = {
        {"notes.txt", "hello\n", "notes.txt" + refused},
        {"empty.txt", "", "empty.txt" + refused},
        {"r.json", "{\"data_file\": \"a.xml\"}\n", "r.json" + refused},
        {"no header.txt", table.substr(0, table.find('\n') + 1) + "  1.0\t  2.0\n", "no header.txt" + refused},
        {"other.csv", "frequency,psd_v,psd_i\n1,2,3\n", "other.csv" + refused},
        {"-a\nb.txt", "data file = x\n", "-a\\x0Ab.txt" + refused},
        // gnuplot itself fails on a result without rows: its own words, and no picture either.
        {"no rows.txt", header, ""},
        {"cut.json", "{\"data_file\":\"a\",\"blocks\":[{\"block\":1,\"start\":0.0,", "cut.json" + refused},
        {"numbers.json", "{\"blocks\":[1,2],\"settings\":{}}\n", "numbers.json" + refused},
        {"spectra.jsonl", "{\"data_file\":\"a\",\"settings\":{\"hanning\":1}}\n", "spectra.jsonl" + refused},
        {"empty.csv", "block,start,end,rn\n# data_file = a\n", "empty.csv" + no_block},
        {"settings.jsonl", "{\"data_file\":\"a\",\"settings\":{\"block_points\":5}}\n", "settings.jsonl" + no_block},
        {"bare.csv", "block,start,end,v_mean\n1,0,10,3\n", "bare.csv" + nothing},
        {"bare.txt",
         "data file = a    block_points = 5\n         block\t         start\t           end\n"
         "             1\t  0.000000e+00\t  1.000000e+01\n",
         "bare.txt" + nothing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = work_directory();
        write_file(dir + "/" + c.name, c.content);
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{c.name}, std::vector<std::string>{c.name, "out.png"}}) {
            const plot_outcome outcome = plot(dir, arguments);
            EXPECT_EQ(outcome.status, 1);
            if (!c.err.empty()) {
                EXPECT_EQ(outcome.err, "veltrin-plot: " + c.err);
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

// A block result as drawn, from VELTRIN_PLOT_DATA: the "panels" file, and each
// panel's points as "KEY: X Y, X Y, ..." lines.
struct drawn_blocks {
    plot_outcome outcome;
    std::string panels;
    std::string points;
    std::uint32_t height = 0;
};

drawn_blocks draw_blocks(const std::string& dir, const std::string& name)
{
    std::filesystem::create_directory(dir + "/drawn");
    drawn_blocks drawn;
    drawn.outcome = plot(dir, {name, "out.png"}, "VELTRIN_PLOT_DATA=" + quoted(dir + "/drawn"));
    drawn.panels = read_file(dir + "/drawn/panels");
    std::istringstream panels(drawn.panels);
    for (std::string key, rest; panels >> key && std::getline(panels, rest);) {
        if (key == "time") continue;
        std::string points = key + ":";
        std::istringstream lines(file_exists(dir + "/drawn/" + key) ? read_file(dir + "/drawn/" + key) : "");
        for (std::string line; std::getline(lines, line);) points += (points.back() == ':' ? " " : ", ") + line;
        drawn.points += points + "\n";
    }
    if (file_exists(dir + "/out.png")) drawn.height = big_endian(read_file(dir + "/out.png"), 20);
    return drawn;
}

std::vector<std::vector<double>> numbers_of(const std::string& text, char separator)
{
    std::vector<std::vector<double>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line) && !line.empty() && line[0] != '#';) {
        rows.emplace_back();
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, separator);) rows.back().push_back(std::stod(field));
    }
    return rows;
}

TEST(plot, draws_the_blocks_of_every_format_from_the_same_numbers)
{
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox, in tools/install-dependencies)";
    const std::string dir = work_directory();
    // 8 blocks of 1 s.
    const std::string run = "cd '" + std::string(VELTRIN_SOURCE_DIR) +
                            "/examples' && '" VELTRIN_EXE
                            "' noise_paired.xml -n 128 -b 1 --stats --stern-geary 0.026 -f ";
    for (const std::string format : {"csv", "table", "json", "jsonl"})
        ASSERT_EQ(std::system((run + format + " -o " + quoted(dir + "/r." + format)).c_str()), 0) << format;

    // The CSV's own columns, read here: block start end, then the seven drawn.
    const std::string csv = read_file(dir + "/r.csv");
    std::vector<std::string> header;
    std::istringstream names(csv.substr(0, csv.find('\n')));
    for (std::string name; std::getline(names, name, ',');) header.push_back(name);
    const auto rows = numbers_of(csv.substr(csv.find('\n') + 1), ',');
    ASSERT_EQ(rows.size(), 8u);
    std::vector<std::size_t> drawn_columns;
    for (const char* key : {"rn", "v_std", "i_std", "localization_index", "zn_band", "q", "fn"})
        drawn_columns.push_back(
            static_cast<std::size_t>(std::find(header.begin(), header.end(), key) - header.begin()));

    for (const char* format : {"csv", "table", "json", "jsonl"}) {
        SCOPED_TRACE(format);
        std::filesystem::remove_all(dir + "/drawn");
        const drawn_blocks drawn = draw_blocks(dir, std::string("r.") + format);
        ASSERT_EQ(drawn.outcome.status, 0) << drawn.outcome.err;
        EXPECT_EQ(drawn.panels, "time s 0 8\nrn log * *\nv_std log * *\ni_std log * *\n"
                                "localization_index log * *\nzn_band log * *\nfn_q loglog * * * *\n");
        EXPECT_EQ(drawn.height, 6u * 300u);
        // Each panel's file against the CSV's column, at each block's midpoint; fn_q holds q, fn, time.
        const char* const keys[] = {"rn", "v_std", "i_std", "localization_index", "zn_band", "fn_q"};
        for (std::size_t k = 0; k < 6; ++k) {
            const auto points = numbers_of(read_file(dir + "/drawn/" + keys[k]), ' ');
            ASSERT_EQ(points.size(), rows.size()) << keys[k];
            for (std::size_t r = 0; r < rows.size(); ++r) {
                std::vector<double> expected = {(rows[r][1] + rows[r][2]) / 2, rows[r][drawn_columns[k]]};
                if (k == 5) expected = {rows[r][drawn_columns[5]], rows[r][drawn_columns[6]], expected[0]};
                ASSERT_EQ(points[r].size(), expected.size());
                // The table holds seven digits.
                for (std::size_t c = 0; c < expected.size(); ++c)
                    EXPECT_NEAR(points[r][c], expected[c], 1e-6 * std::abs(expected[c])) << keys[k] << " row " << r;
            }
        }
    }
}

std::string table_line(const std::vector<std::string>& fields)
{
    std::string line;
    for (const std::string& field : fields) {
        char padded[32];
        std::snprintf(padded, sizeof padded, "%14s", field.c_str());
        if (!line.empty()) line += '\t';
        line += padded;
    }
    return line + "\n";
}

TEST(plot, leaves_out_what_is_not_finite_and_draws_what_is_there)
{
    if (std::system("command -v gnuplot >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gnuplot is not installed (Debian: gnuplot-nox, in tools/install-dependencies)";
    const struct {
        const char* name;
        std::string content;
        const char* panels;
        const char* points;
    } cases[] = {
        // A zero makes the localization index linear; fn against q needs both positive.
        {"r.csv",
         "block,start,end,rn,localization_index,zn_band,q,fn\n1,0,600,nan,0,2,1e-9,1e7\n"
         "2,600,1200,0.5,0.1,inf,2e-9,nan\n3,1200,1800,0.25,0.2,3,-1,5\n4,1800,2400,0.5,0.3,4,3e-9,2e7\n"
         "# data_file = a.xml\n",
         "time min 0 40\nrn log * *\nlocalization_index linear * *\nzn_band log * *\nfn_q loglog * * * *\n",
         "rn: 15 0.5, 25 0.25, 35 0.5\nlocalization_index: 5 0, 15 0.1, 25 0.2, 35 0.3\nzn_band: 5 2, 25 3, 35 4\n"
         "fn_q: 1e-9 1e7 5, 3e-9 2e7 35\n"},
        // null is skipped; a key with no number at all gets an empty panel.
        {"r.json",
         "{\"data_file\":\"a.xml\",\"sampling_frequency\":500.0,\"blocks\":[{\"block\":1,\"start\":0.0,\"end\":36000.0,"
         "\"rn\":null,\"v_std\":null,\"i_std\":0.5},{\"block\":2,\"start\":36000.0,\"end\":72000.0,\"rn\":2.0,"
         "\"v_std\":null,\"i_std\":-0.5}],\"settings\":{\"block_points\":18000000}}\n",
         "time h 0 20\nrn log 1 4\nv_std none 0 1\ni_std linear * *\n", "rn: 15 2\nv_std:\ni_std: 5 0.5, 15 -0.5\n"},
        // Without statistics: zn_band, and an empty fn-q panel when no block has both.
        {"r.txt",
         "data file = a.xml    block_points = 5000\n" + table_line({"block", "start", "end", "zn_band", "q", "fn"}) +
             table_line({"1", "0.000000e+00", "1.000000e+01", "2.000000e+00", "nan", "1.000000e+07"}) +
             table_line({"2", "1.000000e+01", "2.000000e+01", "nan", "1.000000e-09", "inf"}) + "\nblocks = 2\n",
         "time s 0 20\nzn_band log 1 4\nfn_q none 0 1 0 1\n", "zn_band: 5 2.000000e+00\nfn_q:\n"},
        // A live run without its settings line yet; text is no number, a row without a start no block.
        {"r.jsonl",
         "{\"block\":1,\"start\":0,\"end\":864000,\"rn\":1,\"localization_index\":0.1}\n"
         "{\"block\":2,\"start\":864000,\"end\":1728000,\"rn\":\"7\",\"localization_index\":0.2}\n"
         "{\"block\":3,\"start\":null,\"end\":1,\"rn\":5,\"localization_index\":0.3}\n",
         "time d 0 20\nrn log 0.5 2\nlocalization_index log * *\n", "rn: 5 1\nlocalization_index: 5 0.1, 15 0.2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = work_directory();
        write_file(dir + "/" + c.name, c.content);
        const drawn_blocks drawn = draw_blocks(dir, c.name);
        ASSERT_EQ(drawn.outcome.status, 0) << drawn.outcome.err;
        EXPECT_EQ(drawn.outcome.err, "");
        EXPECT_EQ(drawn.panels, c.panels);
        EXPECT_EQ(drawn.points, c.points);
        const std::string panels = c.panels;
        EXPECT_EQ(drawn.height, 300u * static_cast<std::uint32_t>(std::count(panels.begin(), panels.end(), '\n') - 1));
    }
}

#endif

}  // namespace
