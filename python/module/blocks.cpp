// blocks(): the blocks of a file read lazily in a thread of its own, or of arrays.
#include "python/module/blocks.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <climits>
#include <cstdint>
#include <cmath>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/block_analysis.hpp"
#include "front_ends/messages.hpp"
#include "model/error.hpp"
#include "output/result_formats.hpp"
#include "analysis/configuration_run.hpp"
#include "platform/platform.hpp"
#include "python/module/reading.hpp"
#include "python/module/spectra.hpp"

namespace veltrin::python {

namespace py = pybind11;
using namespace std::chrono_literals;
using namespace pybind11::literals;

const std::vector<parameter> blocks_parameters = parameters_of({{"source", true}, {"fs", false}}, python_blocks);

// block: seconds as a number, or a str with the unit s, min or h ('20min').
double block_seconds(const py::object& value)
{
    const std::string wanted = "block must be a duration above 0: seconds, or a str such as '90s', '20min' or '1h'";
    double seconds = 0.0;
    if (py::isinstance<py::str>(value)) {
        const std::optional<double> duration = duration_of(value.cast<std::string>());
        if (!duration) out_of_range(wanted, value);
        seconds = *duration;
    } else {
        seconds = real_number(value, wanted);
    }
    if (!(seconds > 0.0) || !std::isfinite(seconds)) out_of_range(wanted, value);
    return seconds;
}

block_request blocks_of(const arguments& a)
{
    block_request blocks;
    const bool by_time = given(a["block"]);
    const bool by_points = given(a["block_points"]);
    if (by_time == by_points)
        throw py::type_error(by_time ? "give block or block_points, not both" : "give block (seconds) or block_points");
    if (by_time) blocks.seconds = block_seconds(a["block"]);
    if (by_points) {
        const std::string wanted = "block_points must be a whole number from 1 to 2147483647";
        const int points = whole_number(a["block_points"], wanted);
        if (points < 1) out_of_range(wanted, a["block_points"]);
        blocks.points = points;
    }
    return blocks;
}

// A block's result: the Spectra of its samples, with its number, its start
// and end (s from the recording's start) and its statistics.
py::object block_object(block_result&& block)
{
    py::object spectra = result_object(std::move(block.result));
    spectra.attr("block") = block.number;
    spectra.attr("start") = block.start;
    spectra.attr("end") = block.end;
    return spectra;
}

// Where a run in blocks stands: its settings, length and counts.
struct blocks_summary {
    spectrum_result settings;
    double sampling_frequency = 0.0;
    std::int64_t points = 0;
    std::int64_t blocks = 0;
    std::uint64_t dropped_samples = 0;
};

blocks_summary summary_of(const block_analysis& a)
{
    return {a.settings(), a.sampling_frequency(), a.points(), a.blocks_done(), a.dropped_samples()};
}

// The blocks of a file, read in a thread of its own at most two blocks
// ahead of the caller: a long recording is read as far as it is asked for.
class file_blocks {
public:
    file_blocks(std::string name, input_request input, const analysis_request& request, block_request blocks)
        : name_(std::move(name)), analysis_(
                                      request, blocks, name_, name_, core_count(),
                                      [this](block_result&& block) { hand_over(std::move(block)); }, &stop_)
    {
        reading_options options{core_count()};
        options.cancel = &stop_;
        options.input = std::move(input);
        summary_ = summary_of(analysis_);
        worker_ = std::thread([this, options] { run(options); });
    }
    ~file_blocks() { close(); }

    // Stops the reading (a block it is handing over is dropped) and waits for
    // it; from any thread, as often as asked.
    bool closed() const { return stop_.load(); }
    void close()
    {
        stop_.store(true);
        {
            const std::lock_guard<std::mutex> hold(lock_);
            ready_.notify_all();
        }
        const std::lock_guard<std::mutex> once(closing_);
        if (worker_.joinable()) worker_.join();
    }
    // A block or the end is there within `wait`.
    bool ready_within(std::chrono::milliseconds wait)
    {
        std::unique_lock<std::mutex> hold(lock_);
        return ready_.wait_for(hold, wait, [&] { return !queue_.empty() || ended_; });
    }
    // The next block; none at the end. Raises the reading's failure there.
    std::optional<block_result> take()
    {
        std::unique_lock<std::mutex> hold(lock_);
        ready_.wait(hold, [&] { return !queue_.empty() || ended_; });
        if (queue_.empty()) {
            if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
            return std::nullopt;
        }
        block_result block = std::move(queue_.front());
        queue_.pop_front();
        ready_.notify_all();
        return block;
    }
    // Where the reading stands, as of its last block (the analysis itself is the reading thread's).
    blocks_summary summary()
    {
        const std::lock_guard<std::mutex> hold(lock_);
        return summary_;
    }

private:
    void hand_over(block_result&& block)
    {
        std::unique_lock<std::mutex> hold(lock_);
        summary_ = summary_of(analysis_);
        ready_.wait(hold, [&] { return queue_.size() < 2 || stop_.load(); });
        if (stop_.load()) throw blocks_interrupted{};
        queue_.push_back(std::move(block));
        ready_.notify_all();
    }
    void run(const reading_options& options)
    {
        std::exception_ptr failure;
        try {
            file_identity identity;
            const opened_file file = open_recording(name_, name_, identity, options);
            read_into(file.get(), name_, analysis_, options);
        } catch (const blocks_interrupted&) {
        } catch (...) {
            if (!stop_.load()) failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> hold(lock_);
        summary_ = summary_of(analysis_);
        failure_ = failure;
        ended_ = true;
        ready_.notify_all();
    }

    std::string name_;
    std::atomic<bool> stop_{false};
    block_analysis analysis_;
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<block_result> queue_;
    blocks_summary summary_;
    bool ended_ = false;
    std::exception_ptr failure_;
    std::mutex closing_;
    std::thread worker_;
};

// The blocks of arrays, each analysed when it is asked for.
class array_blocks {
public:
    array_blocks(float_array v, float_array i, double fs, const analysis_request& request, block_request blocks)
        : v_(std::move(v)), i_(std::move(i)),
          analysis_(request, blocks, "", "arrays", core_count(), [this](block_result&& b) { done_ = std::move(b); })
    {
        analysis_.begin(fs, static_cast<float>(1.0 / fs), {});
    }
    std::optional<block_result> take()
    {
        const auto size = static_cast<std::size_t>(v_.size());
        const auto points = static_cast<std::size_t>(analysis_.points());
        done_.reset();
        while (!done_ && next_ < size) {
            const std::size_t count = std::min(points, size - next_);
            analysis_.take(std::span<const float>(v_.data() + next_, count),
                           std::span<const float>(i_.data() + next_, count));
            next_ += count;
        }
        return std::move(done_);
    }
    blocks_summary summary() const { return summary_of(analysis_); }

private:
    float_array v_;
    float_array i_;
    block_analysis analysis_;
    std::size_t next_ = 0;
    std::optional<block_result> done_;
};

// What blocks() returns: an iterator over the blocks, with the run's
// settings (complete once it is exhausted) and the per-block keys.
struct block_iterator {
    std::unique_ptr<file_blocks> file;
    std::unique_ptr<array_blocks> arrays;
    std::vector<std::string> keys;
    bool ended = false;

    py::object next()
    {
        if (ended) throw py::stop_iteration();
        std::optional<block_result> block;
        if (arrays) {
            const py::gil_scoped_release unlocked;
            block = arrays->take();
        } else {
            // Ctrl-C is answered at once, even while a FIFO waits for its writer.
            while (true) {
                bool ready = false;
                {
                    const py::gil_scoped_release unlocked;
                    ready = file->ready_within(20ms);
                }
                if (ready) break;
                if (PyErr_CheckSignals() != 0) {
                    ended = true;
                    {
                        const py::gil_scoped_release unlocked;
                        file->close();
                    }
                    // The exception is fetched with the GIL held.
                    throw py::error_already_set();
                }
            }
            try {
                block = file->take();
            } catch (...) {
                ended = true;
                throw;
            }
        }
        if (!block) {
            ended = true;
            if (file && file->closed()) throw py::stop_iteration();
            const blocks_summary run = file ? file->summary() : arrays->summary();
            const std::string& name = run.settings.data_file;
            if (run.settings.input.dropped_last_row != 0)
                warn_dropped_row(name, run.settings.input.dropped_last_row, 1);
            // An empty table is no failure, but should not pass unseen.
            if (run.blocks == 0) {
                const std::string message =
                    (name.empty() ? std::string() : name + ": ") + no_block_text(run.dropped_samples, run.points);
                if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) != 0) throw py::error_already_set();
            }
            throw py::stop_iteration();
        }
        return block_object(std::move(*block));
    }

    py::dict settings() const
    {
        const blocks_summary a = file ? file->summary() : arrays->summary();
        py::dict settings;
        const spectrum_result& run = a.settings;
        settings["data_file"] = run.data_file;
        settings["sampling_frequency"] = a.sampling_frequency;
        for (auto& [key, value] : settings_of(run))
            std::visit([&, k = key](auto& v) { settings[k.c_str()] = v; }, value);
        settings["block_points"] = a.points;
        if (a.sampling_frequency > 0.0)
            settings["block_duration"] = static_cast<double>(a.points) / a.sampling_frequency;
        settings["blocks"] = a.blocks;
        settings["dropped_samples"] = a.dropped_samples;
        return settings;
    }
};

block_iterator make_blocks(const arguments& a)
{
    block_iterator it;
    const analysis_request s = request_from(a, false);
    const block_request blocks = blocks_of(a);
    it.keys = block_keys(s);
    const py::object source = a["source"];
    const bool named =
        py::isinstance<py::str>(source) || py::isinstance<py::bytes>(source) || py::hasattr(source, "__fspath__");
    if (named) {
        it.file = std::make_unique<file_blocks>(file_name(source), input_of(a), s, blocks);
        return it;
    }
    for (const char* name : {"input_format", "v_column", "i_column", "time_column", "delimiter", "decimal_comma",
                             "skip", "table", "v_scale", "i_scale"})
        if (given(a[name])) throw py::type_error(std::string(name) + " applies to a file, not to arrays");
    const std::string wanted = "source must be a path (str, bytes or os.PathLike) or a pair (v, i) of arrays";
    if (!py::isinstance<py::tuple>(source) && !py::isinstance<py::list>(source)) wrong_type(wanted, source);
    const py::sequence pair = source;
    if (pair.size() != 2) out_of_range(wanted, source);
    const float_array v = samples(pair[0], "v");
    const float_array i = samples(pair[1], "i");
    if (v.size() != i.size())
        throw py::value_error("v and i must have the same length, not " + std::to_string(v.size()) + " and " +
                              std::to_string(i.size()));
    if (!given(a["fs"])) throw py::type_error("blocks() of arrays needs fs");
    const std::string fs_wanted = "fs must be a number from 1e-37 to 1e37";
    const double fs = real_number(a["fs"], fs_wanted);
    if (!(fs >= 1e-37 && fs <= 1e37)) out_of_range(fs_wanted, a["fs"]);
    it.arrays = std::make_unique<array_blocks>(v, i, fs, s, blocks);
    return it;
}

void define_blocks(py::module_& m)
{
    py::class_<block_iterator>(m, "Blocks", "The blocks of a recording, as blocks() yields them.")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &block_iterator::next)
        .def(
            "close",
            [](block_iterator& it) {
                it.ended = true;
                if (it.file) {
                    const py::gil_scoped_release unlocked;
                    it.file->close();
                }
            },
            "Stops the reading; the iterator ends.")
        .def_property_readonly("settings", &block_iterator::settings,
                               "The run's settings: those of the estimate, block_points, block_duration, blocks "
                               "and dropped_samples (the unfinished block's, once the iterator is exhausted).")
        .def_property_readonly(
            "keys",
            [](const block_iterator& it) {
                py::list keys;
                for (const std::string& key : it.keys) keys.append(key);
                return keys;
            },
            "The per-block values block_table() gives after block, start, end.");

    m.def(
        "blocks",
        [](const py::args& args, const py::kwargs& kwargs) {
            return make_blocks(bind_arguments("blocks", blocks_parameters, args, kwargs, 2));
        },
        "blocks(source, fs=None, *, points, block=None, block_points=None, statistics=False, sections=None, ...)\n\n"
        "The recording cut into consecutive blocks of block seconds (a number, or a str such as '20min' or '1h', "
        "rounded to whole samples) or of block_points samples, each analysed on its own: an iterator that yields "
        "one Spectra a block as soon as its samples are read, with the attributes block (from 1), start and end "
        "(s from the recording's start) and statistics (a dict with statistics=True, else None). A last, "
        "unfinished block is not analysed. source is a path (read lazily, at most two blocks ahead, with read()'s "
        "keywords; Ctrl-C stops it) or a pair (v, i) of arrays with fs. The estimate's keywords are spectra()'s. "
        "The iterator's settings hold block_points, blocks and dropped_samples.");
}

}  // namespace veltrin::python
