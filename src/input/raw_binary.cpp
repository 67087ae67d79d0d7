// Raw binary recordings. A pair is found by arithmetic, so there is nothing
// to frame: a regular file is cut into parts that the worker team reads with
// read_at, each into a scratch buffer of its worker that stays in cache, and
// decodes straight into the series; a pipe is read in order through the line
// reader's buffer. Every pair is decoded alone, so the bits do not depend on
// the thread count; the first faulty value in file order stops the reading.
#include "input/raw_binary.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "input/line_reader.hpp"
#include "input/reading_engine.hpp"
#include "model/error.hpp"
#include "platform/large_arrays.hpp"
#include "platform/platform.hpp"
#include "platform/worker_team.hpp"

namespace veltrin {

namespace {

constexpr std::size_t most_part_bytes = std::size_t{512} << 10;

constexpr std::uint32_t byte_swapped(std::uint32_t w)
{
    return (w >> 24) | ((w >> 8) & 0x0000FF00u) | ((w << 8) & 0x00FF0000u) | (w << 24);
}

constexpr std::uint64_t byte_swapped(std::uint64_t w)
{
    return std::uint64_t{byte_swapped(static_cast<std::uint32_t>(w))} << 32 |
           byte_swapped(static_cast<std::uint32_t>(w >> 32));
}

// Values of type Real stored in the given byte order.
template <class Real, std::endian order>
struct encoding {
    using word = std::conditional_t<sizeof(Real) == 4, std::uint32_t, std::uint64_t>;
    static constexpr std::size_t pair_bytes = 2 * sizeof(Real);

    static double value(const char* p)
    {
        word w;
        std::memcpy(&w, p, sizeof w);
        if constexpr (order != std::endian::native) w = byte_swapped(w);
        return static_cast<double>(std::bit_cast<Real>(w));
    }
};

// The first value that stops the reading, numbered 2 * pair + 0 for v, + 1 for i.
struct value_fault {
    static constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t value = none;
    bool too_large = false;  // a finite value beyond single precision; else not a finite number

    bool stops() const { return value != none; }
};

float scaled(double x, double scale)
{
    return static_cast<float>(x * scale);
}

// 1 for an infinity or a NaN (every exponent bit set), else 0.
std::uint32_t not_finite(float x)
{
    constexpr std::uint32_t exponent = 0x7F800000u;
    return (std::bit_cast<std::uint32_t>(x) & exponent) == exponent ? 1u : 0u;
}

// Decodes n pairs into v[0, n) and i[0, n). The loop keeps no branch, so
// that it is vectorized; a pair that is not finite is looked for only when
// the part holds one.
template <class E>
value_fault decode_pairs(const char* bytes, std::size_t n, const raw_layout& layout, float* v, float* i,
                         std::uint64_t first_pair)
{
    const double v_scale = layout.v_scale;
    const double i_scale = layout.i_scale;
    constexpr std::size_t half = E::pair_bytes / 2;
    std::uint32_t faults = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const float a = scaled(E::value(bytes + k * E::pair_bytes), v_scale);
        const float b = scaled(E::value(bytes + k * E::pair_bytes + half), i_scale);
        v[k] = a;
        i[k] = b;
        faults |= not_finite(a) | not_finite(b);
    }
    if (faults == 0) return {};
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t side = 0; side < 2; ++side) {
            const double x = E::value(bytes + k * E::pair_bytes + side * half);
            const bool finite = std::isfinite(x);
            if (!finite || !std::isfinite(scaled(x, side == 0 ? v_scale : i_scale)))
                return {2 * (first_pair + k) + side, finite};
        }
    }
    return {};
}

struct pair_codec {
    std::size_t pair_bytes;
    value_fault (*decode)(const char* bytes, std::size_t n, const raw_layout& layout, float* v, float* i,
                          std::uint64_t first_pair);
};

template <class E>
constexpr pair_codec codec_of()
{
    return {E::pair_bytes, decode_pairs<E>};
}

pair_codec codec_for(sample_encoding e)
{
    switch (e) {
    case sample_encoding::f32le:
        return codec_of<encoding<float, std::endian::little>>();
    case sample_encoding::f64le:
        return codec_of<encoding<double, std::endian::little>>();
    case sample_encoding::f32be:
        return codec_of<encoding<float, std::endian::big>>();
    case sample_encoding::f64be:
        return codec_of<encoding<double, std::endian::big>>();
    }
    return codec_of<encoding<float, std::endian::little>>();
}

[[noreturn]] void stop_at(const value_fault& fault, const std::string& name)
{
    fail_reading(error_kind::bad_data, name,
                 {.rule = fault.too_large ? reading_rule::raw_value_too_large : reading_rule::raw_value_not_finite,
                  .column = fault.value % 2 == 0 ? quantity::voltage : quantity::current,
                  .count = static_cast<std::int64_t>(fault.value / 2 + 1)});
}

[[noreturn]] void stop_on_size(std::uint64_t bytes, const pair_codec& codec, const std::string& name)
{
    fail_reading(error_kind::bad_data, name,
                 {.rule = reading_rule::raw_size,
                  .count = static_cast<std::int64_t>(bytes),
                  .limit = static_cast<std::int64_t>(codec.pair_bytes)});
}

// The read error, worded as every reading words it.
void stop_unreadable(const std::string& name)
{
    line_reader reader;
    reader.failed = true;
    check_readable(reader, name);
}

// Gives the sink the first `count` pairs held, those before a stop.
void hand_on_before(recording& result, const reading_options& options, std::size_t count)
{
    if (options.sink == nullptr) return;
    result.v.resize(count);
    result.i.resize(count);
    reading_engine::hand_on_held(result, *options.sink);
}

// A regular file: its size is known, so the series are sized once and the
// parts are read at their offsets, all in one step of the team (a step per
// region would make the threads wait for each other). A part that stops
// (a fault, or a read error) spares the parts after it; the parts before it
// always run, so the first stop in file order is found whatever the timing.
void read_regular_file(std::FILE* file, const std::string& name, const reading_options& options,
                       const raw_layout& layout, const pair_codec& codec, std::uint64_t bytes, std::uint64_t position,
                       recording& result)
{
    if (bytes % codec.pair_bytes != 0) stop_on_size(bytes, codec, name);
    const std::uint64_t pairs = bytes / codec.pair_bytes;

    worker_team team(options.threads);
    // Parts of a block's share for a task, and small enough to stay in the
    // core's cache between their reading and their decoding.
    const std::size_t block_pairs = std::max<std::size_t>(options.block_size / codec.pair_bytes, 1);
    const std::size_t part_pairs =
        std::clamp<std::size_t>((block_pairs + team.tasks() - 1) / team.tasks(), 1, most_part_bytes / codec.pair_bytes);
    // Samples that go to a sink are read a block at a time into the same
    // series; otherwise the series hold the whole file.
    const std::uint64_t window_pairs = options.sink != nullptr ? block_pairs : std::max<std::uint64_t>(pairs, 1);
    std::vector<large_buffer> scratch(team.size());
    struct part_outcome {
        bool unreadable = false;
        value_fault fault;
    };
    for (std::uint64_t window_first = 0; window_first < pairs; window_first += window_pairs) {
        const auto window = static_cast<std::size_t>(std::min(window_pairs, pairs - window_first));
        // Left uninitialized: every pair is stored, or the reading stops.
        result.v.resize(window);
        result.i.resize(window);
        const std::size_t parts = (window + part_pairs - 1) / part_pairs;
        std::vector<part_outcome> outcomes(parts);
        std::atomic<std::size_t> first_stop{parts};
        const auto stop_from = [&](std::size_t k) {
            for (std::size_t seen = first_stop.load(); k < seen && !first_stop.compare_exchange_weak(seen, k);) {}
        };
        team.run(parts, [&](std::size_t k, std::size_t worker) {
            if (k > first_stop.load(std::memory_order_relaxed)) return;
            const std::size_t at = k * part_pairs;
            const std::uint64_t first = window_first + at;
            const std::size_t n = std::min(part_pairs, window - at);
            part_outcome& outcome = outcomes[k];
            if (!scratch[worker]) scratch[worker] = make_large_buffer(part_pairs * codec.pair_bytes);
            char* const part = scratch[worker].get();
            const std::size_t part_bytes = n * codec.pair_bytes;
            // A cancelled reading ends as a read error, as the line reader's does;
            // fewer bytes than the size promised (the file was cut meanwhile) too.
            outcome.unreadable = (options.cancel != nullptr && options.cancel->load()) ||
                                 read_at(file, position + first * codec.pair_bytes, part, part_bytes) !=
                                     static_cast<std::int64_t>(part_bytes);
            if (!outcome.unreadable) {
                if (options.bytes_read != nullptr) options.bytes_read->fetch_add(part_bytes, std::memory_order_relaxed);
                outcome.fault = codec.decode(part, n, layout, result.v.data() + at, result.i.data() + at, first);
            }
            if (outcome.unreadable || outcome.fault.stops()) stop_from(k);
        });
        for (std::size_t k = 0; k < parts; ++k) {
            if (!outcomes[k].unreadable && !outcomes[k].fault.stops()) continue;
            // The pairs before the stop reach the sink first.
            const std::uint64_t good_end =
                outcomes[k].unreadable ? window_first + k * part_pairs : outcomes[k].fault.value / 2;
            hand_on_before(result, options, static_cast<std::size_t>(good_end - window_first));
            if (outcomes[k].unreadable) stop_unreadable(name);
            stop_at(outcomes[k].fault, name);
        }
        if (options.sink != nullptr) reading_engine::hand_on_held(result, *options.sink);
    }
}

// A pipe, standard input or a device: read in order, the series grown as
// the pairs come; the size is known, and checked, only at the end.
void read_stream_in_order(std::FILE* file, const std::string& name, const reading_options& options,
                          const raw_layout& layout, const pair_codec& codec, recording& result)
{
    line_reader reader;
    reader.bytes_read = options.bytes_read;
    start_reading(reader, file, {}, nullptr, default_held_limit, options.cancel);
    reader.begin = 0;  // the line reader skips a byte-order mark; here those bytes are values
    enlarge_buffer(reader, options.block_size);
    std::uint64_t pairs = 0;
    for (;;) {
        // For a sink, the pairs held first, then whatever comes: a live
        // recording's pairs reach it as they come.
        if (options.sink == nullptr)
            refill(reader, reader.capacity);
        else if (reader.end - reader.begin < codec.pair_bytes)
            refill(reader, codec.pair_bytes);
        const std::size_t n = (reader.end - reader.begin) / codec.pair_bytes;
        const auto at = result.v.size();
        result.v.resize(at + n);
        result.i.resize(at + n);
        const value_fault fault = codec.decode(reader.buffer.get() + reader.begin, n, layout, result.v.data() + at,
                                               result.i.data() + at, pairs);
        if (fault.stops()) {
            hand_on_before(result, options, at + static_cast<std::size_t>(fault.value / 2 - pairs));
            stop_at(fault, name);
        }
        pairs += n;
        reader.begin += n * codec.pair_bytes;
        if (options.sink != nullptr) reading_engine::hand_on_held(result, *options.sink);
        if (reader.file_done) break;
    }
    check_readable(reader, name);
    const std::size_t rest = reader.end - reader.begin;
    if (rest != 0) stop_on_size(pairs * codec.pair_bytes + rest, codec, name);
}

}  // namespace

recording read_raw_binary(std::FILE* file, const std::string& name, const reading_options& options,
                          const raw_layout& layout)
{
    const pair_codec codec = codec_for(layout.encoding);
    recording result;
    result.sampling_frequency = layout.sampling_frequency;
    result.deltat = static_cast<float>(1.0 / layout.sampling_frequency);
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    if (regular_file_extent(file, size, position))
        read_regular_file(file, name, options, layout, codec, size - std::min(size, position), position, result);
    else
        read_stream_in_order(file, name, options, layout, codec, result);
    if (options.sink != nullptr) reading_engine::hand_on_rest(result, *options.sink);
    result.line_count = static_cast<std::int64_t>(samples_read(result));
    return result;
}

}  // namespace veltrin
