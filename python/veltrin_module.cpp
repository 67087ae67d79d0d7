// The extension veltrin._veltrin under the package veltrin: the program's reading and analysis for numpy.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

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
#include "model/error.hpp"
#include "output/result_formats.hpp"
#include "analysis/configuration_run.hpp"
#include "platform/platform.hpp"

using namespace veltrin;

namespace py = pybind11;
using namespace std::chrono_literals;
using namespace pybind11::literals;

namespace {

using float_array = py::array_t<float, py::array::c_style | py::array::forcecast>;

// The result of spectra() and run_config(): its attributes are set one by one.
struct spectra_result {};

// A vector handed to numpy without a copy: the array owns it from then on.
template <class T>
py::array_t<T> to_numpy(std::vector<T>&& values)
{
    auto* owned = new std::vector<T>(std::move(values));
    const py::capsule release(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), release);
}

// A Python object with the result's columns as numpy arrays.
py::object result_object(spectrum_result&& result)
{
    py::object spectra = py::cast(spectra_result{});
    py::dict settings;
    settings["data_file"] = result.data_file;
    settings["sampling_frequency"] = result.sampling_frequency;
    for (auto& [key, value] : settings_of(result))
        std::visit([&, k = key](auto& v) { settings[k.c_str()] = v; }, value);
    spectra.attr("settings") = settings;
    spectra.attr("nu") = result.settings.confidence ? py::object(py::float_(result.nu)) : py::object(py::none());
    for (result_column& column : result.columns) spectra.attr(column.name.c_str()) = to_numpy(std::move(column.values));
    py::object band = py::none();
    if (!result.band.empty()) {
        py::dict values;
        for (auto& [key, value] : result.band) std::visit([&, k = key](auto& v) { values[k.c_str()] = v; }, value);
        band = values;
    }
    spectra.attr("band") = band;
    return spectra;
}

// The arguments are bound and checked as Python would, each message naming
// the argument in Python's terms.

struct parameter {
    const char* name;
    bool required;
};

// A call's arguments bound to the parameters by position and keyword; a
// parameter not given, or not one of the function's, is a null object.
struct arguments {
    std::span<const parameter> parameters;
    std::vector<py::object> values;

    py::object operator[](std::string_view name) const
    {
        for (std::size_t k = 0; k < parameters.size(); ++k)
            if (name == parameters[k].name) return values[k];
        return {};
    }
};

// Python's own binding rules and messages: pybind11's would print every
// signature and every argument (whole arrays) for one misspelt keyword.
// The parameters after the first `positional` are keyword-only.
arguments bind(const char* function, std::span<const parameter> parameters, const py::args& args,
               const py::kwargs& kwargs, std::size_t positional = SIZE_MAX)
{
    const std::string called = std::string(function) + "() ";
    positional = std::min(positional, parameters.size());
    if (args.size() > positional)
        throw py::type_error(called + "takes at most " + std::to_string(positional) +
                             (positional == 1 ? " argument (" : " arguments (") + std::to_string(args.size()) +
                             " given)");
    arguments bound{parameters, std::vector<py::object>(parameters.size())};
    for (std::size_t k = 0; k < args.size(); ++k) bound.values[k] = args[k];
    for (const auto& [key, value] : kwargs) {
        const std::string name = py::str(key);
        const auto at =
            std::find_if(parameters.begin(), parameters.end(), [&](const parameter& p) { return name == p.name; });
        if (at == parameters.end()) throw py::type_error(called + "got an unexpected keyword argument '" + name + "'");
        py::object& slot = bound.values[static_cast<std::size_t>(at - parameters.begin())];
        if (slot) throw py::type_error(called + "got multiple values for argument '" + name + "'");
        slot = py::reinterpret_borrow<py::object>(value);
    }
    for (std::size_t k = 0; k < parameters.size(); ++k)
        if (parameters[k].required && !bound.values[k])
            throw py::type_error(called + "missing required argument '" + parameters[k].name + "'");
    return bound;
}

// An argument of the wrong type is shown by its type, one of the right type
// by its value (a long one cut short).
std::string type_of(const py::handle& value)
{
    return value.is_none() ? "None" : Py_TYPE(value.ptr())->tp_name;
}

std::string shown(const py::handle& value)
{
    try {
        py::str text = py::isinstance<py::str>(value) ? py::repr(value) : py::str(value);
        if (py::len(text) > 40) text = py::str("{}...").format(text[py::slice(0, 37, 1)]);
        return text;
    } catch (const py::error_already_set&) {
        return "a number too long to print";
    }
}

[[noreturn]] void wrong_type(const std::string& wanted, const py::handle& value)
{
    throw py::type_error(wanted + ", not " + type_of(value));
}

[[noreturn]] void out_of_range(const std::string& wanted, const py::handle& value)
{
    throw py::value_error(wanted + ", not " + shown(value));
}

bool given(const py::object& value)
{
    return value && !value.is_none();
}

// True and False are ints to Python, but never a count or a rate here.
bool is_boolean(const py::handle& value)
{
    return PyBool_Check(value.ptr()) || py::isinstance(value, py::module_::import("numpy").attr("bool_"));
}

// A whole number within 32 bits.
int whole_number(const py::object& value, const std::string& wanted)
{
    if (is_boolean(value) || !PyIndex_Check(value.ptr())) wrong_type(wanted, value);
    const auto number = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!number) throw py::error_already_set();
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0 || n < INT_MIN || n > INT_MAX) out_of_range(wanted, number);
    return static_cast<int>(n);
}

double real_number(const py::object& value, const std::string& wanted)
{
    if (is_boolean(value)) wrong_type(wanted, value);
    const double x = PyFloat_AsDouble(value.ptr());
    if (x == -1.0 && PyErr_Occurred()) {
        const bool too_large = PyErr_ExceptionMatches(PyExc_OverflowError) != 0;
        PyErr_Clear();
        if (too_large) out_of_range(wanted, value);
        wrong_type(wanted, value);
    }
    return x;
}

// True or False; 0 and 1 too, as the configuration file writes them.
bool flag(const py::object& value, const std::string& wanted)
{
    if (is_boolean(value)) return value.cast<bool>();
    if (!PyIndex_Check(value.ptr())) wrong_type(wanted, value);
    const int n = whole_number(value, wanted);
    if (n != 0 && n != 1) out_of_range(wanted, value);
    return n == 1;
}

std::string text(const py::object& value, const std::string& wanted)
{
    if (!py::isinstance<py::str>(value)) wrong_type(wanted, value);
    return value.cast<std::string>();
}

// A path as str, bytes or os.PathLike, as the bytes the system opens: a
// name that is not UTF-8 reaches the file it names.
std::string file_name(const py::object& path)
{
    const std::string wanted = "path must be a str, bytes or os.PathLike object";
    if (!py::isinstance<py::str>(path) && !py::isinstance<py::bytes>(path) && !py::hasattr(path, "__fspath__"))
        wrong_type(wanted, path);
    const std::string name = py::bytes(py::module_::import("os").attr("fsencode")(path));
    if (name.find('\0') != std::string::npos) throw py::value_error("path must not hold a null character");
    return name;
}

// v or i as the program stores it: float32, every value finite.
float_array samples(const py::object& value, const char* name)
{
    const std::string wanted = std::string(name) + " must be a one-dimensional array of real numbers";
    if (value.is_none() || py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value))
        wrong_type(wanted, value);
    const py::module_ numpy = py::module_::import("numpy");
    py::array array;
    try {
        array = numpy.attr("asarray")(value);
    } catch (const py::error_already_set& failure) {
        if (!failure.matches(PyExc_ValueError) && !failure.matches(PyExc_TypeError)) throw;
        wrong_type(wanted, value);
    }
    const char kind = array.dtype().kind();
    if (std::string_view("iuf").find(kind) == std::string_view::npos)
        throw py::type_error(wanted + ", not an array of " +
                             (kind == 'U' || kind == 'S' ? "str" : std::string(py::str(array.dtype().attr("name")))));
    if (array.ndim() != 1)
        throw py::value_error(wanted + ", not a " + std::to_string(array.ndim()) + "-dimensional array");
    // A value beyond single precision is reported below, not warned about by numpy.
    const py::object quiet = numpy.attr("errstate")("over"_a = "ignore");
    quiet.attr("__enter__")();
    float_array stored = float_array::ensure(array);
    quiet.attr("__exit__")(py::none(), py::none(), py::none());
    if (!stored) throw py::error_already_set();
    const float* const data = stored.data();
    for (py::ssize_t k = 0; k < stored.size(); ++k) {
        if (std::isfinite(data[k])) continue;
        const py::object original = array.attr("item")(k);
        const double x = PyFloat_AsDouble(original.ptr());
        if (x == -1.0 && PyErr_Occurred()) PyErr_Clear();
        const std::string where = " at index " + std::to_string(k) + " (" + shown(original) + ")";
        if (std::isfinite(x))
            throw py::value_error(std::string(name) + " holds a value too large for single precision" + where);
        throw py::value_error(std::string(name) + " holds a value that is not finite" + where);
    }
    return stored;
}

// Each setting by its argument's name, and what that argument must be.
const char* argument_name(request_setting setting)
{
    switch (setting) {
    case request_setting::points:
        return "points";
    case request_setting::sections:
        return "sections";
    case request_setting::hanning:
        return "hanning";
    case request_setting::window:
        return "window";
    case request_setting::overlap:
        return "overlap";
    case request_setting::confidence:
        return "confidence";
    case request_setting::coherence:
        return "coherence";
    case request_setting::zn_interval:
        return "zn_interval";
    case request_setting::band:
        return "band";
    case request_setting::slope_band:
        return "slope_band";
    case request_setting::stern_geary:
        return "stern_geary";
    case request_setting::area:
        return "area";
    }
    return "";
}

std::string wanted(request_setting setting)
{
    const auto count = [](std::int32_t least) {
        return "a whole number from " + std::to_string(least) + " to " + std::to_string(most_count);
    };
    const std::string name = argument_name(setting);
    switch (setting) {
    case request_setting::points:
        return name + " must be " + count(least_points);
    case request_setting::sections:
        return name + " must be None or " + count(least_sections);
    case request_setting::window:
        return name + " must be None or one of " + window_list();
    case request_setting::overlap:
        return name + " must be a number at least 0 and less than 1";
    case request_setting::confidence:
        return name + " must be None or a number more than 0 and less than 1";
    case request_setting::hanning:
    case request_setting::coherence:
        return name + " must be True or False";
    case request_setting::zn_interval:
        return name + " must be 'independent' or 'coherent'";
    case request_setting::band:
    case request_setting::slope_band:
        return name + " must be None or a pair (f_lo, f_hi) of frequencies in Hz with 0 <= f_lo <= f_hi";
    case request_setting::stern_geary:
        return name + " must be None or a number of volts from 1e-37 to 1e37";
    case request_setting::area:
        return name + " must be None or a number of cm^2 from 1e-37 to 1e37";
    }
    return name;
}

// The request's problem as a ValueError in the arguments' terms.
[[noreturn]] void refuse(const request_problem& problem, const arguments& a)
{
    const std::string name = argument_name(problem.setting);
    switch (problem.rule) {
    case request_rule::not_a_power_of_two:
        out_of_range("points must be a power of 2 for the configuration estimate", a["points"]);
    case request_rule::hanning_standard:
        throw py::value_error("hanning=True is the configuration estimate's window: with the standard estimate use "
                              "window='hann'");
    case request_rule::needs_mean_average:
        throw py::value_error(name + " needs average='mean'");
    case request_rule::needs_confidence:
        throw py::value_error("zn_interval='coherent' needs a confidence");
    case request_rule::needs_stern_geary:
        throw py::value_error("area needs stern_geary");
    case request_rule::outside_range:
        if (problem.setting == request_setting::window)
            out_of_range(name + " " +
                             window_rule(window_row_of(window_named(std::get<std::string>(problem.value))->kind)),
                         a[name]);
        out_of_range(wanted(problem.setting), a[name]);
    case request_rule::below_least:
        // The count it converted to: a numpy integer shows as the number.
        out_of_range(wanted(problem.setting), py::int_(std::get<std::int64_t>(problem.value)));
    default:
        out_of_range(wanted(problem.setting), a[name]);
    }
}

// The argument of `setting` converted into the request: its own rule checked at once.
void check(const analysis_request& s, request_setting setting, const arguments& a)
{
    if (const std::optional<request_problem> problem = check_setting(s, setting)) refuse(*problem, a);
}

// A band: a pair of real numbers (a tuple, a list, an array).
frequency_band band_of(const py::object& value, const std::string& wanted)
{
    if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) || !PySequence_Check(value.ptr()))
        wrong_type(wanted, value);
    const py::sequence pair = py::reinterpret_borrow<py::sequence>(value);
    if (py::len(pair) != 2) out_of_range(wanted, value);
    return {real_number(pair[0], wanted), real_number(pair[1], wanted)};
}

// A window: its name as the command line writes it ('hann', 'kaiser:8'), or
// scipy's tuple of a name and its parameter (('kaiser', 8.0)).
window_choice window_of(const py::object& value, const std::string& wanted)
{
    std::optional<window_choice> window;
    if (py::isinstance<py::tuple>(value)) {
        const py::tuple pair = py::reinterpret_borrow<py::tuple>(value);
        if (py::len(pair) != 2 || !py::isinstance<py::str>(pair[0])) out_of_range(wanted, value);
        const std::string name = pair[0].cast<std::string>();
        if (name.find(':') == std::string::npos) window = window_named(name);
        if (!window || window_row_of(window->kind).parameter.empty()) out_of_range(wanted, value);
        window->parameter = real_number(pair[1], wanted);
    } else {
        window = window_named(text(value, wanted));
        if (!window) out_of_range(wanted, value);
    }
    return *window;
}

// The request the arguments make, each checked as it is read, then the rules between them.
analysis_request request_from(const arguments& a, bool statistics)
{
    analysis_request s;
    s.nbpoint_section = whole_number(a["points"], wanted(request_setting::points));
    check(s, request_setting::points, a);
    s.all_sections = !given(a["sections"]);
    if (!s.all_sections) {
        s.nb_section = whole_number(a["sections"], wanted(request_setting::sections));
        check(s, request_setting::sections, a);
    }
    const bool hanning = a["hanning"] && flag(a["hanning"], wanted(request_setting::hanning));
    s.hanning = hanning ? 1 : 0;
    const bool windowed = given(a["window"]);
    if (windowed) {
        s.window = window_of(a["window"], wanted(request_setting::window));
        check(s, request_setting::window, a);
    }
    if (a["overlap"]) {
        s.overlap = real_number(a["overlap"], wanted(request_setting::overlap));
        check(s, request_setting::overlap, a);
    }
    if (a["detrend"]) {
        const std::string wanted_mode = "detrend must be 'constant', 'linear' or 'none'";
        const std::optional<detrend_mode> detrending = detrend_named(text(a["detrend"], wanted_mode));
        if (!detrending) out_of_range(wanted_mode, a["detrend"]);
        s.detrend = *detrending;
    }
    if (a["average"]) {
        const std::string wanted_mode = "average must be 'mean' or 'median'";
        const std::optional<average_mode> averaging = average_named(text(a["average"], wanted_mode));
        if (!averaging) out_of_range(wanted_mode, a["average"]);
        s.average = *averaging;
    }
    if (given(a["confidence"])) {
        s.confidence = real_number(a["confidence"], wanted(request_setting::confidence));
        check(s, request_setting::confidence, a);
    }
    s.coherence = a["coherence"] && flag(a["coherence"], wanted(request_setting::coherence));
    s.statistics = statistics;
    if (given(a["zn_interval"])) {
        const std::string wanted_mode = wanted(request_setting::zn_interval);
        const std::optional<zn_interval_mode> mode = zn_interval_named(text(a["zn_interval"], wanted_mode));
        if (!mode) out_of_range(wanted_mode, a["zn_interval"]);
        s.zn_interval = *mode;
    }
    const auto band_argument = [&](request_setting setting, std::optional<frequency_band>& band) {
        const py::object value = a[argument_name(setting)];
        if (!given(value)) return;
        band = band_of(value, wanted(setting));
        check(s, setting, a);
    };
    band_argument(request_setting::band, s.band);
    band_argument(request_setting::slope_band, s.slope_band);
    for (const request_setting setting : {request_setting::stern_geary, request_setting::area}) {
        const py::object value = a[argument_name(setting)];
        if (!given(value)) continue;
        (setting == request_setting::area ? s.area : s.stern_geary) = real_number(value, wanted(setting));
        check(s, setting, a);
    }
    // i_corr_rn needs rn.
    if (s.stern_geary) s.statistics = true;

    s.standard = windowed || s.overlap != 0.0 || s.detrend != detrend_mode::constant || s.average != average_mode::mean;
    if (const std::optional<request_problem> problem = check_request(s)) refuse(*problem, a);
    return s;
}

// The arguments checked in their order, then the estimate.
spectrum_result analyse_arrays(const arguments& a, bool statistics)
{
    const float_array v = samples(a["v"], "v");
    const float_array i = samples(a["i"], "i");
    if (v.size() != i.size())
        throw py::value_error("v and i must have the same length, not " + std::to_string(v.size()) + " and " +
                              std::to_string(i.size()));
    const std::string wanted = "fs must be a number from 1e-37 to 1e37";
    const double fs = real_number(a["fs"], wanted);
    if (!(fs >= 1e-37 && fs <= 1e37)) out_of_range(wanted, a["fs"]);
    const analysis_request s = request_from(a, statistics);
    const sample_view view{fs, static_cast<float>(1.0 / fs),
                           std::span<const float>(v.data(), static_cast<std::size_t>(v.size())),
                           std::span<const float>(i.data(), static_cast<std::size_t>(i.size()))};
    try {
        const py::gil_scoped_release unlocked;
        return analyse(view, "", s, "arrays", core_count());
    } catch (const analysis_error& error) {
        if (!error.problem || error.problem->rule != request_rule::no_bin) throw;
        const std::string name = argument_name(error.problem->setting);
        throw py::value_error(name + "=" + shown(a[name]) + " holds no bin: the bins are " +
                              shown(py::float_(error.problem->bin_spacing)) + " Hz apart");
    }
}

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
void warn_dropped_row(const std::string& path, std::int64_t line)
{
    const std::string message =
        path + ": line " + std::to_string(line) + " has no line end: not read, as a row still being written";
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) != 0) throw py::error_already_set();
}

constexpr parameter path_parameters[] = {{"path", true}};
constexpr parameter read_parameters[] = {{"path", true},       {"input_format", false},  {"v_column", false},
                                         {"i_column", false},  {"time_column", false},   {"fs", false},
                                         {"delimiter", false}, {"decimal_comma", false}, {"skip", false},
                                         {"table", false},     {"v_scale", false},       {"i_scale", false}};

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
        const std::string wanted = "table must be a table's number from 1 (int) or 'all'";
        if (py::isinstance<py::str>(a["table"])) {
            if (a["table"].cast<std::string>() != "all") out_of_range(wanted, a["table"]);
            in.table = 0;
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

// The library words the options as the command line names them; Python
// names them as read()'s keywords.
std::string in_python_terms(std::string message)
{
    static const std::pair<std::string_view, std::string_view> names[] = {{"--v-column", "v_column"},
                                                                          {"--i-column", "i_column"},
                                                                          {"--time-column", "time_column"},
                                                                          {"--fs HZ", "fs"},
                                                                          {"--fs", "fs"},
                                                                          {"--delimiter", "delimiter"},
                                                                          {"--decimal-comma", "decimal_comma"},
                                                                          {"--skip", "skip"},
                                                                          {"--table N", "table=N"},
                                                                          {"--table all", "table='all'"},
                                                                          {"--table", "table"},
                                                                          {"--v-scale", "v_scale"},
                                                                          {"--i-scale", "i_scale"}};
    for (const auto& [option, keyword] : names)
        for (std::size_t at = message.find(option); at != std::string::npos;
             at = message.find(option, at + keyword.size()))
            message.replace(at, option.size(), keyword);
    return message;
}
constexpr parameter spectra_parameters[] = {{"v", true},
                                            {"i", true},
                                            {"fs", true},
                                            {"points", true},
                                            {"sections", false},
                                            {"hanning", false},
                                            {"window", false},
                                            {"overlap", false},
                                            {"detrend", false},
                                            {"average", false},
                                            {"confidence", false},
                                            {"coherence", false},
                                            {"zn_interval", false},
                                            {"band", false},
                                            {"slope_band", false},
                                            {"stern_geary", false},
                                            {"area", false}};
constexpr parameter statistics_parameters[] = {
    {"v", true},        {"i", true},       {"fs", true},       {"points", true},   {"sections", false},
    {"hanning", false}, {"window", false}, {"overlap", false}, {"detrend", false}, {"average", false}};

constexpr parameter blocks_parameters[] = {
    {"source", true},         {"fs", false},         {"points", true},        {"sections", false},
    {"hanning", false},       {"window", false},     {"overlap", false},      {"detrend", false},
    {"average", false},       {"confidence", false}, {"coherence", false},    {"zn_interval", false},
    {"band", false},          {"slope_band", false}, {"stern_geary", false},  {"area", false},
    {"statistics", false},    {"block", false},      {"block_points", false}, {"input_format", false},
    {"v_column", false},      {"i_column", false},   {"time_column", false},  {"delimiter", false},
    {"decimal_comma", false}, {"skip", false},       {"table", false},        {"v_scale", false},
    {"i_scale", false}};

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
    py::dict statistics;
    for (const auto& [key, value] : block.result.statistics) statistics[key.c_str()] = value;
    const bool with_statistics = !block.result.statistics.empty();
    py::object spectra = result_object(std::move(block.result));
    spectra.attr("block") = block.number;
    spectra.attr("start") = block.start;
    spectra.attr("end") = block.end;
    spectra.attr("statistics") = with_statistics ? py::object(statistics) : py::object(py::none());
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
            if (file) {
                const spectrum_result run = file->summary().settings;
                if (run.input.dropped_last_row != 0) warn_dropped_row(run.data_file, run.input.dropped_last_row);
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
    const analysis_request s =
        request_from(a, a["statistics"] && flag(a["statistics"], "statistics must be True or False"));
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

}  // namespace

PYBIND11_MODULE(_veltrin, m)
{
    // The functions bind their arguments themselves: each docstring starts with its Python signature.
    py::options options;
    options.disable_function_signatures();

    m.doc() = "Averaged noise spectra of a voltage v and a current i: the reading and the analysis of the veltrin "
              "program, for numpy.";
    m.attr("__version__") = VELTRIN_VERSION;

    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const analysis_error& error) {
            PyObject* type = PyExc_ValueError;
            switch (error.kind) {
            case error_kind::missing_file:
                type = PyExc_FileNotFoundError;
                break;
            case error_kind::unreadable_file:
            case error_kind::unwritable_file:
                type = PyExc_OSError;
                break;
            case error_kind::out_of_memory:
                type = PyExc_MemoryError;
                break;
            default:
                break;
            }
            // File names are bytes: decoded as os.fsdecode does, so a name that is not UTF-8 still shows.
            std::string message = in_python_terms(error.what());
            if (error.looks_like_utf16) message += " (the file looks like UTF-16 text: save it as UTF-8)";
            const auto text = py::reinterpret_steal<py::object>(
                PyUnicode_DecodeFSDefaultAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
            if (text) PyErr_SetObject(type, text.ptr());
        }
    });

    py::class_<recording, std::shared_ptr<recording>>(m, "Recording", "A recording as the program reads it.")
        .def_readonly("sampling_frequency", &recording::sampling_frequency,
                      "The sampling frequency as written after <sampling_frequency> (Hz).")
        .def_property_readonly(
            "deltat", [](const recording& r) { return static_cast<double>(r.deltat); },
            "The sampling interval 1 / sampling_frequency in single precision (s).")
        .def_readonly("lines", &recording::line_count, "The data block's lines read as data.")
        .def_property_readonly(
            "v",
            [](py::object self) {
                const recording& r = self.cast<const recording&>();
                return py::array_t<float>(static_cast<py::ssize_t>(r.v.size()), r.v.data(), self);
            },
            "The v series (float32), as the program stores it.")
        .def_property_readonly(
            "i",
            [](py::object self) {
                const recording& r = self.cast<const recording&>();
                return py::array_t<float>(static_cast<py::ssize_t>(r.i.size()), r.i.data(), self);
            },
            "The i series (float32), as the program stores it.")
        .def_property_readonly(
            "settings",
            [](const recording& r) {
                py::dict settings;
                const input_description& in = r.input;
                settings["input_format"] = in.format;
                if (!in.v_column.empty()) settings["v_column"] = in.v_column;
                if (!in.i_column.empty()) settings["i_column"] = in.i_column;
                if (in.v_scale) settings["v_scale"] = *in.v_scale;
                if (in.i_scale) settings["i_scale"] = *in.i_scale;
                if (!in.fs_source.empty()) settings["fs_source"] = in.fs_source;
                if (in.table)
                    settings["table"] = *in.table == 0 ? py::object(py::str("all")) : py::object(py::int_(*in.table));
                if (in.dropped_last_row != 0) settings["dropped_last_row"] = 1;
                return settings;
            },
            "How the file was read: input_format and, where used, v_column, i_column, v_scale, i_scale, "
            "fs_source (delimited text: 'time column', 'preamble' or 'option'), table, and dropped_last_row (1 when "
            "a last row without its line end was not read).")
        .def("__repr__",
             [](const recording& r) {
                 return "<veltrin.Recording " + std::to_string(r.v.size()) + " samples at " +
                        py::str(py::float_(r.sampling_frequency)).cast<std::string>() + " Hz>";
             })
        // Recordings travel between processes (multiprocessing, Dask) as their values.
        .def(py::pickle(
            [](const py::object& self) {
                const recording& r = self.cast<const recording&>();
                const input_description& in = r.input;
                const auto scale = [](const std::optional<double>& x) {
                    return x ? py::object(py::float_(*x)) : py::object(py::none());
                };
                const py::object table = in.table ? py::object(py::int_(*in.table)) : py::object(py::none());
                return py::make_tuple(r.sampling_frequency, r.deltat, r.line_count, self.attr("v"), self.attr("i"),
                                      in.format, in.v_column, in.i_column, scale(in.v_scale), scale(in.i_scale),
                                      in.fs_source, table, in.dropped_last_row);
            },
            [](const py::tuple& state) {
                // Ten items: a Recording pickled before the reading said more.
                if (state.size() != 10 && state.size() != 13)
                    throw py::value_error("not the state of a pickled Recording");
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
            }));

    py::class_<spectra_result>(m, "Spectra", py::dynamic_attr(),
                               "Densities and what else was asked, as numpy arrays named like the CSV columns.")
        .def("__repr__",
             [](py::object self) {
                 return "<veltrin.Spectra " + py::str(self.attr("settings")).cast<std::string>() + ">";
             })
        // Everything is in the attributes, which pickle as they are (the arrays bit for bit).
        .def(py::pickle([](const py::object& self) { return py::make_tuple(self.attr("__dict__")); },
                        [](const py::tuple& state) {
                            if (state.size() != 1) throw py::value_error("not the state of a pickled Spectra");
                            return std::make_pair(spectra_result{}, state[0].cast<py::dict>());
                        }));

    m.def(
        "read",
        [](const py::args& args, const py::kwargs& kwargs) {
            const arguments a = bind("read", read_parameters, args, kwargs, 1);
            const std::string path = file_name(a["path"]);
            auto r = read_interruptibly(path, input_of(a));
            if (r->input.dropped_last_row != 0) warn_dropped_row(path, r->input.dropped_last_row);
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

    m.def(
        "spectra",
        [](const py::args& args, const py::kwargs& kwargs) {
            return result_object(analyse_arrays(bind("spectra", spectra_parameters, args, kwargs), false));
        },
        "spectra(v, i, fs, points, sections=None, hanning=False, window=None, overlap=0.0, detrend='constant', "
        "average='mean', confidence=None, coherence=False, zn_interval='independent', band=None, slope_band=None, "
        "stern_geary=None, area=None)\n\n"
        "The averaged one-sided densities of v and i (converted to float32, as the program stores them; every "
        "value must be finite).\n\n"
        "With window=None and overlap, detrend, average at their defaults it is the configuration mode's "
        "estimate (power-of-two points, hanning=True for its Hann window); otherwise the standard estimate, "
        "scipy.signal.welch's definition (window 'hann' when none is named; a window with a parameter as "
        "'kaiser:8' or ('kaiser', 8.0)). Returns a Spectra object with the "
        "columns as numpy arrays (frequency, psd_v, psd_i, zn, and psd_v_low ... zn_high with a confidence, "
        "coherence and phase with coherence=True), settings and nu.\n\n"
        "zn_interval='coherent' gives Zn's interval at each bin's coherence (with a confidence). band, slope_band "
        "(pairs (f_lo, f_hi) in Hz) or stern_geary (B in volts, with area in cm^2) add the dict band: band_low, "
        "band_high, band_bins, psd_v_band, psd_i_band, zn_band (and nu_band, zn_band_low, zn_band_high with a "
        "confidence), slope_band_low, slope_band_high, slope_bins, slope_v, slope_i, slope_v_stderr, "
        "slope_i_stderr, and with stern_geary q, fn, i_corr, i_corr_rn; band is None otherwise.");

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
            return make_blocks(bind("blocks", blocks_parameters, args, kwargs, 2));
        },
        "blocks(source, fs=None, *, points, block=None, block_points=None, statistics=False, sections=None, ...)\n\n"
        "The recording cut into consecutive blocks of block seconds (a number, or a str such as '20min' or '1h', "
        "rounded to whole samples) or of block_points samples, each analysed on its own: an iterator that yields "
        "one Spectra a block as soon as its samples are read, with the attributes block (from 1), start and end "
        "(s from the recording's start) and statistics (a dict with statistics=True, else None). A last, "
        "unfinished block is not analysed. source is a path (read lazily, at most two blocks ahead, with read()'s "
        "keywords; Ctrl-C stops it) or a pair (v, i) of arrays with fs. The estimate's keywords are spectra()'s. "
        "The iterator's settings hold block_points, blocks and dropped_samples.");

    m.def(
        "statistics",
        [](const py::args& args, const py::kwargs& kwargs) {
            const arguments a = bind("statistics", statistics_parameters, args, kwargs);
            py::dict statistics;
            for (const auto& [key, value] : analyse_arrays(a, true).statistics) statistics[key.c_str()] = value;
            return statistics;
        },
        "statistics(v, i, fs, points, sections=None, hanning=False, window=None, overlap=0.0, detrend='constant', "
        "average='mean')\n\n"
        "The time-domain noise statistics of the samples the sections cover, as --stats gives them: v_mean, "
        "v_std, v_rms, v_skewness, v_kurtosis, v_min, v_max, the same for i, rn, localization_index and "
        "rn_sections.");

    m.def(
        "run_config",
        [](const py::args& args, const py::kwargs& kwargs) {
            const std::string name = file_name(bind("run_config", path_parameters, args, kwargs)["path"]);
            config_analysis run;
            {
                const py::gil_scoped_release unlocked;
                run = analyse_config_file(name, name, directory_of(name), core_count());
            }
            return result_object(std::move(run.result));
        },
        "run_config(path)\n\n"
        "Runs the configuration mode on a settings file (relative names inside it taken relative to its "
        "directory) and returns its result without writing anything. The path is a str, bytes or os.PathLike.");
}
