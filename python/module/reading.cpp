// read(), the Recording, and the reading keywords.
#include "python/module/reading.hpp"

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
#include "model/settings.hpp"

namespace veltrin::python {

namespace py = pybind11;
using namespace std::chrono_literals;
using namespace pybind11::literals;

// Reads in a thread of its own while this one, taking the GIL between
// short waits, lets Python's signal handlers run: Ctrl-C is answered at
// once even while a FIFO waits for its writer. An interrupted reading is
// told to stop; one that a system call still holds is left to end alone.
std::shared_ptr<recording> read_interruptibly(const std::string& name, const input_request& input)
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    std::promise<std::shared_ptr<recording>> promise;
    std::future<std::shared_ptr<recording>> outcome = promise.get_future();
    std::thread reader([name, input, stop, promise = std::move(promise)]() mutable {
        try {
            reading_options options{core_count()};
            options.cancel = stop.get();
            options.input = input;
            file_identity identity;
            promise.set_value(std::make_shared<recording>(load_recording(name, name, identity, options)));
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
    });
    const auto ends_within = [&](std::chrono::milliseconds wait) {
        const py::gil_scoped_release unlocked;
        return outcome.wait_for(wait) == std::future_status::ready;
    };
    while (!ends_within(20ms)) {
        if (PyErr_CheckSignals() == 0) continue;
        stop->store(true);
        if (ends_within(100ms))
            reader.join();
        else
            reader.detach();
        throw py::error_already_set();
    }
    reader.join();
    return outcome.get();
}

// A last row without its line end was still being written: said as a warning.
void warn_dropped_row(const std::string& path, std::int64_t line, int stack_level)
{
    const std::string message = path + ": " + dropped_row_text(line);
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), stack_level) != 0) throw py::error_already_set();
}

const std::vector<parameter> read_parameters = parameters_of({{"path", true}}, python_read);

bool is_digits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A column: its header name (str) or its number (int, or a str of digits).
std::optional<std::string> column_of(const py::object& value, const char* name)
{
    if (!given(value)) return std::nullopt;
    const std::string wanted = std::string(name) + " must be a column name (str) or number from 1 to " +
                               std::to_string(most_column_number) + " (int)";
    if (py::isinstance<py::str>(value)) {
        const std::string text = value.cast<std::string>();
        if (!valid_column(text)) out_of_range(wanted, value);
        return text;
    }
    const int number = whole_number(value, wanted);
    if (number < 1) out_of_range(wanted, value);
    return std::to_string(number);
}

// What read()'s keywords say about the file, checked as the options are.
input_request input_of(const arguments& a)
{
    input_request in;
    in.format = input_format::automatic;
    if (given(a["input_format"])) {
        const std::optional<input_format> format = format_named(text(a["input_format"], "input_format must be a str"));
        if (format) in.format = *format;
        const auto names = input_format_names();
        if (!format) {
            std::string list;
            for (std::size_t k = 0; k < names.size(); ++k)
                list += std::string(k == 0                  ? "'"
                                    : k + 1 == names.size() ? " or '"
                                                            : ", '") +
                        std::string(names[k]) + "'";
            out_of_range("input_format must be " + list, a["input_format"]);
        }
    }
    in.v_column = column_of(a["v_column"], "v_column");
    in.i_column = column_of(a["i_column"], "i_column");
    in.time_column = column_of(a["time_column"], "time_column");
    if (given(a["fs"])) {
        const std::string wanted = "fs must be a sampling frequency from 1e-37 to 1e37 Hz";
        const double fs = real_number(a["fs"], wanted);
        if (!(fs >= 1e-37 && fs <= 1e37)) out_of_range(wanted, a["fs"]);
        in.sampling_frequency = fs;
    }
    if (given(a["delimiter"])) {
        const std::string wanted = "delimiter must be ',', ';', 'tab' or 'space'";
        const std::string d = text(a["delimiter"], wanted);
        if (d == "," || d == ";")
            in.delimiter = d[0];
        else if (d == "tab" || d == "\t")
            in.delimiter = '\t';
        else if (d == "space" || d == " ")
            in.delimiter = ' ';
        else
            out_of_range(wanted, a["delimiter"]);
    }
    if (given(a["decimal_comma"])) in.decimal_comma = flag(a["decimal_comma"], "decimal_comma must be True or False");
    if (given(a["skip"])) {
        const std::string wanted = "skip must be a whole number of lines from 0";
        const int skip = whole_number(a["skip"], wanted);
        if (skip < 0) out_of_range(wanted, a["skip"]);
        in.skip = skip;
    }
    if (given(a["table"])) {
        const std::string wanted = "table must be a table's number from 1 (int, or a str of digits) or 'all'";
        // "2" and "+2" as the command line takes them.
        std::string number = py::isinstance<py::str>(a["table"]) ? a["table"].cast<std::string>() : std::string();
        if (number.starts_with('+')) number.erase(0, 1);
        const bool digits = is_digits(number);
        if (py::isinstance<py::str>(a["table"]) && !digits) {
            if (a["table"].cast<std::string>() != "all") out_of_range(wanted, a["table"]);
            in.table = 0;
        } else if (digits) {
            if (number.size() > 9 || std::stoi(number) < 1) out_of_range(wanted, a["table"]);
            in.table = std::stoi(number);
        } else {
            const int table = whole_number(a["table"], wanted);
            if (table < 1) out_of_range(wanted, a["table"]);
            in.table = table;
        }
    }
    for (const char* name : {"v_scale", "i_scale"}) {
        if (!given(a[name])) continue;
        const std::string wanted = std::string(name) + " must be a finite number other than 0";
        const double scale = real_number(a[name], wanted);
        if (!std::isfinite(scale) || scale == 0.0) out_of_range(wanted, a[name]);
        (name[0] == 'v' ? in.v_scale : in.i_scale) = scale;
    }
    if (is_raw(in.format) && !in.sampling_frequency)
        throw py::value_error("input_format '" + std::string(format_name(in.format)) +
                              "' needs fs: raw binary holds no sampling frequency");
    return in;
}

namespace {

std::string keyword_of(setting_id id)
{
    return std::string(row_of(id).keyword);
}

// How the file was read, as Recording.settings shows it.
py::dict settings_of_recording(const recording& r)
{
    py::dict settings;
    const input_description& in = r.input;
    settings["input_format"] = in.format;
    if (!in.v_column.empty()) settings["v_column"] = in.v_column;
    if (!in.i_column.empty()) settings["i_column"] = in.i_column;
    if (in.v_scale) settings["v_scale"] = *in.v_scale;
    if (in.i_scale) settings["i_scale"] = *in.i_scale;
    if (!in.fs_source.empty()) settings["fs_source"] = in.fs_source;
    if (in.table) settings["table"] = *in.table == 0 ? py::object(py::str("all")) : py::object(py::int_(*in.table));
    if (in.dropped_last_row != 0) settings["dropped_last_row"] = 1;
    return settings;
}

// Recordings travel between processes (multiprocessing, Dask) as their values.
py::tuple recording_state(const py::object& self)
{
    const recording& r = self.cast<const recording&>();
    const input_description& in = r.input;
    const auto scale = [](const std::optional<double>& x) {
        return x ? py::object(py::float_(*x)) : py::object(py::none());
    };
    const py::object table = in.table ? py::object(py::int_(*in.table)) : py::object(py::none());
    return py::make_tuple(r.sampling_frequency, r.deltat, r.line_count, self.attr("v"), self.attr("i"), in.format,
                          in.v_column, in.i_column, scale(in.v_scale), scale(in.i_scale), in.fs_source, table,
                          in.dropped_last_row);
}

std::shared_ptr<recording> recording_of_state(const py::tuple& state)
{
    // Ten items: a Recording pickled before the reading said more.
    if (state.size() != 10 && state.size() != 13) throw py::value_error("not the state of a pickled Recording");
    auto r = std::make_shared<recording>();
    r->sampling_frequency = state[0].cast<double>();
    r->deltat = state[1].cast<float>();
    r->line_count = state[2].cast<std::int64_t>();
    const auto series = [&](std::size_t k) {
        const float_array values = float_array::ensure(state[k]);
        if (!values) throw py::error_already_set();
        return sample_series(values.data(), values.data() + values.size());
    };
    r->v = series(3);
    r->i = series(4);
    r->input.format = state[5].cast<std::string>();
    r->input.v_column = state[6].cast<std::string>();
    r->input.i_column = state[7].cast<std::string>();
    if (!state[8].is_none()) r->input.v_scale = state[8].cast<double>();
    if (!state[9].is_none()) r->input.i_scale = state[9].cast<double>();
    if (state.size() == 13) {
        r->input.fs_source = state[10].cast<std::string>();
        if (!state[11].is_none()) r->input.table = state[11].cast<std::int64_t>();
        r->input.dropped_last_row = state[12].cast<std::int64_t>();
    }
    return r;
}
// Messages show a placeholder only where the keyword takes a number of a kind: "table=N".
std::string keyword_with_placeholder(setting_id id)
{
    return id == setting_id::table ? keyword_of(id) + "=N" : keyword_of(id);
}

std::string keyword_with_word(setting_id id, std::string_view word)
{
    return keyword_of(id) + "='" + std::string(word) + "'";
}

// A series as an array over the recording's own memory, which the Recording
// object keeps alive.
py::array_t<float> series_array(const sample_series& series, const py::object& owner)
{
    return py::array_t<float>(static_cast<py::ssize_t>(series.size()), series.data(), owner);
}

}  // namespace

const setting_names python_names{keyword_of, keyword_with_placeholder, keyword_with_word};

void define_reading(py::module_& m)
{
    py::class_<recording, std::shared_ptr<recording>>(m, "Recording", "A recording as the program reads it.")
        .def_readonly("sampling_frequency", &recording::sampling_frequency,
                      "The sampling frequency as written after <sampling_frequency> (Hz).")
        .def_property_readonly(
            "deltat", [](const recording& r) { return static_cast<double>(r.deltat); },
            "The sampling interval 1 / sampling_frequency in single precision (s).")
        .def_readonly("lines", &recording::line_count, "The data block's lines read as data.")
        .def_property_readonly(
            "v", [](const py::object& self) { return series_array(self.cast<const recording&>().v, self); },
            "The v series (float32), as the program stores it.")
        .def_property_readonly(
            "i", [](const py::object& self) { return series_array(self.cast<const recording&>().i, self); },
            "The i series (float32), as the program stores it.")
        .def_property_readonly(
            "settings", settings_of_recording,
            "How the file was read: input_format and, where used, v_column, i_column, v_scale, i_scale, "
            "fs_source (delimited text: 'time column', 'preamble' or 'option'), table, and dropped_last_row (1 when "
            "a last row without its line end was not read).")
        .def("__repr__",
             [](const recording& r) {
                 return "<veltrin.Recording " + std::to_string(r.v.size()) + " samples at " +
                        py::str(py::float_(r.sampling_frequency)).cast<std::string>() + " Hz>";
             })
        .def(py::pickle([](const py::object& self) { return recording_state(self); },
                        [](const py::tuple& state) { return recording_of_state(state); }));

    m.def(
        "read",
        [](const py::args& args, const py::kwargs& kwargs) {
            const arguments a = bind_arguments("read", read_parameters, args, kwargs, 1);
            const std::string path = file_name(a["path"]);
            auto r = read_interruptibly(path, input_of(a));
            // The caller's line, past read()'s own wrapper.
            if (r->input.dropped_last_row != 0) warn_dropped_row(path, r->input.dropped_last_row, 2);
            return r;
        },
        "read(path, *, input_format='auto', v_column=None, i_column=None, time_column=None, fs=None, delimiter=None, "
        "decimal_comma=False, skip=None, table=None, v_scale=None, i_scale=None)\n\n"
        "Reads a recording with the program's own reader, on all cores, without holding the GIL; Ctrl-C stops it "
        "at once, even while a FIFO waits for its writer. The path is a str, bytes or os.PathLike.\n\n"
        "input_format: 'auto' (tagged or delimited, as the file shows), 'tagged', 'delimited', 'f32le', 'f64le', "
        "'f32be' or 'f64be' (raw interleaved v, i pairs). For delimited text: v_column, i_column, time_column (a "
        "header name, or a number from 1; by default the usual names), delimiter (',', ';', 'tab' or 'space'), "
        "decimal_comma, skip (lines before the header row), table (of several: its number from 1, or 'all' to join "
        "them). A last row without its line end is not read (a UserWarning says so). fs overrides the file's sampling "
        "frequency (needed "
        "for raw binary and for delimited text without a time column); v_scale and i_scale multiply the columns "
        "(by default from their units).\n\n"
        "Raises FileNotFoundError, OSError, or ValueError for a file that gives no series or options that do "
        "not fit it.");
}

}  // namespace veltrin::python
