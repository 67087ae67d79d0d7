// The reading engine's work that no grammar changes: read errors, stores
// and the growth of the series.
#include "input/reading_engine.hpp"

namespace veltrin {

void check_readable(const line_reader& reader, const std::string& name)
{
    if (reader.failed) fail(error_kind::unreadable_file, name);
}

namespace reading_engine {

reading_stop store_growing(recording& result, const line_stores& s, std::int64_t c)
{
    for (int k = 0; k < s.count; ++k) {
        sample_series& channel = s.to_v[k] ? result.v : result.i;
        const auto at = static_cast<std::size_t>(s.index[k] - result.first_slot);
        if (at >= channel.size()) channel.resize(std::max(at + 1, channel.size() + channel.size() / 2 + 4096), 0.0f);
        channel[at] = static_cast<float>(s.value[k]);
        if (std::isinf(channel[at])) return {value_too_large, c};
    }
    if (s.timed) {
        const auto at = static_cast<std::size_t>(s.index[0] - result.time_first_slot);
        if (at >= result.time.size())
            result.time.resize(std::max(at + 1, result.time.size() + result.time.size() / 2 + 4096), 0.0);
        result.time[at] = s.time;
    }
    return {};
}

void grow_series(recording& result, std::size_t needed, std::size_t first_owned)
{
    // Times are kept when the format gives them, from their own first slot.
    const auto time_needed = needed - static_cast<std::size_t>(result.time_first_slot);
    const auto time_first_owned = first_owned - static_cast<std::size_t>(result.time_first_slot);
    if (result.timed && result.time.size() < time_needed) {
        if (time_needed > result.time.capacity())
            result.time.reserve(std::max(time_needed, result.time.capacity() + result.time.capacity() / 2));
        const std::size_t before = result.time.size();
        result.time.resize(time_needed);
        if (before < time_first_owned)
            std::fill(result.time.begin() + static_cast<std::ptrdiff_t>(before),
                      result.time.begin() + static_cast<std::ptrdiff_t>(std::min(time_first_owned, time_needed)), 0.0);
    }
    needed -= static_cast<std::size_t>(result.first_slot);
    first_owned -= static_cast<std::size_t>(result.first_slot);
    for (sample_series* channel : {&result.v, &result.i}) {
        if (channel->size() >= needed) continue;
        if (needed > channel->capacity())
            channel->reserve(std::max(needed, channel->capacity() + channel->capacity() / 2));
        const std::size_t before = channel->size();
        channel->resize(needed);
        if (before < first_owned)
            std::fill(channel->begin() + static_cast<std::ptrdiff_t>(before),
                      channel->begin() + static_cast<std::ptrdiff_t>(std::min(first_owned, needed)), 0.0f);
    }
}

void zero_new_samples(recording& result, std::int64_t own_first, std::int64_t own_end, const std::size_t (&before)[3])
{
    own_first -= result.first_slot;
    own_end -= result.first_slot;
    sample_series* const channels[2] = {&result.v, &result.i};
    for (int k = 0; k < 2; ++k) {
        const auto from = std::max(static_cast<std::size_t>(own_first), before[k]);
        const auto to = static_cast<std::size_t>(own_end);
        if (from < to)
            std::fill(channels[k]->begin() + static_cast<std::ptrdiff_t>(from),
                      channels[k]->begin() + static_cast<std::ptrdiff_t>(to), 0.0f);
    }
    own_first += result.first_slot - result.time_first_slot;
    own_end += result.first_slot - result.time_first_slot;
    const auto from = std::max(static_cast<std::size_t>(own_first), before[2]);
    const auto to = std::min(static_cast<std::size_t>(own_end), result.time.size());
    if (from < to)
        std::fill(result.time.begin() + static_cast<std::ptrdiff_t>(from),
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
    const double lines = static_cast<double>(count) +
                         rest * static_cast<double>(lines_seen) / static_cast<double>(bytes_seen) * 1.001 + 64.0;
    const auto samples = static_cast<std::size_t>(std::min(lines / unit_lines, 2147483648.0));
    result.v.reserve(samples);
    result.i.reserve(samples);
}

void remove_empty_samples(recording& result, std::size_t samples, std::span<const std::int64_t> all_no_sample)
{
    // The slots handed on are gone, and so are their lines without a sample.
    samples -= static_cast<std::size_t>(result.first_slot);
    std::vector<std::int64_t> no_sample;
    for (const std::int64_t line : all_no_sample)
        if (line >= result.first_slot) no_sample.push_back(line - result.first_slot);
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

namespace {

void start(recording& result, sample_sink& sink)
{
    if (result.sink_started) return;
    sink.begin(result.sampling_frequency, result.deltat, result.input);
    result.sink_started = true;
}

}  // namespace

void hand_on(recording& result, std::int64_t end, std::vector<std::int64_t>& no_sample, sample_sink& sink)
{
    if (end <= result.first_slot) return;
    const auto slots = static_cast<std::size_t>(end - result.first_slot);
    // The slots' samples, those of the lines without one left out.
    const auto empty_end = std::lower_bound(no_sample.begin(), no_sample.end(), end);
    auto empty = std::lower_bound(no_sample.begin(), empty_end, result.first_slot);
    std::size_t to = empty == empty_end ? slots : 0;
    for (std::size_t j = to; j < slots; ++j) {
        if (empty != empty_end && *empty == result.first_slot + static_cast<std::int64_t>(j)) {
            ++empty;
            continue;
        }
        result.v[to] = result.v[j];
        result.i[to] = result.i[j];
        ++to;
    }
    start(result, sink);
    sink.take(std::span<const float>(result.v.data(), to), std::span<const float>(result.i.data(), to));
    result.handed_on += to;
    result.v.erase(result.v.begin(), result.v.begin() + static_cast<std::ptrdiff_t>(slots));
    result.i.erase(result.i.begin(), result.i.begin() + static_cast<std::ptrdiff_t>(slots));
    no_sample.erase(no_sample.begin(), empty_end);
    result.first_slot = end;
}

void hand_on_held(recording& result, sample_sink& sink)
{
    start(result, sink);
    if (!result.v.empty()) sink.take(result.v, result.i);
    result.handed_on += result.v.size();
    result.first_slot += static_cast<std::int64_t>(result.v.size());
    result.v.clear();
    result.i.clear();
}

void hand_on_rest(recording& result, sample_sink& sink)
{
    hand_on_held(result, sink);
    result.v = sample_series();
    result.i = sample_series();
}

}  // namespace reading_engine

}  // namespace veltrin
