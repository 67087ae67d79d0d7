// Runs in blocks through the executable: each block's row and spectra
// equal the whole-file results of its samples cut out by hand, in every
// input format; the formats of the table; live rows from a FIFO; SIGINT.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <map>
#include <nlohmann/json.hpp>
#include <poll.h>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "front_ends/block_run.hpp"
#include "test_files.hpp"

using namespace veltrin;

namespace {

// A recording of noise on an offset and a drift, as float32 pairs.
std::vector<std::pair<float, float>> noise_pairs(int count)
{
    std::vector<std::pair<float, float>> pairs;
    std::uint64_t state = 12345;
    const auto uniform = [&] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    };
    for (int k = 0; k < count; ++k)
        pairs.emplace_back(static_cast<float>(0.3 + 1e-4 * uniform() + 1e-8 * k),
                           static_cast<float>(1e-3 + 1e-6 * uniform()));
    return pairs;
}

// The pairs [first, first + count) in one of the formats the program reads.
std::string file_of(const std::vector<std::pair<float, float>>& pairs, const std::string& format, std::size_t first,
                    std::size_t count)
{
    std::string text = format == "tagged" ? "<sampling_frequency>100</sampling_frequency>\n<data>\n"
                       : format == "csv"  ? "v,i\n"
                                          : "";
    char line[96];
    for (std::size_t k = first; k < first + count; ++k) {
        const auto [v, i] = pairs[k];
        if (format == "f32le") {
            text.append(reinterpret_cast<const char*>(&v), 4).append(reinterpret_cast<const char*>(&i), 4);
            continue;
        }
        std::snprintf(line, sizeof line, format == "tagged" ? "<v>%.9g</v><i>%.9g</i>\n" : "%.9g,%.9g\n", v, i);
        text += line;
    }
    return format == "tagged" ? text + "</data>\n" : text;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> fields_of(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

// The "# key = value" lines of a CSV result.
std::map<std::string, std::string> settings_of(const std::string& csv)
{
    std::map<std::string, std::string> settings;
    for (const std::string& line : lines_of(csv)) {
        const std::size_t equals = line.find(" = ");
        if (line.starts_with("# ") && equals != std::string::npos)
            settings[line.substr(2, equals - 2)] = line.substr(equals + 3);
    }
    return settings;
}

struct block_case {
    const char* name;
    const char* format;
    const char* options;
};

const block_case block_cases[] = {
    {"tagged_configuration", "tagged", "-n 256 --stats --confidence 0.9 --coherence"},
    {"csv_standard", "csv",
     "--fs 100 -n 300 -w hann --overlap 0.5 --confidence 0.9 --coherence --stats --stern-geary 0.026"},
    {"raw_median", "f32le", "--input-format f32le --fs 100 -n 256 -w hamming --average median -s 5 --stats"},
    {"raw_coherent_band", "f32le",
     "--input-format f32le --fs 100 -n 512 -w hann --detrend linear --confidence 0.95 "
     "--zn-interval coherent --band 0.2:2 --slope-band 1:20"},
};

class block_rows : public testing::TestWithParam<block_case> {};

void PrintTo(const block_case& c, std::ostream* os)
{
    *os << c.name;
}

TEST_P(block_rows, equal_the_whole_file_results_of_each_block_cut_out_by_hand)
{
    const block_case& c = GetParam();
    const std::string dir = make_scratch_directory();
    const int points = 2048;
    const auto pairs = noise_pairs(3 * points + 123);
    write_file(dir + "/rec.dat", file_of(pairs, c.format, 0, pairs.size()));
    ASSERT_EQ(mkdir((dir + "/spectra").c_str(), 0755), 0);
    // 20.48 s at 100 Hz: 2048 samples.
    const command_outcome blocks =
        run_command(dir, std::string(c.options) + " -b 20.48s -f csv --spectra-dir spectra rec.dat");
    ASSERT_EQ(blocks.status, 0) << blocks.err;
    EXPECT_EQ(blocks.err, "");
    const std::vector<std::string> lines = lines_of(blocks.out);
    ASSERT_GE(lines.size(), 4u);
    const std::vector<std::string> keys = fields_of(lines[0]);
    const std::map<std::string, std::string> settings = settings_of(blocks.out);
    EXPECT_EQ(settings.at("block_points"), "2048");
    EXPECT_EQ(settings.at("blocks"), "3");
    EXPECT_EQ(settings.at("dropped_samples"), "123");
    for (int block = 1; block <= 3; ++block) {
        const std::string cut = "cut" + std::to_string(block) + ".dat";
        write_file(dir + "/" + cut, file_of(pairs, c.format, static_cast<std::size_t>(block - 1) * points, points));
        const command_outcome whole = run_command(dir, std::string(c.options) + " -f csv " + cut);
        ASSERT_EQ(whole.status, 0) << whole.err;
        // The block's spectra are the cut's result, byte for byte but for the file's name.
        char spectra[64];
        std::snprintf(spectra, sizeof spectra, "/spectra/rec.block%04d.psd.csv", block);
        std::string expected = whole.out;
        expected.replace(expected.find("# data_file = " + cut), 14 + cut.size(), "# data_file = rec.dat");
        EXPECT_EQ(read_file(dir + spectra), expected) << "block " << block;
        // Its row holds the cut's statistics and band quantities, in their shortest digits.
        const std::vector<std::string> row = fields_of(lines[static_cast<std::size_t>(block)]);
        ASSERT_EQ(row.size(), keys.size());
        EXPECT_EQ(row[0], std::to_string(block));
        EXPECT_EQ(row[1], block == 1 ? "0"
                                     : std::to_string((block - 1) * 2048 / 100) + "." +
                                           std::to_string((block - 1) * 2048 % 100));
        const std::map<std::string, std::string> cut_values = settings_of(whole.out);
        for (std::size_t k = 3; k < keys.size(); ++k) EXPECT_EQ(row[k], cut_values.at(keys[k])) << keys[k];
    }
}

INSTANTIATE_TEST_SUITE_P(cases, block_rows, testing::ValuesIn(block_cases),
                         [](const testing::TestParamInfo<block_case>& info) { return std::string(info.param.name); });

TEST(block_run, every_format_holds_the_rows_and_the_settings)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/rec.xml", file_of(noise_pairs(1000), "tagged", 0, 1000));
    const std::string options = "-n 64 --stats --block-points 300 rec.xml -f ";

    const command_outcome json = run_command(dir, options + "json");
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json document = nlohmann::json::parse(json.out);
    ASSERT_EQ(document["blocks"].size(), 3u);
    EXPECT_EQ(document["blocks"][2]["block"], 3);
    EXPECT_EQ(document["blocks"][2]["start"], 6.0);
    EXPECT_EQ(document["blocks"][2]["end"], 9.0);
    EXPECT_TRUE(document["blocks"][0].contains("localization_index"));
    EXPECT_EQ(document["settings"]["dropped_samples"], 100);
    EXPECT_EQ(document["settings"]["block_duration"], 3.0);
    EXPECT_EQ(document["settings"]["nb_section"], 4);

    const command_outcome jsonl = run_command(dir, options + "jsonl");
    const std::vector<std::string> lines = lines_of(jsonl.out);
    ASSERT_EQ(lines.size(), 4u);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(nlohmann::json::parse(lines[static_cast<std::size_t>(k)]), document["blocks"][k]);
    EXPECT_EQ(nlohmann::json::parse(lines[3])["settings"], document["settings"]);

    const std::vector<std::string> table = lines_of(run_command(dir, options + "table").out);
    ASSERT_GE(table.size(), 7u);
    EXPECT_EQ(table[0], "data file = rec.xml    block_points = 300");
    EXPECT_EQ(table[1].substr(0, 44), "         block\t         start\t           end");
    EXPECT_EQ(table[4].substr(0, 44), "             3\t  6.000000e+00\t  9.000000e+00");
    EXPECT_EQ(table[5], "");
    EXPECT_EQ(table.back(), "dropped_samples = 100");

    // A recording shorter than one block: the header and the settings, no row.
    const command_outcome none = run_command(dir, "-n 64 --stats --block-points 5000 -f csv rec.xml");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(lines_of(none.out)[0].substr(0, 16), "block,start,end,");
    EXPECT_EQ(settings_of(none.out).at("dropped_samples"), "1000");
    EXPECT_EQ(none.err,
              "veltrin: rec.xml: no block is complete: the recording's 1000 samples are fewer than a block's 5000\n");
}

TEST(block_run, a_block_too_short_or_too_long_and_a_bad_line_midway)
{
    const std::string dir = make_scratch_directory();
    std::string text = file_of(noise_pairs(1000), "tagged", 0, 1000);
    write_file(dir + "/rec.xml", text);
    struct wrong_length {
        const char* options;
        const char* message;
    } cases[] = {
        {"-n 256 --block-points 100", "a block of 100 samples cannot hold the sections, which need 256 samples"},
        {"-n 256 -b 2", "a block of 200 samples (2 s at 100 Hz) cannot hold the sections, which need 256 samples"},
        {"-n 64 -s 5 -w hann --overlap 0.5 --block-points 150",
         "a block of 150 samples cannot hold the sections, which need 192 samples"},
        {"-n 256 -b 6000h", "a block of 2160000000 samples (2.16e+07 s at 100 Hz) is more than the 2147483647 samples "
                            "a block can hold"},
        {"-n 256 -b 1e300", "a block of 1e+302 samples (1e+300 s at 100 Hz) is more than the 2147483647 samples "
                            "a block can hold"},
    };
    for (const wrong_length& c : cases) {
        const command_outcome outcome = run_command(dir, std::string(c.options) + " --stats -f csv rec.xml");
        EXPECT_EQ(outcome.status, 2) << c.options;
        EXPECT_EQ(outcome.err, std::string("veltrin: rec.xml: ") + c.message + "\n");
        EXPECT_EQ(outcome.out, "");
    }
    // A block exactly as long as its sections is taken; a duration becomes
    // the nearest count of samples (0.29 s at 100 Hz is 28.999... in double).
    for (const auto& [options, points, blocks] :
         {std::tuple{"-n 8 -s 2 --block-points 16", "16", "62"},
          std::tuple{"-n 64 -s 5 -w hann --overlap 0.5 --block-points 192", "192", "5"},
          std::tuple{"-n 16 -b 0.29", "29", "34"}}) {
        const command_outcome outcome = run_command(dir, std::string(options) + " --stats -f csv rec.xml");
        EXPECT_EQ(outcome.status, 0) << options << ": " << outcome.err;
        std::map<std::string, std::string> settings = settings_of(outcome.out);
        EXPECT_EQ(settings["block_points"] + " " + settings["blocks"], std::string(points) + " " + blocks) << options;
    }
    // A bad line in the third block: the two blocks before it stay, with the settings.
    std::size_t at = text.find("<data>\n") + 7;
    for (int line = 0; line < 650; ++line) at = text.find('\n', at) + 1;
    text.insert(at, "<v>x</v><i>1</i>\n");
    write_file(dir + "/bad.xml", text);
    // A spectra file that would replace a data file of the run is refused, the data kept.
    ASSERT_EQ(mkdir((dir + "/spectra").c_str(), 0755), 0);
    write_file(dir + "/spectra/rec.block0001.psd.csv", read_file(dir + "/rec.xml"));
    const command_outcome spared =
        run_command(dir, "-n 64 --block-points 300 -f csv --spectra-dir spectra spectra/rec.block0001.psd.csv rec.xml");
    EXPECT_EQ(spared.status, 1);
    EXPECT_EQ(spared.err, "veltrin: spectra/rec.block0001.psd.csv: The file spectra/rec.block0001.psd.csv cannot be "
                          "written: it is an input of this run.\n");
    EXPECT_EQ(read_file(dir + "/spectra/rec.block0001.psd.csv"), read_file(dir + "/rec.xml"));
    const command_outcome bad = run_command(dir, "-n 64 --stats --block-points 300 -f csv bad.xml -o bad.csv");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "veltrin: bad.xml: Fatal error: the value on line 651 of the data block is not a number.\n");
    const std::string written = read_file(dir + "/bad.csv");
    EXPECT_EQ(settings_of(written).at("blocks"), "2");
    EXPECT_EQ(lines_of(written)[2].substr(0, 6), "2,3,6,");
    // The samples before a bad value all count, through a pipe and in raw binary too.
    std::string raw = file_of(noise_pairs(1000), "f32le", 0, 1000);
    raw.replace(650 * 8 + 4, 4, "\xff\xff\xff\x7f");  // the i value of pair 651: a NaN
    write_file(dir + "/bad.f32", raw);
    for (const auto& [pipe, options] :
         {std::pair{"cat bad.xml |", "-"}, std::pair{"", "--input-format f32le --fs 100 bad.f32"},
          std::pair{"cat bad.f32 |", "--input-format f32le --fs 100 -"}}) {
        const command_outcome outcome =
            run_command(dir, std::string("-n 64 --stats --block-points 300 -f csv ") + options,
                        *pipe != '\0' ? "/dev/stdin" : "/dev/null", pipe);
        EXPECT_EQ(outcome.status, 1) << options;
        EXPECT_NE(outcome.err.find(" 651 "), std::string::npos) << outcome.err;
        EXPECT_EQ(settings_of(outcome.out)["blocks"] + "," + settings_of(outcome.out)["dropped_samples"], "2,50")
            << pipe << options;
    }
}

// Starts the program on a FIFO with its standard output on a pipe.
struct live_run {
    pid_t pid = -1;
    int out = -1;
    std::string text;

    live_run(const std::string& dir, const std::string& arguments)
    {
        int pipe_ends[2];
        EXPECT_EQ(pipe(pipe_ends), 0);
        pid = fork();
        if (pid == 0) {
            // A caller that ignores SIGINT (a background job) would pass that on to the program.
            std::signal(SIGINT, SIG_DFL);
            dup2(pipe_ends[1], 1);
            close(pipe_ends[0]);
            if (chdir(dir.c_str()) != 0) _exit(127);
            execl("/bin/sh", "sh", "-c", ("exec " + quoted(program_under_test()) + " " + arguments).c_str(), nullptr);
            _exit(127);
        }
        close(pipe_ends[1]);
        out = pipe_ends[0];
    }
    // Reads until `lines` lines came, or 20 s passed.
    void wait_for_lines(std::size_t lines)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) < lines &&
               std::chrono::steady_clock::now() < until) {
            pollfd watched{out, POLLIN, 0};
            if (poll(&watched, 1, 100) <= 0) continue;
            char buffer[4096];
            const ssize_t got = read(out, buffer, sizeof buffer);
            if (got <= 0) break;
            text.append(buffer, static_cast<std::size_t>(got));
        }
    }
    // The exit status once standard output ends (a run still going after 20 s is killed).
    int finish()
    {
        wait_for_lines(1000);
        close(out);
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (waitpid(pid, &status, WNOHANG) == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
};

TEST(block_run, a_live_fifo_gives_each_row_before_the_writer_closes)
{
    const std::string dir = make_scratch_directory();
    ASSERT_EQ(mkfifo((dir + "/live").c_str(), 0644), 0);
    const std::string samples = file_of(noise_pairs(700), "tagged", 0, 700);
    const std::string body = samples.substr(0, samples.find("</data>"));
    live_run run(dir, "-n 64 --stats --block-points 300 -f csv live");
    const int fifo = open((dir + "/live").c_str(), O_WRONLY);
    ASSERT_GE(fifo, 0);
    // Two blocks and a part of the third, the FIFO held open.
    ASSERT_EQ(write(fifo, body.data(), body.size()), static_cast<ssize_t>(body.size()));
    run.wait_for_lines(3);
    EXPECT_EQ(std::count(run.text.begin(), run.text.end(), '\n'), 3) << run.text;
    EXPECT_EQ(lines_of(run.text)[2].substr(0, 6), "2,3,6,");
    const std::string end = "</data>\n";
    ASSERT_EQ(write(fifo, end.data(), end.size()), static_cast<ssize_t>(end.size()));
    close(fifo);
    EXPECT_EQ(run.finish(), 0);
    EXPECT_EQ(settings_of(run.text).at("dropped_samples"), "100");
}

TEST(block_run, sigint_or_sigterm_ends_the_table_after_the_blocks_done)
{
    const std::string dir = make_scratch_directory();
    ASSERT_EQ(mkfifo((dir + "/live").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((dir + "/silent").c_str(), 0644), 0);
    // A FIFO whose writer never came: the wait ends too, the table complete.
    live_run waiting(dir, "--input-format f32le --fs 100 -n 64 --stats --block-points 300 -f csv silent");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(waiting.pid, SIGINT);
    EXPECT_EQ(waiting.finish(), 130);
    EXPECT_EQ(settings_of(waiting.text).at("blocks"), "0");
    const std::string raw = file_of(noise_pairs(700), "f32le", 0, 700);
    for (const char* format : {"csv", "json"}) {
        live_run run(dir, std::string("--input-format f32le --fs 100 -n 64 --stats --block-points 300 -f ") + format +
                              " live");
        const int fifo = open((dir + "/live").c_str(), O_WRONLY);
        ASSERT_GE(fifo, 0);
        ASSERT_EQ(write(fifo, raw.data(), raw.size()), static_cast<ssize_t>(raw.size()));
        const bool csv = std::string(format) == "csv";
        if (csv)
            run.wait_for_lines(3);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        // SIGTERM as SIGINT: the status tells which.
        kill(run.pid, csv ? SIGINT : SIGTERM);
        EXPECT_EQ(run.finish(), csv ? 130 : 143) << format;
        close(fifo);
        if (std::string(format) == "csv") {
            EXPECT_EQ(settings_of(run.text).at("interrupted"), "1");
            EXPECT_EQ(settings_of(run.text).at("blocks"), "2");
        } else {
            const nlohmann::json document = nlohmann::json::parse(run.text);
            EXPECT_EQ(document["blocks"].size(), 2u);
            EXPECT_EQ(document["settings"]["dropped_samples"], 100);
        }
    }
}

// An interruption that comes as the input ends (here while the last
// block's row is written, all the samples taken) still ends the table as one.
TEST(block_run, an_interruption_as_the_input_ends_is_told)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/rec.xml", file_of(noise_pairs(600), "tagged", 0, 600));
    struct table_out {
        std::string text;
        std::atomic<bool> interrupted{false};
    } table;
    cookie_io_functions_t io{};
    io.write = [](void* cookie, const char* bytes, std::size_t size) -> ssize_t {
        auto& out = *static_cast<table_out*>(cookie);
        out.text.append(bytes, size);
        if (out.text.find("\n2,") != std::string::npos) out.interrupted.store(true);
        return static_cast<ssize_t>(size);
    };
    std::FILE* out = fopencookie(&table, "w", io);
    std::FILE* data = std::fopen((dir + "/rec.xml").c_str(), "rb");
    ASSERT_TRUE(out != nullptr && data != nullptr);
    block_run_request request;
    request.analysis.nbpoint_section = 64;
    request.analysis.all_sections = true;
    request.blocks.points = 300;
    request.format = result_format::csv;
    const blocks_outcome outcome = run_blocks(data, "rec.xml", request, {}, 1, out, {}, table.interrupted);
    std::fclose(out);
    std::fclose(data);
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(settings_of(table.text).at("blocks"), "2");
    EXPECT_EQ(settings_of(table.text).at("interrupted"), "1");
}

}  // namespace
