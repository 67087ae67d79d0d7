// Python arguments bound and converted as Python would, each message naming the argument.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/settings.hpp"

namespace veltrin::python {

namespace py = pybind11;

using float_array = py::array_t<float, py::array::c_style | py::array::forcecast>;

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

// Python's own binding rules and messages; the parameters after the first `positional` are keyword-only.
arguments bind_arguments(const char* function, std::span<const parameter> parameters, const py::args& args,
                         const py::kwargs& kwargs, std::size_t positional = SIZE_MAX);
// A function's parameters: its own first, then the settings it takes.
std::vector<parameter> parameters_of(std::initializer_list<parameter> leading, python_function function);

// An argument's type and its value as messages show them.
std::string type_of(const py::handle& value);
std::string shown(const py::handle& value);
// "WANTED, not ...": a TypeError, or a ValueError for a value of the right type.
[[noreturn]] void wrong_type(const std::string& wanted, const py::handle& value);
[[noreturn]] void out_of_range(const std::string& wanted, const py::handle& value);

// Given and not None.
bool given(const py::object& value);
// The conversions, each refusing with the message `wanted`.
int whole_number(const py::object& value, const std::string& wanted);
double real_number(const py::object& value, const std::string& wanted);
bool flag(const py::object& value, const std::string& wanted);
std::string text(const py::object& value, const std::string& wanted);
// A path as str, bytes or os.PathLike, as the bytes the system opens.
std::string file_name(const py::object& path);
// A series of samples as float32, every value finite.
float_array samples(const py::object& value, const char* name);

}  // namespace veltrin::python
