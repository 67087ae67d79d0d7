// Blocks counted from near the limits of 32 bits (count_from): block
// numbers, times and the dropped samples stay exact past them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/block_analysis.hpp"

using namespace veltrin;

namespace {

TEST(block_analysis, numbers_times_and_dropped_samples_stay_exact_past_32_bits)
{
    // Block length, blocks counted as done, fs: past 2^31 blocks, 2^31 samples, 2^32 blocks.
    const struct {
        std::int64_t points, before;
        double fs;
    } cases[] = {{2, 2147483646, 1.0}, {1000, 2147483, 1000.0}, {4, 4294967295, 0.5}};
    for (const auto& [points, before, fs] : cases) {
        analysis_request request;
        request.nbpoint_section = 2;
        request.all_sections = true;
        block_request length;
        length.points = points;
        std::vector<block_result> blocks;
        block_analysis analysis(request, length, "", "arrays", 1,
                                [&](block_result&& b) { blocks.push_back(std::move(b)); });
        analysis.begin(fs, static_cast<float>(1.0 / fs), {});
        analysis.count_from(before);
        // Three blocks and one sample, in pieces of 3 that cut the blocks anywhere.
        const std::vector<float> samples(static_cast<std::size_t>(3 * points + 1), 1.0f);
        for (std::size_t at = 0; at < samples.size(); at += 3) {
            const auto piece =
                std::span<const float>(samples).subspan(at, std::min<std::size_t>(3, samples.size() - at));
            analysis.take(piece, piece);
        }
        ASSERT_EQ(blocks.size(), 3u);
        for (std::int64_t k = 0; k < 3; ++k) {
            EXPECT_EQ(blocks[static_cast<std::size_t>(k)].number, before + k + 1);
            EXPECT_EQ(blocks[static_cast<std::size_t>(k)].start, static_cast<double>((before + k) * points) / fs);
            EXPECT_EQ(blocks[static_cast<std::size_t>(k)].end, static_cast<double>((before + k + 1) * points) / fs);
        }
        EXPECT_EQ(analysis.dropped_samples(), 1u);
    }
}

}  // namespace
