// read() and the Recording: the reading keywords, a reading that Ctrl-C stops.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <string>

#include "front_ends/messages.hpp"
#include "model/input_request.hpp"
#include "model/recording.hpp"
#include "python/module/arguments.hpp"

namespace veltrin::python {

// Reads in a thread of its own so that Ctrl-C is answered at once.
std::shared_ptr<recording> read_interruptibly(const std::string& name, const input_request& input);
// A last row without its line end was still being written: said as a warning.
void warn_dropped_row(const std::string& path, std::int64_t line, int stack_level);
// What read()'s keywords say about the file.
input_request input_of(const arguments& a);
// How Python's messages name a setting: by its keyword.
extern const setting_names python_names;

void define_reading(py::module_& m);

}  // namespace veltrin::python
