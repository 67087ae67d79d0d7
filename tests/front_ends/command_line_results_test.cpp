// The options mode's results through the executable: CSV and JSON, the
// standard estimate, coherence, statistics, intervals and band quantities,
// the same bytes for every thread count, read back by numpy and pandas.
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
