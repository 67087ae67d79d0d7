// The options mode and --config through the executable: statuses, the
// separation of standard output and standard error, result names, formats.
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

namespace {

struct usage_case {
    const char* name;
    const char* arguments;
    const char* first_line;  // of standard error
};

const usage_case usage_cases[] = {
    {"points_missing", "-s 1 samples.xml", "veltrin: -n (points per section) is required\n"},
    {"points_not_a_power_of_two", "-n 6 samples.xml",
     "veltrin: -n 6: the number of points per section is not a power of 2\n"},
    // The rules between options come before each option's own.
    {"power_of_two_before_confidence", "-n 6 --confidence 2 samples.xml",
     "veltrin: -n 6: the number of points per section is not a power of 2\n"},
    {"hanning_before_window", "-n 8 --hanning -w kaiser samples.xml",
     "veltrin: --hanning is the configuration mode's window: with the standard estimate use --window hann\n"},
    {"points_too_small", "-n 1 samples.xml", "veltrin: -n needs a whole number from 2 to 2147483647, not '1'\n"},
    {"points_not_a_number", "-n 8.0 samples.xml", "veltrin: -n needs a whole number from 2 to 2147483647, not '8.0'\n"},
    {"points_beyond_32_bits", "-n 4294967296 samples.xml",
     "veltrin: -n needs a whole number from 2 to 2147483647, not '4294967296'\n"},
    {"no_sections", "-n 8 -s 0 samples.xml", "veltrin: -s needs a whole number from 1 to 2147483647, not '0'\n"},
    {"no_jobs", "-n 8 -j 0 samples.xml", "veltrin: -j needs a whole number from 1 to 1024, not '0'\n"},
    {"no_threads", "-n 8 --threads 0 samples.xml", "veltrin: --threads needs a whole number from 1 to 1024, not '0'\n"},
    {"points_beyond_the_largest", "-n 2147483648 -w hann samples.xml",
     "veltrin: -n needs a whole number from 2 to 2147483647, not '2147483648'\n"},
    {"sections_beyond_the_largest", "-n 8 -s 2147483648 samples.xml",
     "veltrin: -s needs a whole number from 1 to 2147483647, not '2147483648'\n"},
    {"jobs_beyond_the_largest", "-n 8 -j 1025 samples.xml",
     "veltrin: -j needs a whole number from 1 to 1024, not '1025'\n"},
    {"threads_beyond_the_largest", "-n 8 --threads 1025 samples.xml",
     "veltrin: --threads needs a whole number from 1 to 1024, not '1025'\n"},
    {"empty_output_name", "-n 8 -o '' samples.xml", "veltrin: -o needs a file or directory name, not ''\n"},
    {"result_is_the_data_file", "-n 8 -o ./samples.xml samples.xml",
     "veltrin: the result of samples.xml (./samples.xml) would overwrite the data file samples.xml\n"},
    {"unknown_format", "-n 8 -f xml samples.xml", "veltrin: -f needs table, csv, json or jsonl, not 'xml'\n"},
    {"unknown_long_option", "--bogus=1 -n 8 samples.xml", "veltrin: unknown option --bogus\n"},
    {"unknown_short_option", "-x -n 8 samples.xml", "veltrin: unknown option -x\n"},
    {"missing_value", "samples.xml -n", "veltrin: option -n needs a value\n"},
    {"missing_long_value", "samples.xml --points", "veltrin: option --points needs a value\n"},
    {"no_data_file", "-n 8", "veltrin: no data file given\n"},
    {"config_with_options", "-c config.txt -n 8",
     "veltrin: -c takes no other options but --threads, and no data files\n"},
    {"stdin_among_several", "-n 8 - samples.xml",
     "veltrin: standard input (-) can only be read as the only data file\n"},
    {"same_result_twice", "-n 8 samples.xml sub/samples.txt -o out",
     "veltrin: data files samples.xml and sub/samples.txt would both write out/samples.psd.txt\n"},
    {"hanning_with_a_standard_option", "-n 8 --hanning --overlap 0.5 samples.xml",
     "veltrin: --hanning is the configuration mode's window: with the standard estimate use --window hann\n"},
    {"unknown_window", "-n 8 -w welch samples.xml",
     "veltrin: the window must be hann, hamming, blackman, blackmanharris, flattop, bartlett, boxcar, kaiser:BETA, "
     "tukey:ALPHA, gaussian:STD or general_hamming:ALPHA\n"},
    {"parameter_to_a_window_without_one", "-n 8 -w hann:2 samples.xml",
     "veltrin: the window must be hann, hamming, blackman, blackmanharris, flattop, bartlett, boxcar, kaiser:BETA, "
     "tukey:ALPHA, gaussian:STD or general_hamming:ALPHA\n"},
    {"window_parameter_missing", "-n 8 -w kaiser samples.xml",
     "veltrin: the window kaiser:BETA needs a number BETA from 0 to 400\n"},
    {"window_parameter_not_a_number", "-n 8 --window tukey:half samples.xml",
     "veltrin: the window tukey:ALPHA needs a number ALPHA from 0 to 1\n"},
    {"window_parameter_too_large", "-n 8 -w kaiser:400.5 samples.xml",
     "veltrin: the window kaiser:BETA needs a number BETA from 0 to 400\n"},
    {"window_parameter_negative", "-n 8 -w general_hamming:-0.5 samples.xml",
     "veltrin: the window general_hamming:ALPHA needs a number ALPHA from 0 to 1\n"},
    {"window_parameter_too_small", "-n 8 -w gaussian:0.05 samples.xml",
     "veltrin: the window gaussian:STD needs a number STD of at least 0.1\n"},
    // A parameter's range is the window's own rule: after the rules between options.
    {"hanning_before_window_parameter", "-n 8 --hanning -w tukey:2 samples.xml",
     "veltrin: --hanning is the configuration mode's window: with the standard estimate use --window hann\n"},
    {"overlap_of_one", "-n 8 --overlap 1 samples.xml", "veltrin: the overlap must be at least 0 and less than 1\n"},
    {"overlap_not_a_number", "-n 8 --overlap half samples.xml", "veltrin: --overlap needs a number, not 'half'\n"},
    {"confidence_of_one", "-n 8 --confidence 1 samples.xml",
     "veltrin: the confidence must be more than 0 and less than 1\n"},
    {"confidence_with_median", "-n 8 --average median --confidence 0.9 samples.xml",
     "veltrin: confidence intervals need the mean average\n"},
    {"coherence_with_median", "-n 8 --average median --coherence samples.xml",
     "veltrin: the coherence needs the mean average\n"},
    {"unknown_detrend", "-n 8 --detrend quadratic samples.xml",
     "veltrin: --detrend needs constant, linear or none, not 'quadratic'\n"},
    {"unknown_average", "-n 8 --average mode samples.xml", "veltrin: --average needs mean or median, not 'mode'\n"},
    {"output_not_a_directory", "-n 8 samples.xml other.xml -o samples.xml",
     "veltrin: -o samples.xml: with several data files, -o names an existing directory\n"},
    {"unknown_input_format", "-n 8 --input-format xlsx samples.xml",
     "veltrin: --input-format needs auto, tagged, delimited, f32le, f64le, f32be or f64be, not 'xlsx'\n"},
    {"raw_without_fs", "-n 8 --input-format f64be samples.xml",
     "veltrin: --input-format f64be needs --fs: raw binary holds no sampling frequency\n"},
    {"fs_of_zero", "-n 8 --fs 0 samples.xml",
     "veltrin: --fs needs a sampling frequency from 1e-37 to 1e37 Hz, not '0'\n"},
    {"fs_not_a_number", "-n 8 --fs 1kHz samples.xml", "veltrin: --fs needs a number, not '1kHz'\n"},
    {"column_zero", "-n 8 --v-column 00 samples.xml",
     "veltrin: --v-column needs a column name or a number from 1 to 2147483647, not '00'\n"},
    {"empty_column", "-n 8 --i-column= samples.xml",
     "veltrin: --i-column needs a column name or a number from 1 to 2147483647, not ''\n"},
    {"column_beyond_64_bits", "-n 8 --v-column 18446744073709551616 samples.xml",
     "veltrin: --v-column needs a column name or a number from 1 to 2147483647, not '18446744073709551616'\n"},
    {"column_beyond_32_bits", "-n 8 --time-column 2147483648 samples.xml",
     "veltrin: --time-column needs a column name or a number from 1 to 2147483647, not '2147483648'\n"},
    {"unknown_delimiter", "-n 8 --delimiter '|' samples.xml",
     "veltrin: --delimiter needs ',', ';', tab or space, not '|'\n"},
    {"negative_skip", "-n 8 --skip -1 samples.xml",
     "veltrin: --skip needs a whole number from 0 to 2147483647, not '-1'\n"},
    {"scale_of_zero", "-n 8 --v-scale 0 samples.xml",
     "veltrin: --v-scale needs a finite number other than 0, not '0'\n"},
    {"infinite_scale", "-n 8 --i-scale inf samples.xml",
     "veltrin: --i-scale needs a finite number other than 0, not 'inf'\n"},
    {"config_with_an_input_option", "-c config.txt --fs 10",
     "veltrin: -c takes no other options but --threads, and no data files\n"},
    {"config_with_a_band", "-c config.txt --band 1:2",
     "veltrin: -c takes no other options but --threads, and no data files\n"},
    {"band_of_one_frequency", "-n 8 --band 5 samples.xml",
     "veltrin: --band needs F_LO:F_HI, frequencies in Hz with 0 <= F_LO <= F_HI, not '5'\n"},
    {"band_below_zero", "-n 8 --band=-1:2 samples.xml",
     "veltrin: --band needs F_LO:F_HI, frequencies in Hz with 0 <= F_LO <= F_HI, not '-1:2'\n"},
    {"slope_band_upside_down", "-n 8 --slope-band 10:1 samples.xml",
     "veltrin: --slope-band needs F_LO:F_HI, frequencies in Hz with 0 <= F_LO <= F_HI, not '10:1'\n"},
    {"slope_band_to_infinity", "-n 8 --slope-band 1:inf samples.xml",
     "veltrin: --slope-band needs F_LO:F_HI, frequencies in Hz with 0 <= F_LO <= F_HI, not '1:inf'\n"},
    {"stern_geary_of_zero", "-n 8 --stern-geary 0 samples.xml",
     "veltrin: --stern-geary needs a number of volts from 1e-37 to 1e37, not '0'\n"},
    {"stern_geary_whose_square_overflows", "-n 8 --stern-geary 2e154 samples.xml",
     "veltrin: --stern-geary needs a number of volts from 1e-37 to 1e37, not '2e154'\n"},
    {"area_not_finite", "-n 8 --stern-geary 0.026 --area inf samples.xml",
     "veltrin: --area needs a number of cm^2 from 1e-37 to 1e37, not 'inf'\n"},
    {"area_below_the_range", "-n 8 --stern-geary 0.026 --area 9e-38 samples.xml",
     "veltrin: --area needs a number of cm^2 from 1e-37 to 1e37, not '9e-38'\n"},
    {"area_without_stern_geary", "-n 8 --area 2 samples.xml",
     "veltrin: --area needs --stern-geary: the area only scales fn\n"},
    {"unknown_zn_interval", "-n 8 --zn-interval joint samples.xml",
     "veltrin: --zn-interval needs independent or coherent, not 'joint'\n"},
    {"coherent_interval_without_confidence", "-n 8 --zn-interval coherent samples.xml",
     "veltrin: --zn-interval coherent needs --confidence\n"},
    {"block_of_no_duration", "-n 8 -b 0 samples.xml",
     "veltrin: -b needs a duration above 0 such as 60, 90s, 20min or 1h, not '0'\n"},
    {"block_of_an_unknown_unit", "-n 8 --block 2days samples.xml",
     "veltrin: -b needs a duration above 0 such as 60, 90s, 20min or 1h, not '2days'\n"},
    {"block_unit_alone", "-n 8 -b min samples.xml",
     "veltrin: -b needs a duration above 0 such as 60, 90s, 20min or 1h, not 'min'\n"},
    {"block_points_of_none", "-n 8 --block-points 0 samples.xml",
     "veltrin: --block-points needs a whole number from 1 to 2147483647, not '0'\n"},
    {"both_block_lengths", "-n 8 -b 1h --block-points 5 samples.xml",
     "veltrin: -b and --block-points contradict each other\n"},
    {"blocks_of_nothing", "-n 8 -b 1 --coherence samples.xml",
     "veltrin: -b and --block-points need values for each block: give --stats, --band, --slope-band, --stern-geary or "
     "--spectra-dir\n"},
    {"spectra_without_blocks", "-n 8 --spectra-dir . samples.xml",
     "veltrin: --spectra-dir needs blocks: give -b or --block-points\n"},
    {"spectra_into_nothing", "-n 8 -b 20min --spectra-dir nowhere samples.xml",
     "veltrin: --spectra-dir nowhere: no such directory\n"},
    {"config_with_blocks", "-c config.txt -b 1",
     "veltrin: -c takes no other options but --threads, and no data files\n"},
    {"config_with_its_default_format", "-c config.txt -f table",
     "veltrin: -c takes no other options but --threads, and no data files\n"},
    {"spectra_of_two_files_alike", "-n 8 -b 1 --spectra-dir . samples.xml ./samples.xml",
     "veltrin: data files samples.xml and ./samples.xml would both write ./samples.block0001.psd.txt\n"},
    {"result_over_a_blocks_spectra", "-n 8 -b 1 --spectra-dir . -o samples.block0002.psd.csv samples.xml",
     "veltrin: the result of samples.xml (samples.block0002.psd.csv) would replace a block's spectra in .\n"},
};

void PrintTo(const usage_case& c, std::ostream* os)
{
    *os << c.name;
}

class usage_error : public testing::TestWithParam<usage_case> {};

TEST_P(usage_error, exits_2_with_the_message_and_the_usage_and_writes_nothing)
{
    const std::string dir = scratch_with_recording();
    mkdir((dir + "/out").c_str(), 0755);
    const command_outcome outcome = run_command(dir, GetParam().arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n') + 1), GetParam().first_line);
    EXPECT_EQ(outcome.err.substr(outcome.err.find('\n') + 1, usage_start.size()), usage_start);
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/out"));
}

INSTANTIATE_TEST_SUITE_P(cases, usage_error, testing::ValuesIn(usage_cases),
                         [](const testing::TestParamInfo<usage_case>& info) { return info.param.name; });

TEST(command_line, one_file_to_standard_output)
{
    const std::string dir = scratch_with_recording();
    const command_outcome outcome = run_command(dir, "-n 8 -s 1 samples.xml");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, small_table("samples.xml"));
    // All the sections the recording holds by default; "-" reads standard input.
    EXPECT_EQ(run_command(dir, "--points=4 -", "samples.xml").out.substr(0, 80), small_table("-", 2, 4).substr(0, 80));
    EXPECT_EQ(run_command(dir, "-n 8 -o - samples.xml").out, small_table("samples.xml"));
}

TEST(command_line, options_write_the_bytes_of_the_configuration_mode)
{
    const std::string source = std::string(VELTRIN_SOURCE_DIR) + "/examples";
    const std::string dir = make_scratch_directory();
    write_file(dir + "/noise.xml", read_file(source + "/noise_paired.xml"));
    write_file(dir + "/config_veltrin.txt", "noise.xml 1 4 1024 config.txt\n");
    EXPECT_EQ(run_command(dir, "").status, 0);
    const command_outcome outcome = run_command(dir, "-n 1024 -s 4 --hanning -o r.txt noise.xml");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(read_file(dir + "/r.txt"), read_file(dir + "/config.txt"));
}

TEST(command_line, arguments_without_a_dash_run_the_configuration_mode_unchanged)
{
    const std::string dir = scratch_with_recording();
    write_file(dir + "/config_veltrin.txt", "samples.xml 0 1 8 result.txt\n");
    const std::string ignored =
        "veltrin: arguments without an option are ignored: the configuration mode runs config_veltrin.txt; "
        "to analyse a data file, give -n N: veltrin -n N DATA_FILE (veltrin --help)\n";
    const command_outcome outcome = run_command(dir, "dropped.xml other.xml");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, ignored);
    EXPECT_EQ(read_file(dir + "/result.txt"), small_table("samples.xml"));
    // Without arguments, not a byte more.
    std::filesystem::remove(dir + "/result.txt");
    const command_outcome plain = run_command(dir, "");
    EXPECT_EQ(plain.out + plain.err, "");
    EXPECT_EQ(read_file(dir + "/result.txt"), small_table("samples.xml"));
    std::filesystem::remove(dir + "/config_veltrin.txt");
    const command_outcome missing = run_command(dir, "dropped.xml");
    EXPECT_EQ(missing.out,
              "\nThe file config_veltrin.txt does not exist in the current directory.\nPress any key to exit\n");
    EXPECT_EQ(missing.err, ignored);
}

TEST(command_line, help_and_version_go_to_standard_output)
{
    const std::string dir = make_scratch_directory();
    const command_outcome version = run_command(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "veltrin " VELTRIN_VERSION "\n");
    EXPECT_EQ(run_command(dir, "-V").out, version.out);
    const command_outcome help = run_command(dir, "-h");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.substr(0, usage_start.size()), usage_start);
    EXPECT_NE(help.out.find("--config"), std::string::npos);
}

TEST(command_line, several_files_in_parallel_and_one_failing)
{
    const std::string dir = scratch_with_recording();
    mkdir((dir + "/sub").c_str(), 0755);
    write_file(dir + "/sub/second.data", small_recording());
    write_file(dir + "/broken.xml", "<data>\n");
    write_file(dir + "/short.xml", "<sampling_frequency>500\n<data>\n<v>1</v><i>1</i>\n");
    const command_outcome outcome =
        run_command(dir, "-j 2 -n 8 samples.xml broken.xml absent.xml sub/second.data short.xml");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err,
              "veltrin: broken.xml: The structure of the input data file is unknown. The string <data> or the string "
              "<sampling_frequency> of the XML format does not exist.\n"
              "veltrin: absent.xml: The file absent.xml does not exist.\n"
              "veltrin: short.xml: Fatal error: the number of data points is too low. Decrease the number of sections "
              "(-s) or the points per section (-n).\n");
    EXPECT_EQ(read_file(dir + "/samples.psd.txt"), small_table("samples.xml"));
    EXPECT_EQ(read_file(dir + "/sub/second.psd.txt"), small_table("sub/second.data"));
    EXPECT_FALSE(file_exists(dir + "/broken.psd.txt"));

    // Into a directory, one at a time: the same results.
    mkdir((dir + "/out").c_str(), 0755);
    EXPECT_EQ(run_command(dir, "-j 1 -n 8 -o out -f csv samples.xml sub/second.data").status, 0);
    EXPECT_EQ(read_file(dir + "/out/samples.psd.csv"),
              replace_name(read_file(dir + "/out/second.psd.csv"), "sub/second.data", "samples.xml"));
}

// Each failure to write says why, in the system's words.
TEST(command_line, result_files_that_cannot_be_written)
{
    const std::string dir = scratch_with_recording();
    mkdir((dir + "/sub").c_str(), 0755);
    const struct {
        const char* arguments;
        const char* error;
    } cases[] = {
        {"-n 8 -o nowhere/r.txt samples.xml",
         "veltrin: nowhere/r.txt: The file nowhere/r.txt cannot be written: No such file or directory\n"},
        {"-n 8 -o sub samples.xml", "veltrin: sub: The file sub cannot be written: Is a directory\n"},
        // Standard output that cannot take the table, the help or the version.
        {"-n 8 samples.xml >/dev/full", "veltrin: -: The file - cannot be written: No space left on device\n"},
        {"--help >/dev/full", "veltrin: -: The file - cannot be written: No space left on device\n"},
        {"-V >/dev/full", "veltrin: -: The file - cannot be written: No space left on device\n"},
    };
    for (const auto& c : cases) {
        const std::string command =
            "cd " + quoted(dir) + " && '" + program_under_test() + "' " + c.arguments + " 2>err";
        const int status = std::system(command.c_str());
        EXPECT_EQ(WEXITSTATUS(status), 1) << c.arguments;
        EXPECT_EQ(read_file(dir + "/err"), c.error);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/sub"));
}

// However a result's name is spelled or linked, it never replaces a data
// file of the run: a usage error before anything is read or written.
TEST(command_line, a_result_never_replaces_a_data_file_of_the_run)
{
    const std::string dir = scratch_with_recording();
    mkdir((dir + "/out").c_str(), 0755);
    for (const char* name : {"a.xml", "a.psd.txt", "b.xml", "out/a.psd.csv"})
        write_file(dir + "/" + name, small_recording());
    ASSERT_EQ(link((dir + "/a.xml").c_str(), (dir + "/b.psd.txt").c_str()), 0);
    ASSERT_EQ(symlink("samples.xml", (dir + "/link.psd.txt").c_str()), 0);
    const auto snapshot = [&] {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
            files.push_back(entry.path().string() + "=" + (entry.is_regular_file() ? read_file(entry.path()) : ""));
        std::sort(files.begin(), files.end());
        return files;
    };
    const std::vector<std::string> before = snapshot();
    const struct {
        const char* arguments;
        const char* stdin_file;
        const char* error;
    } cases[] = {
        {"-n 8 a.xml a.psd.txt", "/dev/null",
         "the result of a.xml (a.psd.txt) would overwrite the data file a.psd.txt"},
        {"-n 8 -f csv -o out a.xml out/a.psd.csv", "/dev/null",
         "the result of a.xml (out/a.psd.csv) would overwrite the data file out/a.psd.csv"},
        {"-n 8 a.xml b.xml", "/dev/null", "the result of b.xml (b.psd.txt) would overwrite the data file a.xml"},
        {"-n 8 samples.xml link.xml", "/dev/null",
         "the result of link.xml (link.psd.txt) would overwrite the data file samples.xml"},
        {"-n 8 -o a.psd.txt -", "a.psd.txt", "the result of - (a.psd.txt) would overwrite the data file -"},
    };
    for (const auto& c : cases) {
        // Wine does not identify a standard input redirected from a file.
        if (std::string(c.arguments).ends_with(" -") && std::getenv("VELTRIN_TEST_EXE") != nullptr) continue;
        const command_outcome outcome = run_command(dir, c.arguments, c.stdin_file);
        EXPECT_EQ(outcome.status, 2) << c.arguments;
        EXPECT_EQ(outcome.out, "") << c.arguments;
        EXPECT_EQ(outcome.err.substr(0, outcome.err.find('\n')), std::string("veltrin: ") + c.error);
        EXPECT_EQ(outcome.err.substr(outcome.err.find('\n') + 1, usage_start.size()), usage_start) << c.arguments;
        EXPECT_EQ(snapshot(), before) << c.arguments;
    }
}

// A name that starts with its only dot has no extension to drop, and two
// such names are no clash.
TEST(command_line, names_that_start_with_a_dot_keep_it_in_their_results)
{
    const std::string dir = scratch_with_recording();
    mkdir((dir + "/sub").c_str(), 0755);
    for (const char* name : {".a", ".b", "sub/.rec"}) write_file(dir + "/" + name, small_recording());
    const command_outcome outcome = run_command(dir, "-n 8 .a .b sub/.rec");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(read_file(dir + "/.a.psd.txt"), small_table(".a"));
    EXPECT_EQ(read_file(dir + "/.b.psd.txt"), small_table(".b"));
    EXPECT_EQ(read_file(dir + "/sub/.rec.psd.txt"), small_table("sub/.rec"));
}

// Text saved as UTF-16 has no tags the reader can see: the structure
// message gets a hint, which the configuration mode does not give. Other
// text without tags or numbers is no recording of any format.
TEST(command_line, a_sample_file_in_utf16_gets_a_hint)
{
    const std::string dir = make_scratch_directory();
    std::string little_endian;
    std::string big_endian;
    for (const char c : small_recording()) {
        little_endian += std::string{c, '\0'};
        big_endian += std::string{'\0', c};
    }
    const std::string structure =
        "The structure of the input data file is unknown. The string <data> or the string <sampling_frequency> of "
        "the XML format does not exist.";
    const std::string hint = " (the file looks like UTF-16 text: save it as UTF-8)";
    const std::string no_table =
        "Fatal error: the file holds no row of numbers, nor the <sampling_frequency> and <data> tags of a tagged "
        "recording.";
    const struct {
        const char* name;
        std::string content;
        std::string message;
    } cases[] = {
        {"le_bom.xml", "\xFF\xFE" + little_endian, structure + hint},
        {"be_bom.xml", "\xFE\xFF" + big_endian, structure + hint},
        {"le.xml", little_endian, structure + hint},
        {"be.xml", big_endian, structure + hint},
        {"nul.xml", std::string(64, '\0'), no_table},
        {"text.xml", "just text\n", no_table},
    };
    for (const auto& c : cases) {
        write_file(dir + "/" + c.name, c.content);
        const command_outcome outcome = run_command(dir, std::string("-n 8 ") + c.name);
        EXPECT_EQ(outcome.status, 1) << c.name;
        EXPECT_EQ(outcome.err, "veltrin: " + std::string(c.name) + ": " + c.message + "\n");
    }
    // Named as tagged, text without tags gets the tagged format's message.
    EXPECT_EQ(run_command(dir, "-n 8 --input-format tagged text.xml").err, "veltrin: text.xml: " + structure + "\n");
    // Standard input too, which is read once.
    EXPECT_EQ(run_command(dir, "-n 8 -", "le_bom.xml").err, "veltrin: -: " + structure + hint + "\n");
}

// A FIFO is read once, without going back to its start: the reader tells
// UTF-16 from the bytes it has read.
TEST(command_line, a_utf16_fifo_gets_the_hint_too)
{
    const std::string dir = make_scratch_directory();
    std::string big_endian;
    for (const char c : small_recording()) big_endian += std::string{'\0', c};
    write_file(dir + "/be.xml", big_endian);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    const command_outcome piped = run_command(dir, "-n 8 fifo", "/dev/null", "(cat be.xml >fifo &) &&");
    EXPECT_EQ(piped.err,
              "veltrin: fifo: The structure of the input data file is unknown. The string <data> or the string "
              "<sampling_frequency> of the XML format does not exist. (the file looks like UTF-16 text: save it as "
              "UTF-8)\n");
}

// Control characters of a file name are written \xHH in the CSV "#" line and
// in the table's first line, so that neither breaks its lines; the
// configuration mode echoes its name as configured.
TEST(command_line, control_characters_in_any_file_name_are_escaped)
{
    const std::string dir = make_scratch_directory();
    const std::string name = "a\x01"
                             "b\x7F"
                             "c\nd.xml";
    const std::string escaped = "a\\x01b\\x7Fc\\x0Ad.xml";
    write_file(dir + "/" + name, small_recording());
    const command_outcome csv = run_command(dir, "-n 8 -f csv " + quoted(name));
    EXPECT_NE(csv.out.find("\n# data_file = " + escaped + "\n"), std::string::npos) << csv.out;
    EXPECT_EQ(run_command(dir, "-n 8 " + quoted(name)).out, small_table(escaped));
    const std::string configured = "a\x01"
                                   "b\x7F"
                                   "c.xml";
    write_file(dir + "/" + configured, small_recording());
    write_file(dir + "/config_veltrin.txt", configured + " 0 1 8 result.txt\n");
    EXPECT_EQ(run_command(dir, "").status, 0);
    EXPECT_EQ(read_file(dir + "/result.txt"), small_table(configured));
}

// The largest value of each whole-number option is taken (the next is a
// usage error, see usage_cases). Sections longer than the recording are
// refused before their memory is taken: within a small memory limit, at once.
TEST(command_line, largest_option_values_are_taken_and_cost_no_memory)
{
    const std::string dir = scratch_with_recording();
#ifdef VELTRIN_SANITIZED
    const std::string limit;  // the sanitizers reserve far more address space
#else
    const std::string limit = "ulimit -v 200000 &&";
#endif
    const std::string too_low = "veltrin: samples.xml: Fatal error: the number of data points is too low. Decrease "
                                "the number of sections (-s) or the points per section (-n).\n";
    for (const char* arguments :
         {"-n 2147483647 -w hann samples.xml", "-n 2147483647 -s 2147483647 --overlap 0.5 samples.xml",
          "-n 1073741824 samples.xml", "-n 8 -s 2147483647 --coherence --stats samples.xml"}) {
        const command_outcome outcome = run_command(dir, arguments, "/dev/null", limit);
        EXPECT_EQ(outcome.status, 1) << arguments;
        EXPECT_EQ(outcome.err, too_low) << arguments;
    }
    const command_outcome most = run_command(dir, "--threads 1024 -j 1024 -n 8 samples.xml", "/dev/null", limit);
    EXPECT_EQ(most.status, 0);
    EXPECT_EQ(most.out, small_table("samples.xml"));
}

TEST(command_line, config_option_takes_names_relative_to_its_file)
{
    const std::string dir = make_scratch_directory();
    mkdir((dir + "/lab").c_str(), 0755);
    write_file(dir + "/lab/samples.xml", small_recording());
    write_file(dir + "/lab/settings.txt", "samples.xml 0 1 8 result.txt\n");
    const command_outcome outcome = run_command(dir, "--config lab/settings.txt");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(read_file(dir + "/lab/result.txt"), small_table("samples.xml"));

    const struct {
        const char* config;
        const char* error;
    } failures[] = {
        {"samples.xml 0 2 8 result.txt",
         "veltrin: lab/samples.xml: Fatal error: the number of data points is too low. Decrease the number of "
         "sections in the file lab/settings.txt.\n"},
        {"absent.xml 0 1 8 result.txt", "veltrin: lab/absent.xml: The file lab/absent.xml does not exist.\n"},
        {"samples.xml 0 1 8 missing/r.txt",
         "veltrin: lab/missing/r.txt: The file lab/missing/r.txt cannot be written: No such file or directory\n"},
        {"samples.xml 0 1 8", "veltrin: lab/settings.txt: The file lab/settings.txt is not valid: it must hold the "
                              "data file name, hanning, nb_section, nbpoint_section and the result file name.\n"},
    };
    for (const auto& failure : failures) {
        write_file(dir + "/lab/settings.txt", failure.config);
        const command_outcome failed = run_command(dir, "-c lab/settings.txt");
        EXPECT_EQ(failed.status, 1) << failure.config;
        EXPECT_EQ(failed.out, "") << failure.config;  // no prompt
        EXPECT_EQ(failed.err, failure.error);
    }
    const command_outcome absent = run_command(dir, "-c lab/none.txt");
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "veltrin: lab/none.txt: The file lab/none.txt does not exist.\n");
}

}  // namespace
