// Writes PAIRS raw binary (v, i) pairs of little-endian floats, white noise
// on an offset, to standard output as fast as a pipe takes them: the input
// of runs longer than any file kept for the benchmarks.
//
// usage: raw_noise PAIRS > pipe
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// xorshift64*: plenty for noise, a few cycles a value.
std::uint64_t next(std::uint64_t& state)
{
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1DULL;
}

// Uniform in [-0.5, 0.5), from the top 24 bits.
float uniform(std::uint64_t& state)
{
    return static_cast<float>(next(state) >> 40) * 0x1p-24f - 0.5f;
}

void put(std::uint32_t bits, unsigned char* out)
{
    for (int k = 0; k < 4; ++k) out[k] = static_cast<unsigned char>(bits >> (8 * k));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: raw_noise PAIRS\n", stderr);
        return 2;
    }
    std::uint64_t left = std::strtoull(argv[1], nullptr, 10);
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    constexpr std::size_t chunk_pairs = std::size_t{1} << 17;  // 1 MiB
    std::vector<unsigned char> chunk(8 * chunk_pairs);
    while (left > 0) {
        const std::size_t n = left < chunk_pairs ? static_cast<std::size_t>(left) : chunk_pairs;
        for (std::size_t k = 0; k < n; ++k) {
            put(std::bit_cast<std::uint32_t>(0.3f + 1e-4f * uniform(state)), &chunk[8 * k]);
            put(std::bit_cast<std::uint32_t>(1e-3f + 1e-6f * uniform(state)), &chunk[8 * k + 4]);
        }
        if (std::fwrite(chunk.data(), 8, n, stdout) != n) return 1;
        left -= n;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
