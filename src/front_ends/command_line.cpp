// Parsing the options, naming the results, running the files in parallel,
// and reporting each failure as one line on standard error.
#include "front_ends/command_line.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <getopt.h>
#include <map>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/block_analysis.hpp"
#include "front_ends/block_run.hpp"
#include "front_ends/messages.hpp"
#include "front_ends/options.hpp"
#include "model/error.hpp"
#include "output/result_formats.hpp"
#include "analysis/configuration_run.hpp"
#include "front_ends/progress.hpp"
#include "platform/worker_team.hpp"
#include "output/result_file.hpp"

namespace veltrin {

#ifndef VELTRIN_VERSION
#define VELTRIN_VERSION "unknown"
#endif

namespace {

// In the order of result_format.
constexpr const char* extensions[] = {".psd.txt", ".psd.csv", ".psd.json", ".psd.jsonl"};
static_assert(std::size(extensions) == static_cast<std::size_t>(result_format::jsonl) + 1);

const char* extension_of(result_format format)
{
    return extensions[static_cast<std::size_t>(format)];
}

// NAME.psd.txt for NAME.xml: the base name without its last extension.
std::string result_name_for(const std::string& data_file, const std::string& directory, result_format format)
{
    return relative_to(directory, result_base_of(data_file) + extension_of(format));
}

// Refuses results that would replace a data file of the run, however either
// is spelled or linked: checked before anything is read or written.
void check_results_spare_the_data(const options& o, const std::vector<std::string>& names)
{
    std::vector<file_identity> data;
    for (const std::string& data_file : o.data_files)
        data.push_back(data_file == "-" ? identity_of(stdin) : identity_of(data_file));
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k] == "-") continue;
        const file_identity result = identity_of(names[k]);
        for (std::size_t j = 0; j < data.size(); ++j) {
            if (result.known && data[j].known && result.device == data[j].device && result.node == data[j].node)
                throw usage_error{"the result of " + o.data_files[k] + " (" + names[k] +
                                  ") would overwrite the data file " + o.data_files[j]};
        }
    }
}

// Where each data file's result goes; "-" is standard output.
std::vector<std::string> result_names(const options& o)
{
    if (o.data_files.size() == 1) return {o.output.value_or("-")};
    if (o.output) {
        if (!is_directory(*o.output))
            throw usage_error{"-o " + *o.output + ": with several data files, -o names an existing directory"};
    }
    std::vector<std::string> names;
    std::map<std::string, std::string> seen;
    for (const std::string& data_file : o.data_files) {
        names.push_back(result_name_for(data_file, o.output ? *o.output : directory_of(data_file), o.format));
        const auto [at, inserted] = seen.emplace(names.back(), data_file);
        if (!inserted)
            throw usage_error{"data files " + at->second + " and " + data_file + " would both write " + names.back()};
    }
    return names;
}

// The line for standard error: the message on one line, the options named
// when they are at fault, and a hint for a sample file saved as UTF-16.
std::string failure_line(const analysis_error& error)
{
    std::string message = error.problem && error.settings_file.empty() ? option_message(*error.problem)
                                                                       : one_line_message(error, option_names);
    if (error.looks_like_utf16) message += " (the file looks like UTF-16 text: save it as UTF-8)";
    return "veltrin: " + error.file + ": " + message + "\n";
}

// Flushes what was written to standard output since errno was cleared; a
// failure is the result "-" that cannot be written.
void flush_standard_output()
{
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return;
    fail_unwritable("-", errno != 0 ? errno : EIO);
}

struct file_job {
    std::string data_file;
    std::string result_name;
    std::string failure;  // the line for standard error, empty on success
    std::string notice;   // a line for standard error on success
    bool usage = false;   // the failure is the options' (they do not fit the file)
    bool interrupted = false;
};

// A last row without its line end was still being written when the file was read.
std::string dropped_row_notice(const std::string& data_file, std::int64_t line)
{
    if (line == 0) return "";
    return "veltrin: " + data_file + ": " + dropped_row_text(line) + "\n";
}

// Set by SIGINT or SIGTERM during a run in blocks: the tables end after the
// blocks done, and the status tells the signal (128 + its number).
std::atomic<bool> interrupted{false};
std::atomic<int> interrupting_signal{0};

extern "C" void note_interrupt(int signal_number)
{
    interrupting_signal.store(signal_number);
    interrupted.store(true);
}

bool in_blocks(const options& o)
{
    return o.blocks.seconds || o.blocks.points;
}

// The block table of one data file, to standard output or a result file;
// no spectra file replaces any data file of the run (`inputs`).
void write_blocks(const options& o, file_job& job, std::FILE* data, const reading_options& reading,
                  std::span<const file_identity> inputs, unsigned threads)
{
    const block_run_request request{request_of(o), o.blocks, o.format, o.spectra_dir};
    blocks_outcome outcome;
    const auto content = [&](std::FILE* stream) {
        outcome = run_blocks(data, job.data_file, request, reading, threads, stream, inputs, interrupted);
    };
    if (job.result_name == "-") {
        errno = 0;
        content(stdout);
        flush_standard_output();
    } else {
        write_result_file(job.result_name, job.result_name, inputs, content);
    }
    job.interrupted = outcome.interrupted;
    if (outcome.failure) throw *outcome.failure;
    job.notice = dropped_row_notice(job.data_file, outcome.dropped_last_row);
    // An empty table is no failure, but should not pass unseen.
    if (outcome.blocks == 0 && !outcome.interrupted)
        job.notice +=
            "veltrin: " + job.data_file + ": " + no_block_text(outcome.samples_left, outcome.block_points) + "\n";
}

void analyse_file(const options& o, file_job& job, unsigned threads, progress_display& progress,
                  std::span<const file_identity> run_inputs)
{
    progress.file_started(job.data_file, job.data_file == "-" ? 0 : regular_file_size(job.data_file));
    try {
        file_identity data_identity;
        if (interrupted.load()) {
            job.interrupted = true;
            return;
        }
        reading_options reading{.threads = threads, .bytes_read = progress.bytes_counter(), .input = o.input};
        // In blocks an interruption also ends the wait for a FIFO's writer.
        if (in_blocks(o)) reading.cancel = &interrupted;
        opened_file opened(nullptr, &std::fclose);
        if (job.data_file == "-")
            data_identity = identity_of(stdin);
        else
            opened = open_recording(job.data_file, job.data_file, data_identity, reading);
        std::FILE* const file = job.data_file == "-" ? stdin : opened.get();
        if (in_blocks(o)) {
            std::vector<file_identity> inputs(run_inputs.begin(), run_inputs.end());
            inputs.push_back(data_identity);
            write_blocks(o, job, file, reading, inputs, threads);
            progress.file_done(job.data_file);
            return;
        }
        spectrum_result result = analyse_open_file(file, job.data_file, request_of(o), job.data_file, reading, threads);
        job.notice = dropped_row_notice(job.data_file, result.input.dropped_last_row);
        const auto content = [&](std::FILE* stream) { write_result(stream, result, o.format); };
        if (job.result_name == "-") {
            errno = 0;
            content(stdout);
            flush_standard_output();
        } else {
            const file_identity inputs[] = {data_identity};
            write_result_file(job.result_name, job.result_name, inputs, content);
        }
    } catch (const analysis_error& error) {
        // A wait for a FIFO's writer that the interruption ended is no failure.
        if (in_blocks(o) && interrupted.load()) {
            job.interrupted = true;
            progress.file_done(job.data_file);
            return;
        }
        job.failure = failure_line(error);
        // A band without a bin is the options' fault too, found only once the file is read.
        job.usage =
            error.kind == error_kind::input_options || (error.problem && error.problem->rule == request_rule::no_bin);
    } catch (const std::bad_alloc&) {
        job.failure = failure_line(analysis_error(error_kind::out_of_memory, job.data_file));
    }
    progress.file_done(job.data_file);
}

// Refuses spectra files that two data files would share, or that the result
// of the run would replace: checked before anything is read or written.
void check_spectra_names(const options& o, const std::vector<std::string>& names)
{
    std::map<std::string, std::string> seen;
    const file_identity directory = identity_of(*o.spectra_dir);
    for (std::size_t k = 0; k < o.data_files.size(); ++k) {
        const std::string first = spectra_file_name(*o.spectra_dir, o.data_files[k], 1, o.format);
        const auto [at, inserted] = seen.emplace(first, o.data_files[k]);
        if (!inserted)
            throw usage_error{"data files " + at->second + " and " + o.data_files[k] + " would both write " + first};
        // A result in the spectra directory named like a block's spectra.
        if (names[k] == "-") continue;
        const file_identity where = identity_of(directory_of(names[k]).empty() ? "." : directory_of(names[k]));
        const bool like_spectra = like_block_spectra(names[k], o.data_files[k]);
        if (where.known && directory.known && where.device == directory.device && where.node == directory.node &&
            like_spectra)
            throw usage_error{"the result of " + o.data_files[k] + " (" + names[k] +
                              ") would replace a block's spectra in " + *o.spectra_dir};
    }
}

// Progress shows on a terminal unless -q; --progress writes it anywhere, a line a file.
progress_display::mode progress_mode(const options& o)
{
    if (o.quiet) return progress_display::mode::off;
    if (is_terminal(stderr)) return progress_display::mode::terminal;
    return o.progress ? progress_display::mode::lines : progress_display::mode::off;
}

int run_files(const options& o)
{
    const std::vector<std::string> names = result_names(o);
    check_results_spare_the_data(o, names);
    if (o.spectra_dir) check_spectra_names(o, names);
    std::vector<file_identity> run_inputs;
    for (const std::string& data_file : o.data_files)
        if (data_file != "-") run_inputs.push_back(identity_of(data_file));
    // In blocks, an interruption ends the tables instead of the process.
    if (in_blocks(o)) {
        for (const int signal_number : {SIGINT, SIGTERM})
            if (std::signal(signal_number, note_interrupt) == SIG_IGN) std::signal(signal_number, SIG_IGN);
    }
    std::vector<file_job> jobs;
    for (std::size_t k = 0; k < o.data_files.size(); ++k) jobs.push_back({o.data_files[k], names[k], "", ""});
    const std::size_t workers = std::min<std::size_t>(o.jobs != 0 ? o.jobs : core_count(), jobs.size());
    // The threads are shared between the files analysed at once, never oversubscribed.
    const unsigned all_threads = o.threads != 0 ? o.threads : core_count();
    const auto threads_per_file = static_cast<unsigned>(std::max<std::size_t>(1, all_threads / workers));
    // Each of the team's threads takes the next file not yet taken.
    {
        progress_display progress(progress_mode(o), jobs.size());
        worker_team team(static_cast<unsigned>(workers));
        team.run(jobs.size(), [&](std::size_t k) { analyse_file(o, jobs[k], threads_per_file, progress, run_inputs); });
    }
    int status = 0;
    bool stopped = false;
    for (const file_job& job : jobs) {
        std::fputs(job.notice.c_str(), stderr);
        stopped = stopped || job.interrupted;
        if (job.failure.empty()) continue;
        std::fputs(job.failure.c_str(), stderr);
        status = std::max(status, job.usage ? 2 : 1);
    }
    // An interruption that came after the last table was complete is told too.
    return stopped || interrupted.load() ? 128 + interrupting_signal.load() : status;
}

int run_config_file(const std::string& path, unsigned o_threads)
{
    try {
        run_config_mode(path, path, directory_of(path), o_threads);
        return 0;
    } catch (const analysis_error& error) {
        std::fputs(failure_line(error).c_str(), stderr);
    } catch (const std::bad_alloc&) {
        std::fputs(failure_line(analysis_error(error_kind::out_of_memory, path)).c_str(), stderr);
    }
    return 1;
}

// Help and version go to standard output, which may fail like a result.
int show_help_or_version(bool help)
{
    try {
        errno = 0;
        if (help) {
            std::fputs(usage_text().c_str(), stdout);
            std::fputs(help_text().c_str(), stdout);
        } else {
            std::fputs("veltrin " VELTRIN_VERSION "\n", stdout);
        }
        flush_standard_output();
        return 0;
    } catch (const analysis_error& error) {
        std::fputs(failure_line(error).c_str(), stderr);
        return 1;
    }
}

}  // namespace

bool wants_command_line(int argc, char** argv)
{
    for (int k = 1; k < argc; ++k)
        if (argv[k][0] == '-') return true;
    return false;
}

void report_ignored_arguments()
{
    std::fputs("veltrin: arguments without an option are ignored: the configuration mode runs config_veltrin.txt; "
               "to analyse a data file, give -n N: veltrin -n N DATA_FILE (veltrin --help)\n",
               stderr);
}

int run_command_line(int argc, char** argv)
{
    try {
        const options o = parse_options(argc, argv);
        if (o.wants(setting_id::help) || o.wants(setting_id::version))
            return show_help_or_version(o.wants(setting_id::help));
        check_options(o);
        if (o.config) return run_config_file(*o.config, o.threads != 0 ? o.threads : core_count());
        return run_files(o);
    } catch (const usage_error& error) {
        std::fprintf(stderr, "veltrin: %s\n%s", error.message.c_str(), usage_text().c_str());
        return 2;
    }
}

}  // namespace veltrin
