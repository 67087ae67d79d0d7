// A run in blocks: the writer follows the blocks as the reading gives them.
#include "front_ends/block_run.hpp"

#include "analysis/analysis.hpp"
#include "model/error.hpp"
#include "output/block_formats.hpp"
#include "output/result_file.hpp"

namespace veltrin {

std::string spectra_file_name(const std::string& directory, const std::string& data_file, std::int64_t block,
                              result_format format)
{
    const std::string base = data_file == "-" ? "stdin" : result_base_of(data_file);
    char number[32];
    std::snprintf(number, sizeof number, ".block%04lld.psd.", static_cast<long long>(block));
    const char* extension = format == result_format::table ? "txt" : format == result_format::csv ? "csv" : "json";
    return relative_to(directory, base + number + extension);
}

bool like_block_spectra(const std::string& file_name, const std::string& data_file)
{
    const std::string name = file_name.substr(file_name.rfind('/') + 1);
    const std::string prefix = (data_file == "-" ? "stdin" : result_base_of(data_file)) + ".block";
    if (!name.starts_with(prefix)) return false;
    const std::size_t digits_end = name.find_first_not_of("0123456789", prefix.size());
    return digits_end != std::string::npos && digits_end >= prefix.size() + 4 &&
           name.compare(digits_end, 5, ".psd.") == 0;
}

namespace {

// Ends the table: the settings after the rows.
void finish_table(block_writer& writer, const block_analysis& blocks, bool interrupted)
{
    const block_run run{blocks.points(), blocks.sampling_frequency(), blocks.blocks_done(), blocks.dropped_samples(),
                        interrupted};
    writer.finish(blocks.settings(), run);
}

}  // namespace

blocks_outcome run_blocks(std::FILE* data, const std::string& data_file, const block_run_request& request,
                          reading_options reading, unsigned threads, std::FILE* out,
                          std::span<const file_identity> inputs, const std::atomic<bool>& interrupted)
{
    block_writer writer(out, request.format, block_keys(request.analysis));
    // A spectra file that cannot be written ends the run as its own failure,
    // not as one of the data file the reading would name.
    struct spectra_failed {};
    std::optional<analysis_error> spectra_failure;
    const auto on_block = [&](block_result&& block) {
        writer.add(block, block_values(block));
        if (request.spectra_dir) {
            const std::string name = spectra_file_name(*request.spectra_dir, data_file, block.number, request.format);
            const result_format format = request.format == result_format::jsonl ? result_format::json : request.format;
            try {
                write_result_file(name, name, inputs,
                                  [&](std::FILE* stream) { write_result(stream, block.result, format); });
            } catch (const analysis_error& error) {
                spectra_failure = error;
                throw spectra_failed{};
            }
        }
    };
    block_analysis blocks(request.analysis, request.blocks, data_file, data_file, threads, on_block, &interrupted);
    // The header as soon as the blocks' length is known.
    struct header_first final : sample_sink {
        block_analysis& blocks;
        block_writer& writer;
        const std::string& name;
        header_first(block_analysis& b, block_writer& w, const std::string& n) : blocks(b), writer(w), name(n) {}
        void begin(double fs, float deltat, const input_description& input) override
        {
            blocks.begin(fs, deltat, input);
            writer.start(name, fs, blocks.points());
        }
        void take(std::span<const float> v, std::span<const float> i) override { blocks.take(v, i); }
        void reading_ended(const input_description& input) override { blocks.reading_ended(input); }
    } sink(blocks, writer, data_file);
    reading.cancel = &interrupted;
    try {
        read_into(data, data_file, sink, reading);
    } catch (const blocks_interrupted&) {
        finish_table(writer, blocks, true);
        return {true, std::nullopt};
    } catch (const spectra_failed&) {
        const bool stopped = interrupted.load();
        finish_table(writer, blocks, stopped);
        return {stopped, spectra_failure};
    } catch (const analysis_error& error) {
        if (!blocks.started()) throw;
        // A reading cut short by the interruption is no failure.
        const bool stopped = interrupted.load();
        finish_table(writer, blocks, stopped);
        if (stopped) return {true, std::nullopt};
        return {false, error};
    }
    // An interruption as the input ends is one too.
    const bool stopped = interrupted.load();
    finish_table(writer, blocks, stopped);
    return {stopped,
            std::nullopt,
            blocks.settings().input.dropped_last_row,
            blocks.blocks_done(),
            blocks.dropped_samples(),
            blocks.points()};
}

}  // namespace veltrin
