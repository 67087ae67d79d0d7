// Blocks: a fresh stream analysis for each, its result handed on when full.
#include "analysis/block_analysis.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "estimates/band_quantities.hpp"
#include "estimates/noise_statistics.hpp"
#include "model/error.hpp"

namespace veltrin {

std::optional<double> duration_of(std::string_view text)
{
    double unit = 1.0;
    for (const auto& [suffix, seconds] :
         {std::pair{std::string_view("min"), 60.0}, std::pair{std::string_view("h"), 3600.0},
          std::pair{std::string_view("s"), 1.0}}) {
        if (text.size() > suffix.size() && text.ends_with(suffix)) {
            text.remove_suffix(suffix.size());
            unit = seconds;
            break;
        }
    }
    double number = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(number > 0.0) ||
        !std::isfinite(number * unit))
        return std::nullopt;
    return number * unit;
}

std::int64_t block_points(const block_request& blocks, double fs)
{
    if (blocks.points) return *blocks.points;
    const double points = std::round(*blocks.seconds * fs);
    // Beyond this, no recording holds one block.
    return points >= 9.2e18 ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(points);
}

std::vector<std::string> block_keys(const analysis_request& request)
{
    std::vector<std::string> keys = request.statistics ? statistics_keys() : std::vector<std::string>{};
    if (wants_band(request)) {
        const std::vector<std::string> band = band_keys(request);
        keys.insert(keys.end(), band.begin(), band.end());
    }
    return keys;
}

std::vector<double> block_values(const block_result& block)
{
    std::vector<double> values;
    for (const auto& [key, value] : block.result.statistics) values.push_back(value);
    for (const auto& [key, value] : block.result.band)
        values.push_back(std::holds_alternative<double>(value) ? std::get<double>(value)
                                                               : static_cast<double>(std::get<std::int64_t>(value)));
    return values;
}

block_analysis::block_analysis(const analysis_request& request, block_request blocks, std::string data_file,
                               std::string shown_name, unsigned threads, block_done on_block,
                               const std::atomic<bool>* interrupted)
    : request_(request), blocks_asked_(blocks), data_file_(std::move(data_file)), shown_name_(std::move(shown_name)),
      threads_(threads), on_block_(std::move(on_block)), interrupted_(interrupted)
{
}

namespace {

// The samples the sections of a request need: one section when it takes
// all that fit.
std::uint64_t samples_needed(const analysis_request& s)
{
    return layout_of(s).span(s.all_sections ? 1 : static_cast<std::uint64_t>(s.nb_section));
}

}  // namespace

void block_analysis::begin(double sampling_frequency, float deltat, const input_description& input)
{
    fs_ = sampling_frequency;
    deltat_ = deltat;
    input_ = input;
    if (std::optional<request_problem> problem = check_request(request_))
        fail_settings(shown_name_, std::move(*problem));
    const std::int64_t points = block_points(blocks_asked_, fs_);
    const std::uint64_t needed = samples_needed(request_);
    reading_problem problem{.rule = reading_rule::block_too_long,
                            .count = points,
                            .limit = most_block_points,
                            .value = fs_,
                            .seconds = blocks_asked_.seconds};
    if (points > most_block_points) fail_reading(error_kind::input_options, shown_name_, std::move(problem));
    if (points < 1 || static_cast<std::uint64_t>(points) < needed) {
        problem.rule = reading_rule::block_too_short;
        problem.limit = static_cast<std::int64_t>(needed);
        fail_reading(error_kind::input_options, shown_name_, std::move(problem));
    }
    points_ = points;
}

void block_analysis::take(std::span<const float> v, std::span<const float> i)
{
    while (!v.empty()) {
        if (interrupted_ != nullptr && interrupted_->load()) throw blocks_interrupted{};
        if (!current_) current_ = std::make_unique<stream_analysis>(request_, data_file_, shown_name_, threads_);
        if (in_block_ == 0) current_->begin(fs_, deltat_, input_);
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>(v.size(), static_cast<std::uint64_t>(points_) - in_block_));
        current_->take(v.first(count), i.first(count));
        v = v.subspan(count);
        i = i.subspan(count);
        in_block_ += count;
        if (in_block_ < static_cast<std::uint64_t>(points_)) continue;
        block_result block{blocks_ + 1, static_cast<double>(blocks_) * static_cast<double>(points_) / fs_,
                           static_cast<double>(blocks_ + 1) * static_cast<double>(points_) / fs_, current_->finish()};
        current_.reset();
        in_block_ = 0;
        ++blocks_;
        if (!first_settings_) {
            first_settings_ = block.result;
            first_settings_->columns.clear();
            first_settings_->statistics.clear();
            first_settings_->band.clear();
        }
        on_block_(std::move(block));
    }
}

spectrum_result block_analysis::settings() const
{
    if (first_settings_) return *first_settings_;
    return spectrum_result{data_file_, fs_, request_, {}, 0.0, {}, {}, input_};
}

}  // namespace veltrin
