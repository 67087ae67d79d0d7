// One pass over the tagged sample file: frequency, data block, both series.
#include "recording.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "analysis_error.hpp"
#include "number_text.hpp"
#include "tag_search.hpp"

namespace {

constexpr std::string_view watched_tags[] = {frequency_tag.text, data_tag.text, data_end_tag.text,
                                             pair_tag.text,      v_tag.text,    i_tag.text};

// The number that starts right after the tag found at position at.
double value_after(std::string_view line, std::size_t at, const tag& t)
{
    return parse_number(line.data() + at + t.text.size(), line.data() + line.size());
}

// A value too large for single precision, remembered by the line that
// stored it and the index it went to. Whether a store counts is known only
// once the series' size is, so the earliest line for each smaller index is kept.
struct overflow_record {
    std::int64_t line;
    std::int64_t index;
};

struct block_reader {
    recording& result;
    std::vector<overflow_record> overflows;  // indices strictly falling: a short list

    void store(std::vector<float>& channel, std::int64_t line, std::int64_t index, double value)
    {
        const auto at = static_cast<std::size_t>(index);
        // Grown in steps; the final size is set once the block has ended.
        if (at >= channel.size()) channel.resize(std::max(at + 1, channel.size() + channel.size() / 2 + 4096));
        channel[at] = static_cast<float>(value);
        if (std::isinf(channel[at]) && (overflows.empty() || index < overflows.back().index))
            overflows.push_back({line, index});
    }

    // Stores the values of block line c (from 0) as the loader's index rules say.
    void take_line(std::string_view line, std::int64_t c)
    {
        const std::size_t v_at = find_tag(line, v_tag);
        const std::size_t pair_at = find_tag(line, pair_tag);
        const std::int64_t index = pair_at != std::string_view::npos ? c : c / 2;
        if (v_at != std::string_view::npos) store(result.v, c, index, value_after(line, v_at, v_tag));
        if (pair_at != std::string_view::npos) {
            store(result.i, c, index, value_after(line, pair_at, pair_tag));
        } else {
            const std::size_t i_at = find_tag(line, i_tag);
            if (i_at != std::string_view::npos) store(result.i, c, index, value_after(line, i_at, i_tag));
        }
    }
};

}  // namespace

recording read_recording(std::FILE* file, const std::string& name, std::size_t held_limit)
{
    line_reader reader;
    start_reading(reader, file, watched_tags, held_limit);
    recording result;
    block_reader block{result, {}};
    std::string_view line;
    bool frequency_found = false;
    bool data_found = false;
    std::int64_t count = 0;
    bool paired = false;

    while (read_line(reader, line)) {
        if (!frequency_found) {
            if (!holds(line, frequency_tag)) continue;
            frequency_found = true;
            result.sampling_frequency = value_after(line, find_tag(line, frequency_tag), frequency_tag);
        }
        if (!data_found) {
            // The frequency line itself may carry the data tag too.
            data_found = holds(line, data_tag);
            continue;
        }
        // The block's first line counts whatever it holds, even "</data>".
        if (count > 0 && holds(line, data_end_tag)) break;
        if (count == 0) paired = holds(line, pair_tag);
        if (count == std::numeric_limits<std::int32_t>::max())
            fail(error_kind::bad_data, name, "\nFatal error: the data block has more than 2147483647 lines.\n");
        block.take_line(line, count);
        ++count;
    }
    if (reader.failed) fail(error_kind::unreadable_file, name, "\nThe file " + name + " cannot be read.\n");
    if (!data_found)
        fail(error_kind::bad_data, name, "\nThe structure of the input data file is unknown.\n",
             "The string <data> or the string <sampling_frequency> of the XML format does not exist.\n");
    // The data line may be the file's last: its block is one empty line.
    if (count == 0) count = 1;

    const double frequency = result.sampling_frequency;
    if (!(frequency >= 1e-37 && frequency <= 1e37))
        fail(error_kind::bad_data, name,
             "\nFatal error: the sampling frequency must be a number from 1e-37 to 1e37.\n");
    result.deltat = static_cast<float>(1.0 / frequency);

    result.line_count = static_cast<std::int32_t>(count);
    const auto samples = static_cast<std::size_t>(paired ? count : count / 2);
    result.v.resize(samples);
    result.i.resize(samples);
    for (const overflow_record& overflow : block.overflows) {
        if (static_cast<std::size_t>(overflow.index) < samples) {
            fail(error_kind::bad_data, name,
                 "\nFatal error: the value on line " + std::to_string(overflow.line + 1) +
                     " of the data block is too large for single precision.\n");
        }
    }
    return result;
}
