// Binding and converting the arguments of the module's functions.
#include "python/module/arguments.hpp"

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

namespace veltrin::python {

namespace py = pybind11;
using namespace std::chrono_literals;
using namespace pybind11::literals;

// Python's own binding rules and messages: pybind11's would print every
// signature and every argument (whole arrays) for one misspelt keyword.
// The parameters after the first `positional` are keyword-only.
arguments bind_arguments(const char* function, std::span<const parameter> parameters, const py::args& args,
                         const py::kwargs& kwargs, std::size_t positional)
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

// A function's parameters: its own first, then the settings it takes in the
// table's order, those that are keyword-only at the end.
std::vector<parameter> parameters_of(std::initializer_list<parameter> leading, python_function function)
{
    std::vector<parameter> list(leading);
    for (const bool keyword_only : {false, true})
        for (const setting_row& row : settings_table())
            if ((row.python & function) != 0 && row.keyword_only == keyword_only)
                list.push_back({row.keyword.data(), row.id == setting_id::points});
    return list;
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

}  // namespace veltrin::python
