// The tagged reading through a pipe: fills of the pipe's own size, numbers
// beside a single-precision midpoint, a CR LF split between two fills.
#include <gtest/gtest.h>

#include <string>

#include "input/reading.hpp"
#include "test_files.hpp"

using namespace veltrin;

#ifndef _WIN32
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace {

const std::string head = "<?xml version=\"1.0\"?>\n<sampling_frequency>500</sampling_frequency>\n";

// Reads the content through a pipe: the sequential reading, in fills of the pipe's own.
recording read_through_a_pipe(const std::string& content)
{
    int ends[2];
    if (pipe(ends) != 0) throw std::runtime_error("no pipe");
    std::thread writer([&] {
        for (std::size_t done = 0; done < content.size();) {
            const ssize_t n = write(ends[1], content.data() + done, content.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(ends[1]);
    });
    std::FILE* file = fdopen(ends[0], "rb");
    try {
        recording r = read_recording(file, "samples.txt");
        std::fclose(file);
        writer.join();
        return r;
    } catch (...) {
        std::fclose(file);
        writer.join();
        throw;
    }
}

}  // namespace

// Numbers of 16 significant digits beside a single-precision rounding
// midpoint: the shapes of a regular file and the general reading of a pipe
// both round to double and then to single precision, as the C library's
// strtod and a cast do (a double on the midpoint rounds to even).
TEST(reading, rounds_numbers_beside_a_single_precision_midpoint_through_double)
{
    // The midpoints 1 + 2^-24, 3 + 2^-23, 0.5 + 2^-25 and 2^23 + 0.5, with a last digit either side.
    std::vector<std::string> numbers;
    for (const std::string prefix : {"1.00000005960464", "3.00000011920928", "-0.500000029802322", "8388608.50000000"})
        for (char digit = '0'; digit <= '9'; ++digit) numbers.push_back(prefix + digit);
    std::string content = head + "<data>\n";
    for (int repeat = 0; repeat < 50; ++repeat)
        for (const std::string& n : numbers) content += "<v>" + n + "</v><i>" + n + "</i>\n";
    content += "</data>\n";
    const std::string dir = make_scratch_directory();
    write_file(dir + "/samples.txt", content);
    std::FILE* file = std::fopen((dir + "/samples.txt").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    const recording regular = read_recording(file, "samples.txt", reading_options{2});
    std::fclose(file);
    const recording piped = read_through_a_pipe(content);
    ASSERT_EQ(regular.v.size(), numbers.size() * 50);
    ASSERT_EQ(piped.v.size(), regular.v.size());
    for (std::size_t k = 0; k < regular.v.size(); ++k) {
        const auto expected = static_cast<float>(std::strtod(numbers[k % numbers.size()].c_str(), nullptr));
        ASSERT_EQ(regular.v[k], expected) << numbers[k % numbers.size()];
        ASSERT_EQ(regular.i[k], expected) << numbers[k % numbers.size()];
        ASSERT_EQ(piped.v[k], expected) << numbers[k % numbers.size()];
    }
}

// A line too long to hold whose CR LF end is split between two fills of the
// buffer: the LF belongs to the line end and is no blank line of its own.
TEST(reading, a_crlf_split_between_two_fills_of_a_pipe_ends_one_line)
{
    const std::size_t fill = std::size_t{1} << 20;  // the reader's buffer
    const std::string start = head + "<data>\r\n<v>1</v><i>2</i>\r\n";
    std::string line = "<v>3</v><i>4</i>";
    line += std::string(fill - 1 - start.size() - line.size(), ' ');
    const std::string content = start + line + "\r\n<v>5</v><i>6</i>\r\n</data>\r\n";
    ASSERT_EQ(content[fill - 1], '\r');
    const recording r = read_through_a_pipe(content);
    EXPECT_EQ(r.v, (sample_series{1, 3, 5}));
    EXPECT_EQ(r.i, (sample_series{2, 4, 6}));
}
#endif
