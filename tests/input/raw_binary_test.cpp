// The raw binary reader: each encoding against bytes built here by shifts,
// the scale's single rounding, sizes that are not whole pairs, the values
// that stop the reading (the first in file order), pipes, read errors, and
// the same bits for every thread count.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "front_ends/configuration_mode.hpp"
#include "input/raw_binary.hpp"
#include "model/error.hpp"
#include "test_files.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <filesystem>
#include <thread>
#include <unistd.h>
#endif

using namespace veltrin;

namespace {

using pair_list = std::vector<std::pair<double, double>>;

constexpr sample_encoding all_encodings[] = {sample_encoding::f32le, sample_encoding::f64le, sample_encoding::f32be,
                                             sample_encoding::f64be};

bool is_wide(sample_encoding e)
{
    return e == sample_encoding::f64le || e == sample_encoding::f64be;
}

const char* name_of(sample_encoding e)
{
    const char* const names[] = {"f32le", "f64le", "f32be", "f64be"};
    return names[static_cast<int>(e)];
}

// A value's bytes: its bits (of a float for the 32-bit encodings) cut into
// bytes, most significant first for the big-endian ones.
std::string bytes_of(double value, sample_encoding e)
{
    std::uint64_t bits = 0;
    std::size_t width = 8;
    if (is_wide(e)) {
        std::memcpy(&bits, &value, 8);
    } else {
        const auto narrow = static_cast<float>(value);
        std::uint32_t word = 0;
        std::memcpy(&word, &narrow, 4);
        bits = word;
        width = 4;
    }
    const bool big = e == sample_encoding::f32be || e == sample_encoding::f64be;
    std::string out(width, '\0');
    for (std::size_t k = 0; k < width; ++k) out[k] = static_cast<char>(bits >> (8 * (big ? width - 1 - k : k)) & 0xFF);
    return out;
}

std::string file_of(const pair_list& pairs, sample_encoding e)
{
    std::string out;
    for (const auto& [v, i] : pairs) out += bytes_of(v, e) + bytes_of(i, e);
    return out;
}

raw_layout layout_of(sample_encoding e, double v_scale = 1.0, double i_scale = 1.0)
{
    return {e, 500.0, v_scale, i_scale};
}

struct outcome {
    recording samples;
    std::string message;  // the error's lines, empty when none
    error_kind kind = error_kind::bad_data;
};

outcome read_from(std::FILE* file, const raw_layout& layout, const reading_options& options)
{
    outcome result;
    try {
        result.samples = read_raw_binary(file, "samples.bin", options, layout);
    } catch (const analysis_error& error) {
        for (const std::string& line : configuration_mode_lines(error)) result.message += line;
        result.kind = error.kind;
        EXPECT_EQ(error.file, "samples.bin");
    }
    return result;
}

// Read as a regular file.
outcome read_file_of(const std::string& bytes, const raw_layout& layout, const reading_options& options = {})
{
    std::FILE* file = stream_of(bytes);
    outcome result = read_from(file, layout, options);
    std::fclose(file);
    return result;
}

std::string not_finite(const char* which, int pair)
{
    return "\nFatal error: the " + std::string(which) + " value of pair " + std::to_string(pair) +
           " is not a finite number.\n";
}

std::string too_large(const char* which, int pair)
{
    return "\nFatal error: the " + std::string(which) + " value of pair " + std::to_string(pair) +
           " is too large for single precision.\n";
}

std::string bad_size(int bytes, int pair_bytes)
{
    return "\nFatal error: the file holds " + std::to_string(bytes) + " bytes, which is not a whole number of " +
           std::to_string(pair_bytes) + "-byte (v, i) pairs.\n";
}

const std::string unreadable = "\nThe file samples.bin cannot be read.\n";

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();
// Halfway between the largest float and 2^128: a double there rounds to an infinity.
const double float_overflow = 0x1.ffffffp127;

#ifndef _WIN32
// Read through a pipe, written by another thread in pieces of `piece` bytes.
outcome read_piped(const std::string& bytes, const raw_layout& layout, const reading_options& options = {},
                   std::size_t piece = 65536)
{
    int ends[2];
    if (pipe(ends) != 0) throw std::runtime_error("no pipe");
    std::thread writer([&] {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(ends[1], bytes.data() + done, std::min(piece, bytes.size() - done));
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(ends[1]);
    });
    std::FILE* file = fdopen(ends[0], "rb");
    outcome result = read_from(file, layout, options);
    // What a stop left unread, so that the writer never meets a closed pipe.
    char rest[4096];
    while (read(ends[0], rest, sizeof rest) > 0) {}
    std::fclose(file);
    writer.join();
    return result;
}
#endif

using reader = outcome (*)(const std::string&, const raw_layout&, const reading_options&);

// Every way of reading a file, by name: a pipe is written in pieces that cut pairs.
std::vector<std::pair<std::string, reader>> readers()
{
    std::vector<std::pair<std::string, reader>> all{{"file", read_file_of}};
#ifndef _WIN32
    all.emplace_back("pipe", [](const std::string& b, const raw_layout& l, const reading_options& o) {
        return read_piped(b, l, o, 4099);
    });
#endif
    return all;
}

TEST(raw_binary, decodes_every_encoding)
{
    // Floats that every encoding holds exactly; the first one's bytes in
    // f32le are those of a UTF-8 byte-order mark, which are values here.
    const pair_list exact = {
        {0x1.7f77dep0, -0.25}, {3.4028234663852886e38, -0x1p-149}, {-0.0, 0.0}, {1e-30f, 12345.678f}};
    ASSERT_EQ(file_of(exact, sample_encoding::f32le).substr(0, 3), "\xEF\xBB\xBF");
    const std::vector<float> v = {1.4979227781295776f, 3.4028234663852886e38f, -0.0f, 1e-30f};
    const std::vector<float> i = {-0.25f, -0x1p-149f, 0.0f, 12345.678f};
    // Doubles rounded once to float: to even on a midpoint, just above it, and below the least float.
    const pair_list rounded = {
        {0.1, 1.0 + 0x1p-24}, {1.0 + 0x1p-24 + 0x1p-50, 1e-50}, {0x1.fffffefffffffp127, -1e-300}};
    const std::vector<float> v_rounded = {0.1f, 1.00000012f, 3.4028234663852886e38f};
    const std::vector<float> i_rounded = {1.0f, 0.0f, -0.0f};
    for (const auto& [reading, read] : readers()) {
        for (const sample_encoding e : all_encodings) {
            pair_list pairs = exact;
            std::vector<float> want_v = v;
            std::vector<float> want_i = i;
            if (is_wide(e)) {
                pairs.insert(pairs.end(), rounded.begin(), rounded.end());
                want_v.insert(want_v.end(), v_rounded.begin(), v_rounded.end());
                want_i.insert(want_i.end(), i_rounded.begin(), i_rounded.end());
            }
            raw_layout layout = layout_of(e);
            layout.sampling_frequency = 3.0;
            const outcome r = read(file_of(pairs, e), layout, {});
            ASSERT_EQ(r.message, "") << reading << ' ' << name_of(e);
            EXPECT_EQ(r.samples.sampling_frequency, 3.0);
            EXPECT_EQ(r.samples.deltat, 0.333333343f);
            EXPECT_EQ(r.samples.line_count, static_cast<std::int64_t>(pairs.size()));
            // Compared by their bits: -0 is not 0.
            ASSERT_EQ(r.samples.v.size(), want_v.size());
            for (std::size_t k = 0; k < want_v.size(); ++k) {
                EXPECT_EQ(std::memcmp(&r.samples.v[k], &want_v[k], 4), 0)
                    << reading << ' ' << name_of(e) << " v " << k << ": " << r.samples.v[k];
                EXPECT_EQ(std::memcmp(&r.samples.i[k], &want_i[k], 4), 0)
                    << reading << ' ' << name_of(e) << " i " << k << ": " << r.samples.i[k];
            }
        }
    }
}

// The scale multiplies in double and the product is rounded once: a float
// product, or a float rounding before the scale, lands one float away.
TEST(raw_binary, scales_in_double_and_rounds_once)
{
    const struct {
        sample_encoding encoding;
        double v, i, v_scale, i_scale;
        float want_v, want_i;
    } cases[] = {
        {sample_encoding::f32le, 1234.0, 2.5, 1e-3, 1e-3, 1.234f, 0.0025f},
        {sample_encoding::f32be, 3.0, 1234.0, 1e-9, 1e-9, 3e-9f, 1.234e-6f},
        {sample_encoding::f64le, 0.1, 1.2345678, 1e-3, 1e-3, 1e-4f, 0.0012345678f},
        {sample_encoding::f64be, 1.2345678, 0.1, 1e-3, 1.0, 0.0012345678f, 0.1f},
    };
    for (const auto& [reading, read] : readers()) {
        for (const auto& c : cases) {
            const outcome r = read(file_of({{c.v, c.i}}, c.encoding), layout_of(c.encoding, c.v_scale, c.i_scale), {});
            ASSERT_EQ(r.message, "") << reading << ' ' << name_of(c.encoding);
            EXPECT_EQ(r.samples.v[0], c.want_v) << reading << ' ' << name_of(c.encoding);
            EXPECT_EQ(r.samples.i[0], c.want_i) << reading << ' ' << name_of(c.encoding);
        }
    }
}

TEST(raw_binary, stops_on_a_size_that_is_not_whole_pairs)
{
    const struct {
        sample_encoding encoding;
        std::size_t pairs, extra;
        std::string message;
    } cases[] = {
        {sample_encoding::f32le, 0, 1, bad_size(1, 8)},
        {sample_encoding::f32be, 0, 7, bad_size(7, 8)},
        {sample_encoding::f32le, 3, 4, bad_size(28, 8)},
        {sample_encoding::f64le, 0, 15, bad_size(15, 16)},
        {sample_encoding::f64be, 2, 8, bad_size(40, 16)},
        {sample_encoding::f64le, 1, 12, bad_size(28, 16)},
        {sample_encoding::f32le, 131073, 3, bad_size(1048587, 8)},  // beyond the 1 MiB buffer of a pipe's reading
        {sample_encoding::f64le, 0, 0, ""},                         // nothing at all: no samples, no stop
    };
    for (const auto& [reading, read] : readers()) {
        for (const auto& c : cases) {
            const std::string bytes =
                file_of(pair_list(c.pairs, {1.0, 2.0}), c.encoding) + std::string(c.extra, '\x01');
            const outcome r = read(bytes, layout_of(c.encoding), reading_options{2, 1000});
            EXPECT_EQ(r.message, c.message) << reading << ' ' << name_of(c.encoding) << ' ' << bytes.size();
            if (c.message.empty()) {
                EXPECT_EQ(r.samples.line_count, 0);
            }
        }
    }
}

// Counts the pairs it is given; from `enough` on it ends the reading (an int thrown).
struct counting_sink final : sample_sink {
    std::uint64_t pairs = 0;
    std::uint64_t enough = std::numeric_limits<std::uint64_t>::max();
    void begin(double, float, const input_description&) override {}
    void take(std::span<const float> v, std::span<const float>) override
    {
        pairs += v.size();
        if (pairs >= enough) throw 0;
    }
};

// The faults of a file of 300 pairs: (pair from 1, 0 for v or 1 for i, value).
struct fault_case {
    sample_encoding encoding;
    std::vector<std::tuple<int, int, double>> faults;
    std::string message;
    double v_scale = 1.0;
};

TEST(raw_binary, stops_at_the_first_value_that_is_not_finite_or_too_large)
{
    std::vector<fault_case> cases = {
        {sample_encoding::f32le, {{7, 0, nan}}, not_finite("v", 7)},
        {sample_encoding::f32be, {{1, 1, -inf}}, not_finite("i", 1)},
        {sample_encoding::f64le, {{300, 1, inf}}, not_finite("i", 300)},
        {sample_encoding::f64be, {{150, 0, 1e39}}, too_large("v", 150)},
        {sample_encoding::f64le, {{2, 1, -float_overflow}}, too_large("i", 2)},
        // Too large only once scaled; an infinity times 0 is still no number.
        {sample_encoding::f32le, {{9, 0, 3e38}}, too_large("v", 9), 2.0},
        {sample_encoding::f32le, {{9, 0, inf}}, not_finite("v", 9), 0.0},
        // The first in file order wins, whatever its kind: across parts, and v before i.
        {sample_encoding::f64le, {{250, 0, nan}, {40, 1, 1e39}, {120, 0, inf}}, too_large("i", 40)},
        {sample_encoding::f32be, {{280, 1, nan}, {281, 0, nan}}, not_finite("i", 280)},
        {sample_encoding::f64be, {{100, 1, nan}, {100, 0, 1e300}}, too_large("v", 100)},
        {sample_encoding::f32le, {{300, 0, nan}, {3, 1, inf}, {2, 1, inf}}, not_finite("i", 2)},
    };
    // A stop in every pair from 100 on: the threads meet stops in several parts at once.
    fault_case& everywhere = cases.emplace_back(fault_case{sample_encoding::f64le, {}, not_finite("v", 100)});
    for (int pair = 100; pair <= 300; ++pair) everywhere.faults.emplace_back(pair, 0, nan);
    for (const fault_case& c : cases) {
        pair_list pairs(300, {0.5, -0.5});
        for (const auto& [pair, side, value] : c.faults)
            (side == 0 ? pairs[pair - 1].first : pairs[pair - 1].second) = value;
        const std::string bytes = file_of(pairs, c.encoding);
        const raw_layout layout = layout_of(c.encoding, c.v_scale);
        // A sink is given every pair before the first faulty one, however the file is read.
        int first_faulty = 300;
        for (const auto& [pair, side, value] : c.faults) first_faulty = std::min(first_faulty, pair);
        for (const unsigned threads : {1u, 2u, 3u}) {
            for (const std::size_t block : {std::size_t{40}, std::size_t{1000}, std::size_t{4} << 20}) {
                const outcome r = read_file_of(bytes, layout, reading_options{threads, block});
                EXPECT_EQ(r.message, c.message)
                    << name_of(c.encoding) << ", " << threads << " threads, block " << block;
                counting_sink sink;
                reading_options options{threads, block};
                options.sink = &sink;
                EXPECT_EQ(read_file_of(bytes, layout, options).message, c.message);
                EXPECT_EQ(sink.pairs, first_faulty - 1)
                    << name_of(c.encoding) << ", " << threads << " threads, block " << block;
            }
        }
#ifndef _WIN32
        EXPECT_EQ(read_piped(bytes, layout, {}, 333).message, c.message) << name_of(c.encoding) << " through a pipe";
        counting_sink sink;
        reading_options options;
        options.sink = &sink;
        EXPECT_EQ(read_piped(bytes, layout, options, 333).message, c.message);
        EXPECT_EQ(sink.pairs, first_faulty - 1) << name_of(c.encoding) << " through a pipe";
#endif
    }
}

// A regular file's size is known before any value is read; a pipe's only at its end.
TEST(raw_binary, checks_the_size_of_a_file_first_and_of_a_pipe_last)
{
    const std::string bytes = file_of({{1.0, 2.0}, {nan, 1.0}}, sample_encoding::f32le) + "\x01\x02";
    EXPECT_EQ(read_file_of(bytes, layout_of(sample_encoding::f32le)).message, bad_size(18, 8));
#ifndef _WIN32
    EXPECT_EQ(read_piped(bytes, layout_of(sample_encoding::f32le)).message, not_finite("v", 2));
#endif
}

// Files of a few MiB with random finite values in every part: the same bits
// for every thread count and block size, and the values as written.
TEST(raw_binary, gives_the_same_bits_for_every_thread_count)
{
    std::mt19937_64 bits(25);
    std::vector<float> v(400000);
    std::vector<float> i(v.size());
    const auto random_float = [&] {
        float f;
        do {
            const auto word = static_cast<std::uint32_t>(bits());
            std::memcpy(&f, &word, 4);
        } while (!std::isfinite(f));
        return f;
    };
    pair_list pairs;
    for (std::size_t k = 0; k < v.size(); ++k) {
        v[k] = random_float();
        i[k] = random_float();
        pairs.emplace_back(v[k], i[k]);
    }
    for (const sample_encoding e : {sample_encoding::f32le, sample_encoding::f64be}) {
        const std::string bytes = file_of(pairs, e);
        for (const unsigned threads : {1u, 2u, 3u, 4u}) {
            for (const std::size_t block : {std::size_t{4} << 20, std::size_t{1000003}}) {
                const outcome r = read_file_of(bytes, layout_of(e), reading_options{threads, block});
                ASSERT_EQ(r.message, "");
                ASSERT_EQ(r.samples.v.size(), v.size());
                EXPECT_EQ(std::memcmp(r.samples.v.data(), v.data(), 4 * v.size()), 0)
                    << name_of(e) << ", " << threads << " threads, block " << block;
                EXPECT_EQ(std::memcmp(r.samples.i.data(), i.data(), 4 * i.size()), 0)
                    << name_of(e) << ", " << threads << " threads, block " << block;
            }
        }
#ifndef _WIN32
        const outcome piped = read_piped(bytes, layout_of(e));
        EXPECT_EQ(std::memcmp(piped.samples.v.data(), v.data(), 4 * v.size()), 0) << name_of(e);
        EXPECT_EQ(std::memcmp(piped.samples.i.data(), i.data(), 4 * i.size()), 0) << name_of(e);
#endif
    }
}

TEST(raw_binary, a_cancelled_reading_is_a_read_error)
{
    const std::atomic<bool> cancel{true};
    reading_options options;
    options.cancel = &cancel;
    for (const auto& [reading, read] : readers()) {
        const outcome r = read(file_of(pair_list(1000, {1.0, 2.0}), sample_encoding::f32le),
                               layout_of(sample_encoding::f32le), options);
        EXPECT_EQ(r.message, unreadable) << reading;
        EXPECT_EQ(r.kind, error_kind::unreadable_file) << reading;
    }
}

#ifndef _WIN32
TEST(raw_binary, a_file_that_cannot_be_read_is_a_read_error)
{
    const std::string dir = make_scratch_directory();
    write_file(dir + "/samples.bin", file_of(pair_list(10, {1.0, 2.0}), sample_encoding::f32le));
    // A regular file open for writing only, and a directory (read as a stream).
    std::FILE* write_only = fdopen(open((dir + "/samples.bin").c_str(), O_WRONLY), "wb");
    std::FILE* directory = std::fopen(dir.c_str(), "rb");
    for (std::FILE* file : {write_only, directory}) {
        ASSERT_NE(file, nullptr);
        const outcome r = read_from(file, layout_of(sample_encoding::f32le), {});
        EXPECT_EQ(r.message, unreadable);
        EXPECT_EQ(r.kind, error_kind::unreadable_file);
        std::fclose(file);
    }
}

// A sparse file of 2^31 + 1 pairs is read like any other (its first block of pairs, here).
TEST(raw_binary, reads_a_file_of_more_than_2_31_pairs)
{
    const std::string name = make_scratch_directory() + "/samples.bin";
    write_file(name, "");
    std::filesystem::resize_file(name, ((std::uint64_t{1} << 31) + 1) * 8);
    std::FILE* file = std::fopen(name.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    counting_sink sink;
    sink.enough = 1;
    reading_options options;
    options.sink = &sink;
    EXPECT_THROW(read_raw_binary(file, "samples.bin", options, layout_of(sample_encoding::f32le)), int);
    EXPECT_EQ(sink.pairs, options.block_size / 8);
    std::fclose(file);
}
#endif

}  // namespace

// A regular file already read into, as a shell's standard input may be
// (`(head -c 8 >/dev/null; veltrin ... -) < file`): the pairs from there on.
TEST(raw_binary, a_file_read_into_is_read_from_where_it_stands)
{
    const std::string bytes = file_of({{1.0, 2.0}, {3.0, 4.0}, {5.0, 6.0}}, sample_encoding::f32le);
    std::FILE* file = stream_of(bytes);
    ASSERT_EQ(std::fseek(file, 8, SEEK_SET), 0);
    const outcome r = read_from(file, layout_of(sample_encoding::f32le), reading_options{});
    std::fclose(file);
    ASSERT_EQ(r.message, "");
    EXPECT_EQ(std::vector<float>(r.samples.v.begin(), r.samples.v.end()), (std::vector<float>{3.0f, 5.0f}));
    EXPECT_EQ(std::vector<float>(r.samples.i.begin(), r.samples.i.end()), (std::vector<float>{4.0f, 6.0f}));
}
