// Scans the tagged sample file, then loads the v and i values of its data block.
#include "sample_input.hpp"

#include <limits>
#include <string_view>

#include "fatal_stop.hpp"
#include "number_text.hpp"
#include "tag_search.hpp"

float deltat = 0.0f;
std::int32_t nbpoint_acqui = 0;

namespace {

// The number that starts right after the tag found at position at.
double value_after(std::string_view line, std::size_t at, const tag& t)
{
    return parse_number(line.data() + at + t.text.size(), line.data() + line.size());
}

// Keeps the most recent piece; a read at end of file leaves it as it was.
bool read_next(line_reader& file, std::string_view& line)
{
    return read_piece(file, sample_piece_limit, line);
}

}  // namespace

std::int32_t DetecteXML(line_reader& file)
{
    std::string_view line;
    while (!holds(line, frequency_tag))
        if (!read_next(file, line)) return 0;
    deltat = static_cast<float>(1.0 / value_after(line, find_tag(line, frequency_tag), frequency_tag));

    // The frequency line itself may carry the data tag too.
    while (!holds(line, data_tag))
        if (!read_next(file, line)) return 0;
    const std::uint64_t block_start = reading_position(file);

    read_next(file, line);  // the block's first line counts whatever it holds
    const bool paired = holds(line, pair_tag);
    std::int32_t count = 1;
    while (read_next(file, line) && !holds(line, data_end_tag)) {
        if (count == std::numeric_limits<std::int32_t>::max())
            fatal_stop("\nFatal error: the data block has more than 2147483647 lines.\n");
        ++count;
    }

    // The loader starts from the very line counted from, not from a new search.
    seek_reading(file, block_start);
    nbpoint_acqui = paired ? count : count / 2;
    return count;
}

sample_series load_samples(line_reader& file, std::int32_t data_line_count)
{
    const auto size = static_cast<std::size_t>(nbpoint_acqui);
    sample_series series{std::vector<float>(size), std::vector<float>(size)};
    auto store = [size](std::vector<float>& channel, std::int32_t index, double value) {
        // A value past the end of the series has nowhere to go.
        if (static_cast<std::size_t>(index) < size) channel[static_cast<std::size_t>(index)] = static_cast<float>(value);
    };
    std::string_view line;
    for (std::int32_t c = 0; c < data_line_count; ++c) {
        read_next(file, line);  // at end of file the previous line is used again
        const std::size_t v_at = find_tag(line, v_tag);
        const std::size_t pair_at = find_tag(line, pair_tag);
        const std::int32_t index = pair_at != std::string_view::npos ? c : c / 2;
        if (v_at != std::string_view::npos) store(series.v, index, value_after(line, v_at, v_tag));
        if (pair_at != std::string_view::npos) {
            store(series.i, index, value_after(line, pair_at, pair_tag));
        } else {
            const std::size_t i_at = find_tag(line, i_tag);
            if (i_at != std::string_view::npos) store(series.i, index, value_after(line, i_at, i_tag));
        }
    }
    return series;
}
