// Blocks counted from near the limits of 32 bits (count_from): the block
// numbers, their times and the dropped samples stay exact past them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "analysis/block_analysis.hpp"

namespace {

TEST(block_analysis, numbers_times_and_dropped_samples_stay_exact_past_32_bits)
{
    const struct {
        std::int64_t points;
        std::int64_t before;  // blocks counted as done
        double fs;
    } cases[] = {
        {2, 2147483646, 1.0},      // block numbers cross 2^31
        {1000, 2147483, 1000.0},   // the samples counted cross 2^31
        {4, 4294967295, 0.5},      // block numbers cross 2^32
    };
    for (const auto& c : cases) {
        analysis_request request;
        request.nbpoint_section = 2;
        request.all_sections = true;
        std::vector<block_result> blocks;
        block_request length;
        length.points = c.points;
        block_analysis analysis(request, length, "", "arrays", 1,
                                [&](block_result&& block) { blocks.push_back(std::move(block)); });
        analysis.begin(c.fs, static_cast<float>(1.0 / c.fs), {});
        analysis.count_from(c.before);
        // Three blocks and 1 sample, in pieces that cut the blocks anywhere.
        const std::vector<float> samples(static_cast<std::size_t>(3 * c.points + 1), 1.0f);
        for (std::size_t at = 0; at < samples.size(); at += 3) {
            const std::span<const float> piece = std::span<const float>(samples).subspan(at, std::min<std::size_t>(3, samples.size() - at));
            analysis.take(piece, piece);
        }
        ASSERT_EQ(blocks.size(), 3u);
        for (std::int64_t k = 0; k < 3; ++k) {
            const block_result& block = blocks[static_cast<std::size_t>(k)];
            EXPECT_EQ(block.number, c.before + k + 1);
            EXPECT_EQ(block.start, static_cast<double>((c.before + k) * c.points) / c.fs);
            EXPECT_EQ(block.end, static_cast<double>((c.before + k + 1) * c.points) / c.fs);
        }
        EXPECT_EQ(analysis.blocks_done(), c.before + 3);
        EXPECT_EQ(analysis.dropped_samples(), 1u);
    }
}

}  // namespace
