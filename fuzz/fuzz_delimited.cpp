// Delimited text made of the fuzzer's bytes, read as a pipe is (line by
// line) and as a regular file is (in regions, by threads): both readings
// must give the same samples, the same account of the reading (where the
// frequency came from, a last row dropped) or the same message. The first
// byte chooses the options.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "input/reading.hpp"
#include "model/error.hpp"

using namespace veltrin;

namespace {

std::string file_name;

// The outcome as text: the samples' bits, or the error's kind and message.
std::string outcome_of(const std::uint8_t* data, std::size_t size, const input_request& in, unsigned threads,
                       std::size_t block_size)
{
    std::FILE* file =
        block_size == 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb") : std::fopen(file_name.c_str(), "rb");
    if (file == nullptr) std::abort();
    std::string outcome;
    try {
        reading_options options;
        options.threads = threads;
        if (block_size != 0) options.block_size = block_size;
        options.input = in;
        const recording r = read_recording(file, "rec.csv", options);
        outcome = std::to_string(r.sampling_frequency) + " " + r.input.format + " " + r.input.fs_source + " " +
                  std::to_string(r.input.dropped_last_row) + " ";
        outcome.append(reinterpret_cast<const char*>(r.v.data()), r.v.size() * sizeof(float));
        outcome.append(reinterpret_cast<const char*>(r.i.data()), r.i.size() * sizeof(float));
    } catch (const analysis_error& error) {
        outcome = std::to_string(static_cast<int>(error.kind)) + error.what();
    }
    std::fclose(file);
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    file_name = directory + "/veltrin_fuzz_delimited_" + std::to_string(getpid()) + ".csv";
    std::atexit([] { std::remove(file_name.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const unsigned choice = data[0];
    ++data;
    --size;
    input_request in;
    in.format = choice & 1 ? input_format::delimited : input_format::automatic;
    if (choice & 2) in.sampling_frequency = 100.0;
    if (choice & 4) {
        in.v_column = std::to_string(1 + (choice >> 4 & 3));
        in.i_column = std::to_string(2 + (choice >> 6 & 1));
    }
    if (choice & 8) in.decimal_comma = true;
    if ((choice & 0x30) == 0x30 && !(choice & 4)) in.delimiter = ';';
    // Several tables: the second, or all joined.
    if ((choice & 0xC0) == 0xC0 && !(choice & 4)) in.table = choice & 0x10 ? 0 : 2;
    std::FILE* file = std::fopen(file_name.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) std::abort();

    const std::string sequential = outcome_of(data, size, in, 1, 0);
    if (sequential != outcome_of(data, size, in, 1, std::size_t{4} << 20)) std::abort();
    if (sequential != outcome_of(data, size, in, 3, 23)) std::abort();
    if (sequential != outcome_of(data, size, in, 2, 64)) std::abort();
    return 0;
}
