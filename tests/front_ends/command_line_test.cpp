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
#include "test_files.hpp"

namespace {

// v alternates +1, -1 (bin 4), i repeats 1, 1, -1, -1 (bin 2): 8 samples at 500 Hz.
std::string small_recording()
{
    const char* v[] = {"1", "-1", "1", "-1", "1", "-1", "1", "-1"};
    const char* i[] = {"1", "1", "-1", "-1", "1", "1", "-1", "-1"};
    std::string text = "<sampling_frequency>500</sampling_frequency>\n<data>\n";
    for (int k = 0; k < 8; ++k) text += std::string("<v>") + v[k] + "</v><i>" + i[k] + "</i>\n";
    return text + "</data>\n";
}

std::string small_table(const std::string& name, int sections = 1, int points = 8)
{
    std::string table = "data file = " + name + "    hanning = 0    nb_section = " + std::to_string(sections) +
                        "     nbpoint_section = " + std::to_string(points) +
                        "\n"
                        "    frequency        PSD_v           PSD_i            Zn\n";
    if (points == 8)
        table += "  6.250000e+01\t  0.000000e+00\t  0.000000e+00\t           nan\n"
                 "  1.250000e+02\t  0.000000e+00\t  1.600000e-02\t  0.000000e+00\n"
                 "  1.875000e+02\t  0.000000e+00\t  0.000000e+00\t           nan\n"
                 "  2.500000e+02\t  3.200000e-02\t  0.000000e+00\t           inf\n";
    return table;
}

std::string replace_name(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

std::string scratch_with_recording()
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/samples.xml", small_recording());
    return dir;
}

const std::string usage_start = "usage: veltrin -n N";

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

// The CSV rows are the table's numbers in full; the settings follow the rows.
TEST(command_line, csv_holds_the_table_numbers_and_the_settings)
{
    const std::string dir = scratch_with_recording();
    const command_outcome outcome = run_command(dir, "-n 8 -f csv samples.xml");
    EXPECT_EQ(outcome.status, 0);
    std::istringstream csv(outcome.out);
    std::istringstream table(small_table("samples.xml"));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "frequency,psd_v,psd_i,zn");
    std::getline(table, line);
    std::getline(table, line);
    for (int row = 0; row < 4; ++row) {
        std::string csv_row;
        std::string table_row;
        std::getline(csv, csv_row);
        std::getline(table, table_row);
        std::string formatted;
        std::istringstream fields(csv_row);
        for (std::string field; std::getline(fields, field, ',');) {
            char text[32];
            std::snprintf(text, sizeof text, "%14.6e", std::strtod(field.c_str(), nullptr));
            if (!formatted.empty()) formatted += '\t';
            formatted += text;
        }
        EXPECT_EQ(formatted, table_row);
    }
    std::string rest((std::istreambuf_iterator<char>(csv)), std::istreambuf_iterator<char>());
    EXPECT_EQ(rest, "# data_file = samples.xml\n# sampling_frequency = 500\n# estimate = configuration\n# hanning = 0\n"
                    "# nb_section = 1\n# nbpoint_section = 8\n# input_format = tagged\n");
    EXPECT_NE(outcome.out.find("\n62.499996185302734,0,0,nan\n"), std::string::npos);
    EXPECT_NE(outcome.out.find(",0.03200000151991844,0,inf\n"), std::string::npos);
}

TEST(command_line, json_is_one_object_and_any_file_name_survives)
{
    const std::string dir = scratch_with_recording();
    const std::string name = "we\"ird\\name\t.xml";
    write_file(dir + "/" + name, small_recording());
    const command_outcome outcome = run_command(dir, "-n 8 -f json " + quoted(name));
    EXPECT_EQ(outcome.status, 0);
    const nlohmann::json document = nlohmann::json::parse(outcome.out);
    EXPECT_EQ(document["data_file"], name);
    EXPECT_EQ(document["sampling_frequency"], 500.0);
    EXPECT_EQ(document["settings"], (nlohmann::json{{"estimate", "configuration"},
                                                    {"hanning", 0},
                                                    {"nb_section", 1},
                                                    {"nbpoint_section", 8},
                                                    {"input_format", "tagged"}}));
    EXPECT_EQ(document["columns"]["zn"], (nlohmann::json{nullptr, 0.0, nullptr, nullptr}));
    EXPECT_EQ(document["columns"]["psd_v"][3].get<double>(), static_cast<double>(0.032f));
    EXPECT_EQ(document["columns"]["frequency"].size(), 4u);
}

TEST(command_line, standard_estimate_takes_any_length_and_names_its_settings)
{
    const std::string dir = scratch_with_recording();
    const command_outcome outcome = run_command(dir, "-n 3 --overlap 0.5 samples.xml");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    // Rows from bin 0 to bin 1 (n = 3), step 2: sections at 0, 2, 4 fit in 8 samples.
    EXPECT_EQ(outcome.out.substr(0, outcome.out.find('\n')),
              "data file = samples.xml    window = hann    nb_section = 3     nbpoint_section = 3     noverlap = 1"
              "    detrend = constant    average = mean");
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 4);
    EXPECT_EQ(outcome.out.substr(outcome.out.find('\n') + 1, 61),
              "    frequency        PSD_v           PSD_i            Zn\n  0.");
}

// v = -i: the cross spectrum is negative and real, its phase 180 degrees;
// one section: the coherence is 1, and the result says why.
TEST(command_line, coherence_phase_and_the_one_section_note)
{
    const std::string dir = make_scratch_directory();
    std::string text = "<sampling_frequency>100\n<data>\n";
    for (int k = 0; k < 16; ++k) {
        const std::string value = std::to_string(1.5 + std::sin(k * 1.3) + 0.1 * k);  // positive
        text += "<v>-" + value + "</v><i>" + value + "</i>\n";
    }
    write_file(dir + "/r.xml", text);
    const command_outcome csv = run_command(dir, "-n 16 -w boxcar --coherence -f csv r.xml");
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "frequency,psd_v,psd_i,zn,coherence,phase");
    std::istringstream rows(csv.out);
    std::string row;
    std::getline(rows, row);
    std::getline(rows, row);  // bin 0: nothing is left after the mean's removal, so no phase either
    EXPECT_EQ(row, "0,0,0,nan,nan,nan");
    for (int k = 1; k <= 8; ++k) {
        std::getline(rows, row);
        // The last two fields: coherence 1 and phase 180, to rounding.
        const std::size_t phase_at = row.rfind(',');
        const std::size_t coherence_at = row.rfind(',', phase_at - 1);
        EXPECT_NEAR(std::stod(row.substr(coherence_at + 1)), 1.0, 1e-12) << row;
        EXPECT_NEAR(std::stod(row.substr(phase_at + 1)), 180.0, 1e-9) << row;
    }
    EXPECT_NE(csv.out.find("\n# coherence_note = one section: the coherence is 1 by construction\n"),
              std::string::npos);
    const nlohmann::json json = nlohmann::json::parse(run_command(dir, "-n 16 --coherence -f json r.xml").out);
    EXPECT_EQ(json["settings"]["coherence_note"], "one section: the coherence is 1 by construction");
    EXPECT_NEAR(json["columns"]["phase"][1].get<double>(), 180.0, 1e-9);
    // Two sections: no note.
    EXPECT_EQ(run_command(dir, "-n 8 --coherence -f csv r.xml").out.find("coherence_note"), std::string::npos);

    // i = -3 v: the transforms' rounding leaves some bins' angle at exactly
    // -180, which the interval (-180, 180] shows as 180.
    std::string tripled = "<sampling_frequency>100\n<data>\n";
    for (int k = 0; k < 16; ++k) {
        const double v = std::round((1.5 + std::sin(k * 1.3) + 0.1 * k) * 64) / 64;  // -3 v exact in float
        tripled += "<v>" + std::to_string(v) + "</v><i>" + std::to_string(-3 * v) + "</i>\n";
    }
    write_file(dir + "/t.xml", tripled);
    for (const char* options : {"-n 8", "-n 16 -w boxcar"}) {
        const command_outcome run = run_command(dir, std::string(options) + " --coherence -f csv t.xml");
        std::istringstream lines(run.out);
        std::getline(lines, row);
        int bins = 0;
        while (std::getline(lines, row) && !row.starts_with("#")) {
            if (row.ends_with(",nan")) continue;  // a bin without power has no phase
            EXPECT_TRUE(row.ends_with(",180")) << options << ": " << row;
            ++bins;
        }
        EXPECT_GE(bins, 4) << options;
    }
}

TEST(command_line, statistics_follow_the_table_after_a_blank_line)
{
    const std::string dir = scratch_with_recording();
    const command_outcome outcome = run_command(dir, "-n 8 --stats samples.xml");
    EXPECT_EQ(outcome.status, 0);
    const std::string table = small_table("samples.xml");
    ASSERT_EQ(outcome.out.substr(0, table.size()), table);
    EXPECT_EQ(outcome.out.substr(table.size()),
              "\nv_mean = 0\nv_std = 1\nv_rms = 1\nv_skewness = 0\nv_kurtosis = -2\nv_min = -1\nv_max = 1\n"
              "i_mean = 0\ni_std = 1\ni_rms = 1\ni_skewness = 0\ni_kurtosis = -2\ni_min = -1\ni_max = 1\n"
              "rn = 1\nlocalization_index = 1\nrn_sections = 1\n");
    const nlohmann::json json = nlohmann::json::parse(run_command(dir, "-n 8 --stats -f json samples.xml").out);
    EXPECT_EQ(json["statistics"]["v_kurtosis"], -2.0);
    EXPECT_EQ(json["statistics"].size(), 17u);
}

TEST(command_line, confidence_columns_in_every_format)
{
    const std::string dir = scratch_with_recording();
    const command_outcome table = run_command(dir, "-n 4 --confidence 0.95 samples.xml");
    EXPECT_EQ(table.status, 0);
    EXPECT_NE(table.out.find("Zn\t     psd_v_low\t    psd_v_high\t     psd_i_low\t    psd_i_high\t        zn_low\t"
                             "       zn_high\t        nu_bin\n"),
              std::string::npos);
    // Two sections without overlap: nu = 4 exactly, 2 at the last bin.
    const command_outcome csv = run_command(dir, "-n 4 --confidence 0.95 -f csv samples.xml");
    EXPECT_NE(csv.out.find("\n# confidence = 0.95\n# nu = 4\n"), std::string::npos);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')),
              "frequency,psd_v,psd_i,zn,psd_v_low,psd_v_high,psd_i_low,psd_i_high,zn_low,zn_high,nu_bin");
    // The exact degrees of freedom of bins 1 and 2: 4 and 2 (no overlap, boxcar).
    EXPECT_NE(csv.out.find(",4\n"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find(",2\n#"), std::string::npos) << csv.out;
}

// The band quantities follow the statistics: "key = value" lines in the
// table, "#" lines in CSV, the object "band" in JSON; B and A are settings.
TEST(command_line, band_quantities_in_every_format)
{
    const std::string dir = scratch_with_recording();
    // psd_v is 0 in the band (2 f1 ... 10 f1), psd_i 0.016 in one bin of two.
    const std::string band = "band_low = 124.99999237060547\nband_high = 624.9999618530273\nband_bins = 2\n"
                             "psd_v_band = 0\npsd_i_band = 0.00800000037997961\nzn_band = 0\n";
    const std::string shot_noise = "q = 0\nfn = inf\ni_corr = inf\n";
    const command_outcome table = run_command(dir, "-n 8 --stern-geary 0.026 --area 2 samples.xml");
    EXPECT_EQ(table.status, 0);
    ASSERT_EQ(table.out.substr(0, small_table("samples.xml").size()), small_table("samples.xml"));
    const std::string after = table.out.substr(small_table("samples.xml").size());
    EXPECT_EQ(after.substr(0, band.size() + 1), "\n" + band);
    // Eight points: 10 f1 lies above fs/4, the default slope band is empty.
    EXPECT_NE(after.find("\nslope_bins = 0\nslope_v = nan\n"), std::string::npos) << after;
    EXPECT_TRUE(after.ends_with("slope_i_stderr = nan\n" + shot_noise + "shot_noise_cell = two identical electrodes\n"))
        << after;

    const command_outcome csv = run_command(dir, "-n 8 --stern-geary 0.026 --area 2 --stats -f csv samples.xml");
    EXPECT_NE(csv.out.find("\n# nbpoint_section = 8\n# stern_geary = 0.026\n# area = 2\n"
                           "# shot_noise_cell = two identical electrodes\n# input_format = tagged\n"),
              std::string::npos);
    EXPECT_NE(csv.out.find("\n# rn_sections = 1\n# " + replace_name(band, "\n", "\n# ")), std::string::npos) << csv.out;
    EXPECT_TRUE(csv.out.ends_with("# " + replace_name(shot_noise, "\n", "\n# ") + "i_corr_rn = 0.026\n")) << csv.out;

    const nlohmann::json json =
        nlohmann::json::parse(run_command(dir, "-n 4 --confidence 0.9 --zn-interval coherent --band 0:200 "
                                               "--stern-geary 0.026 -f json samples.xml")
                                  .out);
    EXPECT_EQ(json["settings"]["zn_interval"], "coherent");
    EXPECT_EQ(json["band"]["band_bins"], 1);
    EXPECT_EQ(json["band"]["nu_band"], 4.0);
    EXPECT_EQ(json["band"]["fn"], nullptr);
    EXPECT_EQ(json["band"].size(), 19u);
    EXPECT_EQ(json.size(), 5u);  // no statistics: no i_corr_rn
}

// Every thread count writes the same bytes, in both estimates, on the
// examples and on a generated recording with CR LF, CR and long lines.
TEST(command_line, every_thread_count_writes_the_same_bytes)
{
    const std::string dir = make_scratch_directory();
    const std::string source = std::string(VELTRIN_SOURCE_DIR) + "/examples";
    write_file(dir + "/paired.xml", read_file(source + "/noise_paired.xml"));
    write_file(dir + "/split.xml", read_file(source + "/split/noise_split.xml"));
    std::string text = "<sampling_frequency>1000\r\n<data>\r\n";
    for (int k = 0; k < 20000; ++k) {
        text += "<v>" + std::to_string(std::sin(k * 0.01) + 0.001 * (k % 17)) + "</v><i>" + std::to_string(k % 5) +
                "</i>" +
                (k % 3 == 0   ? "\r\n"
                 : k % 3 == 1 ? "\r"
                              : std::string(100, ' ') + "\n");
    }
    write_file(dir + "/generated.xml", text + "</data>\r\n");
    for (const char* estimate : {"-n 256 --hanning --coherence --confidence 0.9 --stats --zn-interval coherent "
                                 "--stern-geary 0.026",
                                 "-n 250 -w blackman --overlap 0.5 --coherence --stats --band 1:20"}) {
        for (const char* name : {"paired.xml", "split.xml", "generated.xml"}) {
            const std::string arguments = std::string(estimate) + " -f csv " + name;
            const std::string one = run_command(dir, "--threads 1 " + arguments).out;
            ASSERT_GT(one.size(), 100u) << arguments;
            for (const char* threads : {"2", "3", "7"})
                EXPECT_EQ(run_command(dir, std::string("--threads ") + threads + " " + arguments).out, one)
                    << threads << " threads: " << arguments;
        }
    }
}

// numpy and pandas, the readers users have, take the CSV as it is.
TEST(command_line, csv_reads_in_numpy_and_pandas)
{
    if (std::system("/usr/bin/python3 -c 'import numpy, pandas' 2>/dev/null") != 0)
        GTEST_SKIP() << "numpy and pandas are not installed (Debian: python3-numpy python3-pandas)";
    const std::string dir = scratch_with_recording();
    ASSERT_EQ(run_command(dir, "-n 8 -f csv -o r.csv samples.xml").status, 0);
    const std::string script =
        "import numpy, pandas\n"
        "a = numpy.genfromtxt('r.csv', delimiter=',', names=True)\n"
        "b = pandas.read_csv('r.csv', comment='#')\n"
        "assert list(b.columns) == ['frequency', 'psd_v', 'psd_i', 'zn'] and len(b) == 4 and len(a) == 4\n"
        "assert a['psd_v'][3] == numpy.float32(0.032)\n"
        // pandas' default parser may miss the last bit; its round-trip parser may not
        "assert abs(b['psd_v'][3] / a['psd_v'][3] - 1) < 1e-14\n"
        "assert (pandas.read_csv('r.csv', comment='#', float_precision='round_trip')['psd_v'] == a['psd_v']).all()\n"
        "assert numpy.isinf(b['zn'][3]) and numpy.isnan(a['zn'][0])\n"
        "print('ok')\n";
    write_file(dir + "/check.py", script);
    EXPECT_EQ(run_command(dir, "--version").status, 0);
    const std::string command = "cd " + quoted(dir) + " && /usr/bin/python3 check.py 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    char text[4096] = {};
    const std::size_t got = std::fread(text, 1, sizeof text - 1, pipe);
    pclose(pipe);
    EXPECT_EQ(std::string(text, got), "ok\n");
}

}  // namespace

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
