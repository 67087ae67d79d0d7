// The steps of a time column, taken as its rows are read: enough of them
// to find, once the mean step is known at the end, the first step more
// than 1 % away from it, without holding every time.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace veltrin {

// A time column's times as they come, each with its block line: what the
// rule on its steps needs once the mean step is known, at the end, without
// the times themselves. The rule: every step within 1 % of the mean step.
struct time_steps {
    struct step {
        double size;
        std::int64_t line;
        bool after_gap;  // lines without a sample come before it
    };
    std::int64_t count = 0;
    double first = 0.0;
    double last = 0.0;
    std::int64_t first_line = 0;
    std::int64_t last_line = 0;
    // The steps larger than every one before them, and those smaller. The
    // first step that breaks the rule for a finite mean is one of them: the
    // steps that break it are those beyond a bound on either side.
    std::vector<step> rising;
    std::vector<step> falling;
    // The first step that is NaN or +infinity: the only kind an infinite
    // mean refuses.
    std::optional<step> unbounded;
    // A step kept breaks the rule for any finite positive mean (NaN, not
    // positive, or more than 3 % away from another kept one): none after it
    // can be the first, and none more is kept.
    bool settled = false;
    // Steps from `low` to `high` change nothing of the above.
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    // The step before the last time, and the first step after lines without
    // a sample (a junction of joined tables) that differs from the one before
    // it by more than 1 %.
    double last_step = 0.0;
    std::optional<step> junction;
    double junction_before = 0.0;

    // The times of consecutive lines from `line` on. Most steps are like
    // those before them: a quick look at a stretch of steps tells whether
    // any needs add.
    void add_run(std::span<const double> times, std::int64_t line)
    {
        add(times[0], line);
        for (std::size_t k = 1; k < times.size();) {
            const std::size_t end = std::min(times.size(), k + 512);
            bool outside = false;
            for (std::size_t j = k; j < end; ++j) {
                const double size = times[j] - times[j - 1];
                outside |= !(size >= low && size <= high);
            }
            if (outside) {
                for (std::size_t j = k; j < end; ++j) add(times[j], line + static_cast<std::int64_t>(j));
            } else {
                count += static_cast<std::int64_t>(end - k);
                last_step = times[end - 1] - times[end - 2];
                last = times[end - 1];
                last_line = line + static_cast<std::int64_t>(end - 1);
            }
            k = end;
        }
    }

    void add(double time, std::int64_t line)
    {
        if (count++ == 0) {
            first = time;
            first_line = line;
        } else {
            const step s{time - last, line, line - last_line > 1};
            if (s.after_gap && count >= 3 && !junction && !(std::fabs(s.size - last_step) <= 0.01 * last_step)) {
                junction = s;
                junction_before = last_step;
            }
            last_step = s.size;
            if (!unbounded && !(s.size < HUGE_VAL)) {
                unbounded = s;
                if (settled) high = HUGE_VAL;
            }
            if (!settled) keep(s);
        }
        last = time;
        last_line = line;
    }

    void keep(const step& s)
    {
        if (!std::isnan(s.size)) {
            if (rising.empty() || s.size > rising.back().size) rising.push_back(s);
            if (falling.empty() || s.size < falling.back().size) falling.push_back(s);
            low = falling.back().size;
            high = rising.back().size;
        }
        // Within 1 % of one mean, two steps differ by less than 2.03 %; far
        // from the smallest numbers, where 1 % of the mean is inexact.
        settled = std::isnan(s.size) || !(low > 0.0) || (low >= 1e-290 && high > 1.03 * low);
        // Settled, only the first NaN or +infinity is still looked for.
        if (settled) {
            low = -HUGE_VAL;
            high = unbounded ? HUGE_VAL : std::numeric_limits<double>::max();
        }
    }

    // The first step that breaks the rule for this positive mean, if any.
    std::optional<step> first_broken(double mean) const
    {
        if (std::isinf(mean)) return unbounded;
        const auto breaks = [&](const step& s) { return !(std::fabs(s.size - mean) <= 0.01 * mean); };
        std::optional<step> found = unbounded;
        for (const std::vector<step>* kept : {&rising, &falling}) {
            const auto at = std::find_if(kept->begin(), kept->end(), breaks);
            if (at != kept->end() && (!found || at->line < found->line)) found = *at;
        }
        return found;
    }
};

}  // namespace veltrin
