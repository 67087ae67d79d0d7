// The reading engine's work that no grammar changes: read errors, stores
// and the growth of the series.
#include "input/reading_engine.hpp"

void check_readable(const line_reader& reader, const std::string& name)
{
    if (reader.failed) fail(error_kind::unreadable_file, name, "\nThe file " + name + " cannot be read.\n");
}

namespace reading_engine {

reading_stop store_growing(recording& result, const line_stores& s, std::int64_t c)
{
    for (int k = 0; k < s.count; ++k) {
        sample_series& channel = s.to_v[k] ? result.v : result.i;
        const auto at = static_cast<std::size_t>(s.index[k]);
        if (at >= channel.size()) channel.resize(std::max(at + 1, channel.size() + channel.size() / 2 + 4096), 0.0f);
        channel[at] = static_cast<float>(s.value[k]);
        if (std::isinf(channel[at])) return {value_too_large, c};
    }
    if (s.timed) {
        const auto at = static_cast<std::size_t>(s.index[0]);
        if (at >= result.time.size()) result.time.resize(std::max(at + 1, result.time.size() + result.time.size() / 2 + 4096), 0.0);
        result.time[at] = s.time;
    }
    return {};
}

void grow_series(recording& result, std::size_t needed, std::size_t first_owned)
{
    // Times are kept when the format gives them.
    if (result.timed && result.time.size() < needed) {
        if (needed > result.time.capacity()) result.time.reserve(std::max(needed, result.time.capacity() + result.time.capacity() / 2));
        const std::size_t before = result.time.size();
        result.time.resize(needed);
        if (before < first_owned) std::fill(result.time.begin() + static_cast<std::ptrdiff_t>(before),
                                            result.time.begin() + static_cast<std::ptrdiff_t>(std::min(first_owned, needed)), 0.0);
    }
    for (sample_series* channel : {&result.v, &result.i}) {
        if (channel->size() >= needed) continue;
        if (needed > channel->capacity()) channel->reserve(std::max(needed, channel->capacity() + channel->capacity() / 2));
        const std::size_t before = channel->size();
        channel->resize(needed);
        if (before < first_owned) std::fill(channel->begin() + static_cast<std::ptrdiff_t>(before),
                                            channel->begin() + static_cast<std::ptrdiff_t>(std::min(first_owned, needed)), 0.0f);
    }
}

void zero_new_samples(recording& result, std::int64_t own_first, std::int64_t own_end, const std::size_t (&before)[3])
{
    sample_series* const channels[2] = {&result.v, &result.i};
    for (int k = 0; k < 2; ++k) {
        const auto from = std::max(static_cast<std::size_t>(own_first), before[k]);
        const auto to = static_cast<std::size_t>(own_end);
        if (from < to) std::fill(channels[k]->begin() + static_cast<std::ptrdiff_t>(from),
                                 channels[k]->begin() + static_cast<std::ptrdiff_t>(to), 0.0f);
    }
    const auto from = std::max(static_cast<std::size_t>(own_first), before[2]);
    const auto to = std::min(static_cast<std::size_t>(own_end), result.time.size());
    if (from < to) std::fill(result.time.begin() + static_cast<std::ptrdiff_t>(from),
                             result.time.begin() + static_cast<std::ptrdiff_t>(to), 0.0);
}

void reserve_for_the_rest(const line_reader& reader, recording& result, std::int64_t count, int unit_lines,
                          std::int64_t lines_seen, std::size_t bytes_seen)
{
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    if (lines_seen == 0 || bytes_seen == 0 || !regular_file_extent(reader.file, size, position) || position > size)
        return;
    const double rest = static_cast<double>(size - position) + static_cast<double>(reader.end - reader.begin);
    const double lines = static_cast<double>(count) + rest * static_cast<double>(lines_seen) /
                                                          static_cast<double>(bytes_seen) * 1.001 + 64.0;
    const auto samples = static_cast<std::size_t>(std::min(lines / unit_lines, 2147483648.0));
    result.v.reserve(samples);
    result.i.reserve(samples);
    if (result.timed) result.time.reserve(samples);
}

void remove_empty_samples(recording& result, std::size_t samples, std::span<const std::int64_t> no_sample)
{
    result.v.resize(samples, 0.0f);
    result.i.resize(samples, 0.0f);
    if (result.timed) result.time.resize(samples, 0.0);
    if (no_sample.empty()) return;
    // Each kept sample moves down by the empty ones before it.
    std::size_t to = static_cast<std::size_t>(no_sample.front());
    for (std::size_t k = 0; k < no_sample.size(); ++k) {
        const auto from = static_cast<std::size_t>(no_sample[k]) + 1;
        const std::size_t until = k + 1 < no_sample.size() ? static_cast<std::size_t>(no_sample[k + 1]) : samples;
        for (std::size_t j = from; j < until; ++j, ++to) {
            result.v[to] = result.v[j];
            result.i[to] = result.i[j];
            if (result.timed) result.time[to] = result.time[j];
        }
    }
    result.v.resize(to);
    result.i.resize(to);
    if (result.timed) result.time.resize(to);
}

}  // namespace reading_engine
