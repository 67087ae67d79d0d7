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
#include "python/module/blocks.hpp"
#include "python/module/reading.hpp"
#include "python/module/spectra.hpp"

using namespace veltrin;
using namespace veltrin::python;

namespace py = pybind11;

PYBIND11_MODULE(_veltrin, m)
{
    // The functions bind their arguments themselves: each docstring starts with its Python signature.
    py::options options;
    options.disable_function_signatures();

    m.doc() = "Averaged noise spectra of a voltage v and a current i: the reading and the analysis of the veltrin "
              "program, for numpy.";
    m.attr("__version__") = VELTRIN_VERSION;
    // The settings table, for the tests that hold the documentation to it.
    m.def("_settings", [] {
        py::list rows;
        for (const setting_row& row : settings_table())
            rows.append(py::dict(py::arg("option") = row.long_name, py::arg("short") = std::string(1, row.short_name),
                                 py::arg("keyword") = row.keyword, py::arg("standard") = row.selects_standard,
                                 py::arg("spectra") = (row.python & python_spectra) != 0,
                                 py::arg("read") = (row.python & python_read) != 0,
                                 py::arg("blocks") = (row.python & python_blocks) != 0));
        return rows;
    });

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
            std::string message = one_line_message(error, python_names);
            if (error.looks_like_utf16) message += " (the file looks like UTF-16 text: save it as UTF-8)";
            const auto text = py::reinterpret_steal<py::object>(
                PyUnicode_DecodeFSDefaultAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
            if (text) PyErr_SetObject(type, text.ptr());
        }
    });

    define_reading(m);
    define_spectra(m);
    define_blocks(m);
}
