// What a column's header name tells: the quantity it is known to hold (v,
// i or the time), how surely, and its unit.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/problem.hpp"

namespace veltrin {

// A header name cut into its name and its unit: "E (mV vs. SCE)" is E in
// "mV vs. SCE", "Ewe/V" is Ewe in "V", "I [uA]" is I in "uA".
struct name_and_unit {
    std::string_view name;
    std::optional<std::string_view> unit;  // nullopt when the name gives none
};
name_and_unit split_header_name(std::string_view header_name);

// A unit as the program reads it: a prefix p n µ μ u m k before V, A or s,
// or sec, min, h; a reference electrode after it ("mV vs. SCE") is left out.
struct unit_reading {
    quantity of;
    double scale;  // to volts, amperes or seconds
};
std::optional<unit_reading> read_unit(std::string_view unit);

// How surely a header name is the column of q when the user chooses none:
// 0 not at all; 1 its usual names (the working electrode's potential,
// the measured current); 2 their averages over each point; weak_rank the
// names of other electrodes and differences, never taken by themselves.
inline constexpr int weak_rank = 3;
int name_rank(std::string_view header_name, quantity q);

// Text for a message: valid UTF-8 as it is; otherwise each byte from 0x80
// read as Latin-1. Control characters become \xHH.
std::string message_text(std::string_view text);

}  // namespace veltrin
