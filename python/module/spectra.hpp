// spectra(), statistics() and run_config(): the request from the arguments, the Spectra result.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "analysis/analysis.hpp"
#include "model/request.hpp"
#include "python/module/arguments.hpp"

namespace veltrin::python {

// A Python object with the result's columns as numpy arrays.
py::object result_object(spectrum_result&& result);
// The request the arguments make, each checked as it is read, then the rules between them.
analysis_request request_from(const arguments& a, bool statistics);

void define_spectra(py::module_& m);

}  // namespace veltrin::python
