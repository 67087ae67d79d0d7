// Instrument files and the options that read them, through the executable;
// the progress line on a terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <algorithm>

#include "model/settings.hpp"
#include "command_line_runs.hpp"
#include "test_files.hpp"

// Each instrument layout, written from the tagged recording's float32
// samples, gives the tagged recording's rows byte for byte: through a
// file, standard input, every estimate and format; the settings tell how
// the file was read.
TEST(command_line, instrument_files_give_the_rows_of_the_tagged_recording)
{
    const std::string source = std::string(VELTRIN_SOURCE_DIR) + "/tests/input/instrument_files/";
    const std::string dir = make_scratch_directory();
    for (const char* name : {"tagged.xml", "plain.csv", "semicolon.csv", "whitespace.txt", "ec_lab.mpt", "gamry.DTA",
                             "autolab.txt", "raw.f32le", "raw.f64be"})
        write_file(dir + "/" + name, read_file(source + name));
    const auto rows = [](const std::string& csv) {
        std::string kept;
        std::istringstream lines(csv);
        for (std::string line; std::getline(lines, line);)
            if (!line.starts_with('#')) kept += line + "\n";
        return kept;
    };
    const struct {
        const char* file;
        const char* options;
        const char* settings;
    } layouts[] = {
        {"plain.csv", "", "# input_format = delimited\n# v_column = v\n# i_column = i\n# v_scale = 1\n# i_scale = 1\n"},
        {"semicolon.csv", "",
         "# input_format = delimited\n# v_column = E\n# i_column = I\n# v_scale = 1\n# i_scale = 1\n"},
        {"semicolon.csv", "--decimal-comma --delimiter ';' --time-column Time",
         "# input_format = delimited\n# v_column = E\n# i_column = I\n# v_scale = 1\n# i_scale = 1\n"},
        {"whitespace.txt", "--fs 16 --v-column 1 --i-column 2 --delimiter space",
         "# input_format = delimited\n# v_column = 1\n# i_column = 2\n# v_scale = 1\n# i_scale = 1\n"},
        {"ec_lab.mpt", "",
         "# input_format = delimited\n# v_column = Ewe/V\n# i_column = <I>/mA\n# v_scale = 1\n# i_scale = 0.001\n"},
        {"gamry.DTA", "--delimiter tab",
         "# input_format = delimited\n# v_column = Vf\n# i_column = Im\n# v_scale = 1\n# i_scale = 1\n"},
        {"autolab.txt", "--input-format delimited",
         "# input_format = delimited\n# v_column = WE(1).Potential (V)\n# i_column = WE(1).Current (A)\n# v_scale = "
         "1\n# i_scale = 1\n"},
        {"raw.f32le", "--input-format f32le --fs 16", "# input_format = f32le\n"},
        {"raw.f64be", "--input-format f64be --fs 16 --v-scale 1 --i-scale 1",
         "# input_format = f64be\n# v_scale = 1\n# i_scale = 1\n"},
    };
    const auto band = [](const std::string& csv) { return csv.substr(std::min(csv.find("# band_low"), csv.size())); };
    for (const char* estimate :
         {"-n 64 --hanning --confidence 0.9 --coherence --stats --band 0.5:4 --stern-geary 0.026",
          "-n 100 -w hann --overlap 0.5 --detrend linear --confidence 0.95 --coherence "
          "--zn-interval coherent --slope-band 1:6"}) {
        const std::string options = std::string(estimate) + " -f csv ";
        const command_outcome tagged = run_command(dir, options + "tagged.xml");
        ASSERT_EQ(tagged.status, 0) << tagged.err;
        EXPECT_NE(tagged.out.find("# sampling_frequency = 16\n"), std::string::npos);
        ASSERT_GT(band(tagged.out).size(), 300u);
        for (const auto& layout : layouts) {
            const command_outcome read = run_command(dir, options + layout.options + " " + layout.file);
            EXPECT_EQ(read.status, 0) << layout.file << ": " << read.err;
            EXPECT_EQ(rows(read.out), rows(tagged.out)) << layout.file;
            EXPECT_EQ(band(read.out), band(tagged.out)) << layout.file;
            EXPECT_NE(read.out.find(layout.settings), std::string::npos) << layout.file << "\n" << read.out;
            EXPECT_EQ(rows(run_command(dir, options + layout.options + " -", layout.file).out), rows(tagged.out))
                << layout.file << " on standard input";
        }
    }
    // The table is the configuration mode's, whatever the input.
    EXPECT_EQ(run_command(dir, "-n 64 gamry.DTA").out.substr(run_command(dir, "-n 64 gamry.DTA").out.find('\n')),
              run_command(dir, "-n 64 tagged.xml").out.substr(run_command(dir, "-n 64 tagged.xml").out.find('\n')));
}

// Every reading option the settings table scopes to some inputs is refused
// for the others, never ignored.
TEST(command_line, refuses_each_scoped_reading_option_for_the_inputs_it_does_not_apply_to)
{
    const std::string dir = scratch_with_recording();
    write_file(dir + "/pairs.f32", std::string(16, '\0'));
    for (const veltrin::setting_row& row : veltrin::settings_table()) {
        if (row.scope == veltrin::input_scope::every_input) continue;
        const std::string name(row.long_name);
        const std::string option = " --" + name +
                                   (row.kind == veltrin::setting_kind::flag   ? ""
                                    : row.kind == veltrin::setting_kind::name ? " ,"
                                                                              : " 2");
        const command_outcome tagged = run_command(dir, "-n 8" + option + " samples.xml");
        EXPECT_EQ(tagged.err, "veltrin: samples.xml: --" + name + " does not apply to a tagged file\n");
        const command_outcome raw = run_command(dir, "-n 2 --input-format f32le --fs 4" + option + " pairs.f32");
        EXPECT_EQ(raw.err, row.scope == veltrin::input_scope::delimited_text
                               ? "veltrin: pairs.f32: --" + name + " does not apply to raw binary input\n"
                               : "")
            << name;
    }
}

// Options that do not fit a file are a usage error of that file: status 2,
// one line, the other files still analysed.
TEST(command_line, options_that_do_not_fit_a_file_exit_2)
{
    const std::string dir = scratch_with_recording();
    write_file(dir + "/names.csv", "time,a,b\n0,1,2\n0.5,3,4\n");
    write_file(dir + "/good.csv", "time,v,i\n0,1,2\n0.5,3,4\n1,1,2\n");
    const command_outcome outcome = run_command(dir, "-n 2 -o . names.csv good.csv");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err,
              "veltrin: names.csv: the header row (line 1) has no v column by a name the program knows; its names are "
              "\"time\", \"a\", \"b\"; choose the v column with --v-column (a name, or a number from 1)\n");
    EXPECT_TRUE(file_exists(dir + "/good.psd.txt"));
    write_file(dir + "/bad.csv", "time,v,i\n0,1,2\n0.5,x,4\n");
    write_file(dir + "/cut.csv", "time,v,i\n0,1,2\n0.5,3,4\n1,1,2");
    const std::string names_fault = "veltrin: names.csv: " + outcome.err.substr(outcome.err.find("the header"));
    const std::string bad_fault =
        "veltrin: bad.csv: Fatal error: line 3: the v column (v) holds 'x', which is not a number.\n";
    const struct {
        const char* arguments;
        int status;
        std::string err;
    } cases[] = {
        {"-n 8 --v-column 2 samples.xml", 2, "veltrin: samples.xml: --v-column does not apply to a tagged file\n"},
        {"-n 2 --time-column when good.csv", 2,
         "veltrin: good.csv: the header row (line 1) has no column named \"when\"; its names are \"time\", \"v\", "
         "\"i\"; "
         "choose the time column with --time-column (a name, or a number from 1)\n"},
        {"-n 2 --skip 1 good.csv", 2,
         "veltrin: good.csv: the header row (line 2) has no v column by a name the program knows; its names are \"0\", "
         "\"1\", \"2\"; choose the v column with --v-column (a name, or a number from 1)\n"},
        // A row that breaks the rules is the data's fault: status 1, which a usage error outweighs.
        {"-n 2 bad.csv", 1, bad_fault},
        {"-n 2 --decimal-comma good.csv", 1,
         "veltrin: good.csv: Fatal error: line 3: the time column (time) holds '0.5', which is not a number.\n"},
        {"-n 2 -o . names.csv bad.csv", 2, names_fault + bad_fault},
        {"-n 2 --table 2 good.csv", 2, "veltrin: good.csv: --table 2: the file holds 1 table (header row on line 1)\n"},
        // A last row without its line end: read without it, said once, status 0.
        {"-n 2 -f csv -o cut.psd.csv cut.csv", 0,
         "veltrin: cut.csv: line 4 has no line end: not read, as a row still being written\n"},
        // A band without an inner bin is known once the file gives the bins.
        {"-n 8 --band 70:100 samples.xml", 2,
         "veltrin: samples.xml: --band 70:100 holds no bin: the bins are 62.499996185302734 Hz apart\n"},
        {"-n 8 -w hann --stern-geary 1 --slope-band 0:50 samples.xml", 2,
         "veltrin: samples.xml: --slope-band 0:50 holds no bin: the bins are 62.5 Hz apart\n"},
    };
    for (const auto& c : cases) {
        const command_outcome run = run_command(dir, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments;
        EXPECT_EQ(run.err, c.err) << c.arguments;
    }
    EXPECT_TRUE(
        run_command(dir, "-n 2 --table 0 good.csv")
            .err.starts_with("veltrin: --table needs a table's number from 1, or all, not '0'\n" + usage_start));
    const std::string cut = read_file(dir + "/cut.psd.csv");
    EXPECT_NE(cut.find("# dropped_last_row = 1\n"), std::string::npos) << cut;
}

// Progress goes to standard error when it is a terminal (here a pseudo-
// terminal made by script(1)), never into a result, and not with -q, in the
// configuration mode or, without --progress, when it is no terminal.
TEST(command_line, progress_on_a_terminal)
{
    const std::string dir = scratch_with_recording();
    for (const char* name : {"a.xml", "b.xml", "c.xml"}) write_file(dir + "/" + name, small_recording());
    write_file(dir + "/config.txt", "samples.xml 0 1 8 config.psd.txt\n");
    // What the terminal showed: standard output goes to a file, standard error stays on the terminal.
    const auto on_a_terminal = [&](const std::string& command) {
        const std::string shown = make_scratch_directory() + "/tty";
        const std::string inner = "cd " + quoted(dir) + " && " + command + " >out.txt";
        const std::string outer = "script -qec " + quoted(inner) + " /dev/null >" + quoted(shown) + " 2>&1 </dev/null";
        EXPECT_EQ(std::system(outer.c_str()), 0) << command;
        return read_file(shown);
    };
    const std::string program = quoted(program_under_test());
    const std::string batch = on_a_terminal(program + " -n 8 -j 1 -o . a.xml b.xml c.xml");
    EXPECT_NE(batch.find("\r\033[Kveltrin: 0/3 files done, reading a.xml"), std::string::npos) << batch;
    EXPECT_NE(batch.find("\r\033[Kveltrin: 2/3 files done, reading c.xml"), std::string::npos) << batch;
    EXPECT_TRUE(batch.ends_with("\r\033[Kveltrin: 3/3 files done\r\033[K")) << batch;
    EXPECT_EQ(read_file(dir + "/c.psd.txt"), small_table("c.xml"));
    EXPECT_EQ(on_a_terminal(program + " -q -n 8 -j 1 -o . a.xml b.xml c.xml"), "");
    EXPECT_EQ(on_a_terminal(program + " -c config.txt"), "");
    // One file that takes more than a second: the bytes read and the rate, then the line cleared.
    const std::string slow = on_a_terminal("(cat samples.xml | head -n 3; sleep 1.6; cat samples.xml | tail -n +4) | " +
                                           program + " -n 8 -");
    EXPECT_NE(slow.find("\r\033[Kveltrin: -: 0.0 MB read, "), std::string::npos) << slow;
    EXPECT_TRUE(slow.ends_with(" MB/s\r\033[K")) << slow;
    // No terminal: nothing, unless --progress asks for a line a file.
    EXPECT_EQ(run_command(dir, "-n 8 -j 1 -o . a.xml b.xml").err, "");
    const command_outcome logged = run_command(dir, "--progress -n 8 -j 1 -o . a.xml b.xml");
    EXPECT_EQ(logged.err, "veltrin: 1/2 files done: a.xml\nveltrin: 2/2 files done: b.xml\n");
    EXPECT_EQ(run_command(dir, "-q --progress -n 8 a.xml").status, 2);
}
