// Opening and reading a recording, and its analysis while it is read (or
// of samples already held).
#include "analysis/analysis.hpp"

#include <algorithm>
#include <memory>

#include "analysis/stream_analysis.hpp"
#include "model/error.hpp"

namespace veltrin {

namespace {

// A thread parses at least this much of a block: less is not worth its start.
constexpr std::uint64_t bytes_per_reading_thread = std::uint64_t{64} << 10;

// Threads that can share the reading of the rest of the file: one per
// bytes_per_reading_thread of a block, one for a stream that is not a regular file.
unsigned reading_threads(std::FILE* file, const reading_options& options)
{
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    if (!regular_file_extent(file, size, position) || position >= size) return 1;
    const std::uint64_t useful =
        std::min<std::uint64_t>(size - position, std::max<std::size_t>(options.block_size, 1)) /
        bytes_per_reading_thread;
    return static_cast<unsigned>(std::clamp<std::uint64_t>(useful, 1, std::max(options.threads, 1u)));
}

}  // namespace

recording read_open_recording(std::FILE* file, const std::string& shown_name, const reading_options& options)
{
    reading_options useful = options;
    useful.threads = reading_threads(file, options);
    return read_recording(file, shown_name, useful);
}

opened_file open_recording(const std::string& path, const std::string& shown_name, file_identity& identity,
                           const reading_options& options)
{
    open_outcome outcome;
    opened_file file(open_for_reading(path, outcome, options.cancel), &std::fclose);
    if (outcome != open_outcome::opened)
        fail(outcome == open_outcome::missing ? error_kind::missing_file : error_kind::unreadable_file, shown_name);
    identity = identity_of(file.get());
    return file;
}

recording load_recording(const std::string& path, const std::string& shown_name, file_identity& identity,
                         const reading_options& options)
{
    const opened_file file = open_recording(path, shown_name, identity, options);
    return read_open_recording(file.get(), shown_name, options);
}

recording read_into(std::FILE* file, const std::string& shown_name, sample_sink& sink, reading_options options)
{
    options.sink = &sink;
    return read_open_recording(file, shown_name, options);
}

spectrum_result analyse_open_file(std::FILE* file, const std::string& data_file, const analysis_request& request,
                                  const std::string& shown_name, const reading_options& options, unsigned threads)
{
    stream_analysis stream(request, data_file, shown_name, threads);
    read_into(file, shown_name, stream, options);
    return stream.finish();
}

spectrum_result analyse(const sample_view& samples, const std::string& data_file, const analysis_request& request,
                        const std::string& shown_name, unsigned threads)
{
    stream_analysis stream(request, data_file, shown_name, threads);
    stream.begin(samples.sampling_frequency, samples.deltat, {});
    stream.take(samples.v, samples.i);
    return stream.finish();
}

}  // namespace veltrin
