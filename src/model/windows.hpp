// The standard estimate's windows: one row each, by scipy's names, with the
// parameter a window takes and its range. Their weights are in
// estimates/window_functions.cpp, a case each of a switch over window_kind.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace veltrin {

enum class window_kind {
    hann,
    hamming,
    blackman,
    blackmanharris,
    flattop,
    bartlett,
    boxcar,
    kaiser,
    tukey,
    gaussian,
    general_hamming
};

// A window as asked: its kind and, for a window that takes one, its parameter.
struct window_choice {
    window_kind kind = window_kind::hann;
    double parameter = 0.0;  // 0 for a window without one
    friend bool operator==(const window_choice&, const window_choice&) = default;
};

struct window_row {
    window_kind kind;
    std::string_view name;            // scipy's, and the options'
    std::string_view parameter = {};  // as the options write it (kaiser:BETA); empty when the window takes none
    double least = 0.0;               // the parameter's range, both ends included
    double most = 0.0;
};

// The windows in the order the messages list them.
// Kaiser's beta ends at 400: the weights agree with scipy's to 1e-15 up to
// there (I0 by its series, see window_functions.cpp). Gaussian's STD starts
// at 0.1: below, the periodic window of an odd length can be all zeros.
inline constexpr window_row window_rows[] = {
    {window_kind::hann, "hann"},
    {window_kind::hamming, "hamming"},
    {window_kind::blackman, "blackman"},
    {window_kind::blackmanharris, "blackmanharris"},
    {window_kind::flattop, "flattop"},
    {window_kind::bartlett, "bartlett"},
    {window_kind::boxcar, "boxcar"},
    {window_kind::kaiser, "kaiser", "BETA", 0.0, 400.0},
    {window_kind::tukey, "tukey", "ALPHA", 0.0, 1.0},
    {window_kind::gaussian, "gaussian", "STD", 0.1, std::numeric_limits<double>::infinity()},
    {window_kind::general_hamming, "general_hamming", "ALPHA", 0.0, 1.0},
};

const window_row& window_row_of(window_kind kind);

// The window a text names: "hann", or "kaiser:8" for a window that takes a
// parameter (a number as from_chars reads it). Nothing for a name not in
// the table, or a parameter given to a window that takes none. A missing
// parameter, or one that is not a number, is NaN, which its range refuses.
std::optional<window_choice> window_named(std::string_view text);

// The window as the options write it: "hann", "kaiser:8" (the parameter in its shortest form).
std::string window_text(const window_choice& window);

// Whether the window's parameter is in its range (a window without one: always).
bool valid_window(const window_choice& window);

// The windows listed for a message: "hann, hamming, ..., boxcar, kaiser:BETA, ... or general_hamming:ALPHA".
std::string window_list();

// The range of a window's parameter: "from 0 to 400", "of at least 0.1".
std::string parameter_range(const window_row& row);

// The rule of a window's parameter for a message: "kaiser:BETA needs a number
// BETA from 0 to 400", "gaussian:STD needs a number STD of at least 0.1".
std::string window_rule(const window_row& row);

}  // namespace veltrin
