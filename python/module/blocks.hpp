// blocks(): a recording in consecutive blocks, yielded as they are read.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

namespace veltrin::python {

namespace py = pybind11;

void define_blocks(py::module_& m);

}  // namespace veltrin::python
