// The Python module veltrin: the program's reading and analysis for numpy.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "analysis.hpp"
#include "analysis_error.hpp"
#include "config_mode.hpp"
#include "platform.hpp"

namespace py = pybind11;

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
    for (auto& [key, value] : settings_of(result)) std::visit([&, k = key](auto& v) { settings[k.c_str()] = v; }, value);
    spectra.attr("settings") = settings;
    spectra.attr("nu") = result.settings.confidence ? py::object(py::float_(result.nu)) : py::object(py::none());
    for (result_column& column : result.columns) spectra.attr(column.name.c_str()) = to_numpy(std::move(column.values));
    return spectra;
}

std::string path_text(const py::object& path)
{
    return py::str(py::module_::import("os").attr("fspath")(path));
}

[[noreturn]] void bad_argument(const std::string& message)
{
    throw py::value_error(message);
}

// The command line's rules for the estimate's arguments.
estimate_settings settings_from(int points, std::optional<int> sections, bool hanning,
                                const std::optional<std::string>& window, double overlap, const std::string& detrend,
                                const std::string& average, std::optional<double> confidence, bool coherence,
                                bool statistics)
{
    estimate_settings s;
    if (points < 2) bad_argument("-n needs a whole number from 2 to 2147483647, not '" + std::to_string(points) + "'");
    if (sections && *sections < 1)
        bad_argument("-s needs a whole number from 1 to 2147483647, not '" + std::to_string(*sections) + "'");
    const std::optional<detrend_mode> detrending = detrend_named(detrend);
    if (!detrending) bad_argument("--detrend needs constant, linear or none, not '" + detrend + "'");
    const std::optional<average_mode> averaging = average_named(average);
    if (!averaging) bad_argument("--average needs mean or median, not '" + average + "'");
    s.detrend = *detrending;
    s.average = *averaging;
    s.standard = window.has_value() || overlap != 0.0 || s.detrend != detrend_mode::constant ||
                 s.average != average_mode::mean;
    if (hanning && s.standard)
        bad_argument("--hanning is the configuration mode's window: with the standard estimate use --window hann");
    s.hanning = hanning ? 1 : 0;
    s.nbpoint_section = points;
    s.nb_section = sections.value_or(0);
    s.all_sections = !sections;
    s.window = window.value_or("hann");
    s.overlap = overlap;
    s.confidence = confidence;
    s.coherence = coherence;
    s.statistics = statistics;
    if (const std::string problem = settings_problem(s); !problem.empty()) bad_argument(problem);
    return s;
}

spectrum_result analyse_arrays(const float_array& v, const float_array& i, double fs, const estimate_settings& s)
{
    if (v.ndim() != 1 || i.ndim() != 1) bad_argument("v and i must be one-dimensional");
    if (v.size() != i.size()) bad_argument("v and i must have the same length");
    if (!(fs >= 1e-37 && fs <= 1e37)) bad_argument("the sampling frequency must be a number from 1e-37 to 1e37");
    const sample_view samples{fs, static_cast<float>(1.0 / fs),
                              std::span<const float>(v.data(), static_cast<std::size_t>(v.size())),
                              std::span<const float>(i.data(), static_cast<std::size_t>(i.size()))};
    const py::gil_scoped_release unlocked;
    return analyse(samples, "", s, "arrays", "the number of sections or the points per section.\n", core_count());
}

}  // namespace

PYBIND11_MODULE(veltrin, m)
{
    m.doc() = "Averaged noise spectra of a voltage v and a current i: the reading and the analysis of the veltrin "
              "program, for numpy.";

    py::register_exception_translator([](std::exception_ptr failure) {
        try {
            if (failure) std::rethrow_exception(failure);
        } catch (const analysis_error& error) {
            const std::string message = one_line_message(error);
            switch (error.kind) {
            case error_kind::missing_file: PyErr_SetString(PyExc_FileNotFoundError, message.c_str()); break;
            case error_kind::unreadable_file:
            case error_kind::unwritable_file: PyErr_SetString(PyExc_OSError, message.c_str()); break;
            case error_kind::out_of_memory: PyErr_SetString(PyExc_MemoryError, message.c_str()); break;
            default: PyErr_SetString(PyExc_ValueError, message.c_str()); break;
            }
        }
    });

    py::class_<recording, std::shared_ptr<recording>>(m, "Recording", "A recording as the program reads it.")
        .def_readonly("sampling_frequency", &recording::sampling_frequency,
                      "The sampling frequency as written after <sampling_frequency> (Hz).")
        .def_property_readonly(
            "deltat", [](const recording& r) { return static_cast<double>(r.deltat); },
            "The sampling interval 1 / sampling_frequency in single precision (s).")
        .def_readonly("lines", &recording::line_count, "The data block's line count, blank lines included.")
        .def_property_readonly(
            "v", [](py::object self) {
                const recording& r = self.cast<const recording&>();
                return py::array_t<float>(static_cast<py::ssize_t>(r.v.size()), r.v.data(), self);
            },
            "The v series (float32), as the program stores it.")
        .def_property_readonly(
            "i", [](py::object self) {
                const recording& r = self.cast<const recording&>();
                return py::array_t<float>(static_cast<py::ssize_t>(r.i.size()), r.i.data(), self);
            },
            "The i series (float32), as the program stores it.")
        .def("__repr__", [](const recording& r) {
            return "<veltrin.Recording " + std::to_string(r.v.size()) + " samples at " +
                   py::str(py::float_(r.sampling_frequency)).cast<std::string>() + " Hz>";
        });

    py::class_<spectra_result>(m, "Spectra", py::dynamic_attr(),
                               "Densities and what else was asked, as numpy arrays named like the CSV columns.")
        .def("__repr__", [](py::object self) {
            return "<veltrin.Spectra " + py::str(self.attr("settings")).cast<std::string>() + ">";
        });

    m.def(
        "read",
        [](const py::object& path) {
            const std::string name = path_text(path);
            auto result = std::make_shared<recording>();
            {
                const py::gil_scoped_release unlocked;
                file_identity identity;
                *result = load_recording(name, name, identity, reading_options{core_count()});
            }
            return result;
        },
        py::arg("path"),
        "Reads a recording (a tagged sample file) with the program's own reader, on all cores, without holding "
        "the GIL.\n\nRaises FileNotFoundError, OSError, or ValueError for a file that gives no series.");

    m.def(
        "spectra",
        [](const float_array& v, const float_array& i, double fs, int points, std::optional<int> sections,
           bool hanning, std::optional<std::string> window, double overlap, const std::string& detrend,
           const std::string& average, std::optional<double> confidence, bool coherence) {
            const estimate_settings s = settings_from(points, sections, hanning, window, overlap, detrend, average,
                                                      confidence, coherence, false);
            return result_object(analyse_arrays(v, i, fs, s));
        },
        py::arg("v"), py::arg("i"), py::arg("fs"), py::arg("points"), py::arg("sections") = py::none(),
        py::arg("hanning") = false, py::arg("window") = py::none(), py::arg("overlap") = 0.0,
        py::arg("detrend") = "constant", py::arg("average") = "mean", py::arg("confidence") = py::none(),
        py::arg("coherence") = false,
        "The averaged one-sided densities of v and i (converted to float32, as the program stores them).\n\n"
        "With window=None and overlap, detrend, average at their defaults it is the configuration mode's "
        "estimate (power-of-two points, hanning=True for its Hann window); otherwise the standard estimate, "
        "scipy.signal.welch's definition (window 'hann' when none is named). Returns a Spectra object with the "
        "columns as numpy arrays (frequency, psd_v, psd_i, zn, and psd_v_low ... zn_high with a confidence, "
        "coherence and phase with coherence=True), settings and nu.");

    m.def(
        "statistics",
        [](const float_array& v, const float_array& i, double fs, int points, std::optional<int> sections,
           bool hanning, std::optional<std::string> window, double overlap, const std::string& detrend,
           const std::string& average) {
            const estimate_settings s = settings_from(points, sections, hanning, window, overlap, detrend, average,
                                                      std::nullopt, false, true);
            py::dict statistics;
            for (const auto& [key, value] : analyse_arrays(v, i, fs, s).statistics) statistics[key.c_str()] = value;
            return statistics;
        },
        py::arg("v"), py::arg("i"), py::arg("fs"), py::arg("points"), py::arg("sections") = py::none(),
        py::arg("hanning") = false, py::arg("window") = py::none(), py::arg("overlap") = 0.0,
        py::arg("detrend") = "constant", py::arg("average") = "mean",
        "The time-domain noise statistics of the samples the sections cover, as --stats gives them: v_mean, "
        "v_std, v_rms, v_skewness, v_kurtosis, v_min, v_max, the same for i, rn, localization_index and "
        "rn_sections.");

    m.def(
        "run_config",
        [](const py::object& path) {
            const std::string name = path_text(path);
            config_analysis run;
            {
                const py::gil_scoped_release unlocked;
                run = analyse_config_file(name, name, directory_of(name), core_count());
            }
            return result_object(std::move(run.result));
        },
        py::arg("path"),
        "Runs the configuration mode on a settings file (relative names inside it taken relative to its "
        "directory) and returns its result without writing anything.");
}
