// spectra(), statistics() and run_config(), and the Spectra result.
#include "python/module/spectra.hpp"

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
#include "python/module/reading.hpp"

namespace veltrin::python {

namespace py = pybind11;
using namespace std::chrono_literals;
using namespace pybind11::literals;

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
    py::object statistics = py::none();
    if (!result.statistics.empty()) {
        py::dict values;
        for (const auto& [key, value] : result.statistics) values[key.c_str()] = value;
        statistics = values;
    }
    spectra.attr("statistics") = statistics;
    return spectra;
}

// Each setting by its argument's name, and what that argument must be.
std::string argument_name(setting_id setting)
{
    return std::string(row_of(setting).keyword);
}

std::string wanted(setting_id setting)
{
    const auto count = [](std::int32_t least) {
        return "a whole number from " + std::to_string(least) + " to " + std::to_string(most_count);
    };
    const std::string name = argument_name(setting);
    switch (setting) {  // NOLINT(clang-diagnostic-switch-enum): the settings of a request alone
    case setting_id::points:
        return name + " must be " + count(least_points);
    case setting_id::sections:
        return name + " must be None or " + count(least_sections);
    case setting_id::window:
        return name + " must be None or one of " + window_list();
    case setting_id::overlap:
        return name + " must be a number at least 0 and less than 1";
    case setting_id::confidence:
        return name + " must be None or a number more than 0 and less than 1";
    case setting_id::hanning:
    case setting_id::coherence:
        return name + " must be True or False";
    case setting_id::zn_interval:
        return name + " must be 'independent' or 'coherent'";
    case setting_id::band:
    case setting_id::slope_band:
        return name + " must be None or a pair (f_lo, f_hi) of frequencies in Hz with 0 <= f_lo <= f_hi";
    case setting_id::stern_geary:
        return name + " must be None or a number of volts from 1e-37 to 1e37";
    case setting_id::area:
        return name + " must be None or a number of cm^2 from 1e-37 to 1e37";
    case setting_id::electrodes:
        return name + " must be 1 or 2";
    default:
        return name;
    }
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
        if (problem.setting == setting_id::window)
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
void check(const analysis_request& s, setting_id setting, const arguments& a)
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
    s.nbpoint_section = whole_number(a["points"], wanted(setting_id::points));
    check(s, setting_id::points, a);
    s.all_sections = !given(a["sections"]);
    if (!s.all_sections) {
        s.nb_section = whole_number(a["sections"], wanted(setting_id::sections));
        check(s, setting_id::sections, a);
    }
    const bool hanning = a["hanning"] && flag(a["hanning"], wanted(setting_id::hanning));
    s.hanning = hanning ? 1 : 0;
    if (given(a["window"])) {
        s.window = window_of(a["window"], wanted(setting_id::window));
        check(s, setting_id::window, a);
    }
    if (given(a["overlap"])) {
        s.overlap = real_number(a["overlap"], wanted(setting_id::overlap));
        check(s, setting_id::overlap, a);
    }
    if (given(a["detrend"])) {
        const std::string wanted_mode = "detrend must be 'constant', 'linear' or 'none'";
        const std::optional<detrend_mode> detrending = detrend_named(text(a["detrend"], wanted_mode));
        if (!detrending) out_of_range(wanted_mode, a["detrend"]);
        s.detrend = *detrending;
    }
    if (given(a["average"])) {
        const std::string wanted_mode = "average must be 'mean' or 'median'";
        const std::optional<average_mode> averaging = average_named(text(a["average"], wanted_mode));
        if (!averaging) out_of_range(wanted_mode, a["average"]);
        s.average = *averaging;
    }
    if (given(a["confidence"])) {
        s.confidence = real_number(a["confidence"], wanted(setting_id::confidence));
        check(s, setting_id::confidence, a);
    }
    s.coherence = a["coherence"] && flag(a["coherence"], wanted(setting_id::coherence));
    s.statistics = statistics || (given(a["statistics"]) && flag(a["statistics"], "statistics must be True or False"));
    if (given(a["zn_interval"])) {
        const std::string wanted_mode = wanted(setting_id::zn_interval);
        const std::optional<zn_interval_mode> mode = zn_interval_named(text(a["zn_interval"], wanted_mode));
        if (!mode) out_of_range(wanted_mode, a["zn_interval"]);
        s.zn_interval = *mode;
    }
    const auto band_argument = [&](setting_id setting, std::optional<frequency_band>& band) {
        const py::object value = a[argument_name(setting)];
        if (!given(value)) return;
        band = band_of(value, wanted(setting));
        check(s, setting, a);
    };
    band_argument(setting_id::band, s.band);
    band_argument(setting_id::slope_band, s.slope_band);
    if (given(a["electrodes"])) {
        s.electrodes = whole_number(a["electrodes"], wanted(setting_id::electrodes));
        check(s, setting_id::electrodes, a);
    }
    for (const setting_id setting : {setting_id::stern_geary, setting_id::area}) {
        const py::object value = a[argument_name(setting)];
        if (!given(value)) continue;
        (setting == setting_id::area ? s.area : s.stern_geary) = real_number(value, wanted(setting));
        check(s, setting, a);
    }
    // As on the command line: a standard setting passed, at any value, selects the standard estimate.
    setting_set passed;
    for (const setting_row& row : settings_table())
        if (row.selects_standard && given(a[row.keyword])) add(passed, row.id);
    s.standard = selects_standard(passed);
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

constexpr parameter path_parameters[] = {{"path", true}};
const std::vector<parameter> spectra_parameters =
    parameters_of({{"v", true}, {"i", true}, {"fs", true}}, python_spectra);
const std::vector<parameter> statistics_parameters =
    parameters_of({{"v", true}, {"i", true}, {"fs", true}}, python_statistics);

void define_spectra(py::module_& m)
{
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
        "spectra",
        [](const py::args& args, const py::kwargs& kwargs) {
            return result_object(analyse_arrays(bind_arguments("spectra", spectra_parameters, args, kwargs), false));
        },
        "spectra(v, i, fs, points, sections=None, hanning=False, window=None, overlap=None, detrend=None, "
        "average=None, confidence=None, coherence=False, zn_interval='independent', band=None, slope_band=None, "
        "stern_geary=None, area=None, electrodes=2, *, statistics=False)\n\n"
        "The averaged one-sided densities of v and i (converted to float32, as the program stores them; every "
        "value must be finite).\n\n"
        "Without window, overlap, detrend and average (all None) it is the configuration mode's estimate "
        "(power-of-two points, hanning=True for its Hann window); any of them passed, at any value, selects the "
        "standard estimate, scipy.signal.welch's definition (window 'hann', overlap 0, detrend 'constant', average "
        "'mean' when not passed), as on the command line; a window with a parameter as 'kaiser:8' or "
        "('kaiser', 8.0). Returns a Spectra object with the "
        "columns as numpy arrays (frequency, psd_v, psd_i, zn, and psd_v_low ... zn_high with a confidence, "
        "coherence and phase with coherence=True), settings and nu.\n\n"
        "zn_interval='coherent' gives Zn's interval at each bin's coherence (with a confidence). band, slope_band "
        "(pairs (f_lo, f_hi) in Hz) or stern_geary (B in volts, with area in cm^2) add the dict band: band_low, "
        "band_high, band_bins, psd_v_band, psd_i_band, zn_band (and nu_band, zn_band_low, zn_band_high with a "
        "confidence), slope_band_low, slope_band_high, slope_bins, slope_v, slope_i, slope_v_stderr, "
        "slope_i_stderr, and with stern_geary q, fn (for electrodes=2 identical electrodes, or 1), i_corr (and "
        "i_corr_rn with "
        "statistics=True); band is None "
        "otherwise. statistics=True adds the dict statistics (as --stats), else it is None.");

    m.def(
        "statistics",
        [](const py::args& args, const py::kwargs& kwargs) {
            const arguments a = bind_arguments("statistics", statistics_parameters, args, kwargs);
            py::dict statistics;
            for (const auto& [key, value] : analyse_arrays(a, true).statistics) statistics[key.c_str()] = value;
            return statistics;
        },
        "statistics(v, i, fs, points, sections=None, hanning=False, window=None, overlap=None, detrend=None, "
        "average=None)\n\n"
        "The time-domain noise statistics of the samples the sections cover, as --stats gives them: v_mean, "
        "v_std, v_rms, v_skewness, v_kurtosis, v_min, v_max, the same for i, rn, localization_index and "
        "rn_sections.");

    m.def(
        "run_config",
        [](const py::args& args, const py::kwargs& kwargs) {
            const std::string name = file_name(bind_arguments("run_config", path_parameters, args, kwargs)["path"]);
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

}  // namespace veltrin::python
