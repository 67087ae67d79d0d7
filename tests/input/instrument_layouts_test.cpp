// Instrument and spreadsheet layouts through the delimited reading: units,
// ranks, several tables, a preamble's frequency, every stop; the formats' table.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "front_ends/messages.hpp"
#include "input/reading.hpp"
#include "model/error.hpp"
#include "test_files.hpp"
#include "delimited_cases.hpp"

using namespace veltrin;
using namespace delimited_tests;

// Instrument and spreadsheet layouts: units however the columns are chosen,
// the ranks of the known names, several tables, a preamble's frequency.
TEST(delimited_reading, reads_instrument_layouts_with_their_units_and_tables)
{
    const auto with = [](std::optional<std::string> v, std::optional<std::string> i,
                         const std::function<void(input_request&)>& more = {}) {
        return delimited([&](input_request& in) {
            in.v_column = v;
            in.i_column = i;
            if (more) more(in);
        });
    };
    const std::string ma = "time/s,Ewe/V,I/mA\n0,1,2\n0.5,3,4\n";
    const std::string scaled = "fs 2: 1,0.00200000009 3,0.00400000019";
    const auto gamry_table = [](int n, int first) {
        std::string text = "CURVE";
        text.append(std::to_string(n)).append("\tTABLE\t2\n\tPt\tT\tVf\tIm\tOver\n\t#\ts\tV vs. Ref.\tmA\tbits\n");
        for (int k = first; k < first + 2; ++k) {
            const std::string number = std::to_string(k);
            text.append("\t").append(number).append("\t").append(number).append("\t").append(number).append(
                "\t1\t..........a\n");
        }
        return text;
    };
    const std::string gamry = "EXPLAIN\nTAG\tCORPOT\n" + gamry_table(1, 0) + gamry_table(2, 2);
    std::string second_in_amperes = gamry_table(2, 2);
    second_in_amperes.replace(second_in_amperes.find("\tmA\t"), 4, "\tA\t");
    const auto given_scales = [](input_request& in) {
        in.v_column = "2";
        in.i_column = "3";
        in.v_scale = 1e-3;
        in.i_scale = 1e-6;
        fs_10(in);
    };
    const reading_case cases[] = {
        {"numbered, --fs", ma, with("2", "3", fs_10), "fs 10: 1,0.00200000009 3,0.00400000019"},
        {"numbered, time numbered", ma, with("2", "3", [](input_request& in) { in.time_column = "1"; }), scaled},
        {"numbered, time named", ma, with("2", "3", [](input_request& in) { in.time_column = "time/s"; }), scaled},
        {"time in ms by number", "Time (ms),E,I\n0,1,2\n500,3,4\n",
         with("2", "3", [](input_request& in) { in.time_column = "1"; }), "fs 2: 1,2 3,4"},
        {"units row", "Time;E;I\nms;mV;uA\n0;1;2\n500;3;4\n", delimited(),
         "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"numbered, units row", "Time;E;I\nms;mV;uA\n0;1;2\n500;3;4\n",
         with("2", "3", [](input_request& in) { in.time_column = "1"; }),
         "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"a delimiter at each line's end, CR LF", "t,v,i,\r\n0,1,2,\r\n0.5,3,4,\r\n", delimited(), "fs 2: 1,2 3,4"},
        {"reference electrode, Greek mu, kA, nA",
         "Time (s),E (mV vs. SCE),I (\xCE\xBC"
         "A),J/kA,K/nA\n0,1,2,3,4\n0.5,3,4,5,6\n",
         delimited(), "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"kA", "t,v,I/kA\n0,1,2\n0.5,3,4\n", delimited(), "fs 2: 1,2000 3,4000"},
        {"nA", "t,v,I/nA\n0,1,2\n0.5,3,4\n", delimited(), "fs 2: 1,1.99999994e-09 3,3.99999989e-09"},
        {"the working electrode before a difference", "time/s\tEwe-Ece/V\t<Ewe>/V\t<I>/mA\n0\t9\t1\t2\n0.5\t9\t3\t4\n",
         delimited(), scaled},
        {"an instant value before an average", "t\t<Ewe>/V\tEwe/V\t<I>/mA\tI/A\n0\t9\t1\t9\t2\n0.5\t9\t3\t9\t4\n",
         delimited(), "fs 2: 1,2 3,4"},
        {"a blank line under the header", "t,v,i\n\n0,1,2\n\n0.5,3,4\n", delimited(), "fs 2: 1,2 3,4"},
        {"CR CR LF", "t,v,i\r\r\n0,1,2\r\r\n0.5,3,4\r\r\n", delimited(), "fs 2: 1,2 3,4"},
        {"numbered columns beside a text column", "2026-12-09 10:00,1,2\n2026-12-09 10:01,3,4\n", with("2", "3", fs_10),
         "fs 10: 1,2 3,4"},
        {"a last row being written", "t,v,i\n0,1,2\n0.5,3,4\n1,5,6e", delimited(), "fs 2: 1,2 3,4"},
        {"a last row being written, well formed", "t,v,i\n0,1,2\n0.5,3,4\n1,5,6", delimited(), "fs 2: 1,2 3,4"},
        {"Nb header lines: the header is that line", "EC\nNb header lines : 4\nv\ti\tt\nt\tv\ti\n0\t1\t2\n0.5\t3\t4\n",
         delimited(), "fs 2: 1,2 3,4"},
        {"a spreadsheet's quoted empty cell in a column not read", "t,v,i,x\n0,1,2,\"\"\n0.5,3,4,\"\"\n", delimited(),
         "fs 2: 1,2 3,4"},
        {"Gamry, second table", gamry, delimited([](input_request& in) { in.table = 2; }),
         "fs 1: 2,0.00100000005 3,0.00100000005"},
        {"Gamry, tables joined", gamry, delimited([](input_request& in) { in.table = 0; }),
         "fs 1: 0,0.00100000005 1,0.00100000005 2,0.00100000005 3,0.00100000005"},
        {"Gamry fast acquisition: FREQ",
         "FREQ\tQUANT\t1.50000E+1\tAcquisition Frequency "
         "(Hz)\nCURVE\tTABLE\n\tPt\tVoltage\tCurrent\n\t#\tV\tA\n\t0\t1\t2\n",
         delimited(), "fs 15: 1,2"},
        {"CHI: Sample Interval (s)",
         "Amperometric\nSample Interval (s) = 0.25\n\nPotential/V, Current/A\n\n1, 2\n3, 4\n", delimited(),
         "fs 4: 1,2 3,4"},
        {"CHI: a sweep", "Scan Rate (V/s) = 0.1\nSample Interval (V) = 0.001\nPotential/V, Current/A\n\n1, 2\n",
         delimited(), "fs 100: 1,2"},
        {"--fs over a preamble", "Sample Interval (s) = 0.25\nPotential/V, Current/A\n1, 2\n", delimited(fs_10),
         "fs 10: 1,2"},
        {"a units row after the point number's #", "Pt\tT\tVf\tIm\n#\tms\tmV vs. Ref.\tmA\n0\t0\t1\t2\n1\t500\t3\t4\n",
         delimited(), "fs 2: 0.00100000005,0.00200000009 0.00300000003,0.00400000019"},
        {"the second table's own units row", "EXPLAIN\n" + gamry_table(1, 0) + second_in_amperes,
         delimited([](input_request& in) { in.table = 2; }), "fs 1: 2,1 3,1"},
        {"the second table's header in other units", "t/s,E/V,I/mA\n0,1,2\n1,3,4\nt/s,E/V,I/uA\n2,5,6\n3,7,8\n",
         delimited([](input_request& in) { in.table = 2; }), "fs 1: 5,6.00000021e-06 7,7.99999998e-06"},
        {"an empty last column the header names", "t,v,i,Note\n0,1,2,\n0.5,3,4,\n", delimited(), "fs 2: 1,2 3,4"},
        {"units in brackets in the units row", "Time;E;I\n(ms);[mV];(uA)\n0;1;2\n500;3;4\n", delimited(),
         "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"a statement above numbered columns", "Sample Interval (s) = 0.5\n1 2\n3 4\n",
         delimited([](input_request& in) {
             in.v_column = "1";
             in.i_column = "2";
         }),
         "fs 2: 1,2 3,4"},
        {"units above numbered columns, the scales given", "Time (ms)  E (mV)  I (uA)\n0 1 2\n0.5 3 4\n",
         delimited(given_scales), "fs 10: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"a preamble's frequency in kHz",
         "FREQ\tQUANT\t1.5E-2\tAcquisition Frequency "
         "(kHz)\nCURVE\tTABLE\n\tPt\tVoltage\tCurrent\n\t#\tV\tA\n\t0\t1\t2\n",
         delimited(), "fs 15: 1,2"},
        {"an interval in ms", "Sample Interval (ms) = 250\nPotential/V, Current/A\n1, 2\n", delimited(), "fs 4: 1,2"},
        {"a scan rate in mV/s", "Scan Rate (mV/s) = 100\nSample Interval (mV) = 1\nPotential/V, Current/A\n1, 2\n",
         delimited(), "fs 100: 1,2"},
        {"a frequency and an interval that agree",
         "FREQ\tQUANT\t1.50000E+1\tAcquisition Frequency (Hz)\nSample Interval (s) = 6.66667E-2\n"
         "Potential/V, Current/A\n1, 2\n",
         delimited(), "fs 15: 1,2"},
        {"units alone over the rows", "ms,mV,uA\n0,1,2\n500,3,4\n",
         with("2", "3", [](input_request& in) { in.time_column = "1"; }),
         "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"a key and its value above the rows", "Serial\t12345\n1\t2\n3\t4\n", with("1", "2", fs_10), "fs 10: 1,2 3,4"},
        {"a comma above rows cut by blanks", "Sample: steel, NaCl\n0 1 2\n1 3 4\n", with("2", "3", fs_10),
         "fs 10: 1,2 3,4"},
        {"a units row ending in its empty cell", "t/s,E/V,I/A\ns,V,\n0,1,2\n0.5,3,4\n", delimited(), "fs 2: 1,2 3,4"},
        {"units as a comment under a header cut by blanks", "Pt T Vf Im\n# s mV uA\n0 0 1 2\n1 0.5 3 4\n", delimited(),
         "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"a line of text under the header", "t,v,i\nData:\n0,1,2\n0.5,3,4\n", delimited(), "fs 2: 1,2 3,4"},
        {"a statement with a decimal comma, in lower case", "sample interval (s) = 0,25\nE;I\n1;2\n", delimited(),
         "fs 4: 1,2"},
        {"steps of whole milliseconds", "Time/ms,E,I\n0,1,2\n100,3,4\n200,5,6\n300,7,8\n", delimited(),
         "fs 10: 1,2 3,4 5,6 7,8"},
        {"times in ms far from 0", "Time (ms),E,I\n1700000000000,1,2\n1700000000001,3,4\n1700000000002,5,6\n",
         delimited(), "fs 1000: 1,2 3,4 5,6"},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome_of(c.content, c.in), c.expected) << c.name;
}

TEST(delimited_reading, stops_at_every_row_or_name_it_cannot_take_for_sure)
{
    std::string tail_nan = "time,v,i\n";
    for (int k = 0; k < 8; ++k) tail_nan += std::to_string(k) + "," + (k < 6 ? "1" : "NaN") + ",2\n";
    const std::string two_tables = "t,v,i\n0,1,2\n1,3,4\nt,v,i\n2,5,6\n3,7,8\n";
    const input_request numbered_with_time = delimited([](input_request& in) {
        in.v_column = "2";
        in.i_column = "3";
        in.time_column = "1";
    });
    const struct {
        std::string content;
        input_request in;
        std::string expected;
    } cases[] = {
        {tail_nan, delimited(), "Fatal error: line 8: the v column (v) holds 'NaN', which is not a number."},
        {"time,v,i\n0,1,2\nnan,3,4\n1,5,6\n", delimited(),
         "Fatal error: line 3: the time column (time) holds 'nan', which is not a number."},
        {"time,v,i\n\"999.0\",1,2\n\"1,000.0\",3,4\n", delimited(),
         "Fatal error: line 3: the time column (time) holds '1,000.0', which is not a number; thousands separators are "
         "not "
         "read: write the numbers without them."},
        {"time,v,i\n0,1,2\n\"1,00,000\",3,4\n", delimited(),
         "Fatal error: line 3: the time column (time) holds '1,00,000', which is not a number."},
        {"t;v;i\n0;1;2\n0,5;3;4\n", delimited(),
         "Fatal error: line 3: the time column (t) holds '0,5', which is not a number; "
         "for decimal commas, give --decimal-comma."},
        {"t,v,i\n0,\"\",2\n", delimited(fs_10), "Fatal error: line 2: the v column (v) is empty."},
        {"v,i\n-0,2499,-8,6968e-08\n", delimited(fs_10),
         "Fatal error: line 2 has 4 fields; the header row (line 1) has 2."},
        {"t,v,i\n0,1,2\n,0.5,3,4\n", delimited(), "Fatal error: line 3 has 4 fields; the header row (line 1) has 3."},
        {"1,2\n3,4,5\n", delimited([](input_request& in) {
             in.v_column = "1";
             in.i_column = "2";
             fs_10(in);
         }),
         "Fatal error: line 2 has 3 fields; the first row (line 1) has 2."},
        {"NaN,2\n3,4\n", delimited([](input_request& in) {
             in.v_column = "1";
             in.i_column = "2";
             fs_10(in);
         }),
         "Fatal error: line 1: the v column (column 1) holds 'NaN', which is not a number."},
        {"t,v,i\n0,1,2\n#N/A,3,4\n", delimited(),
         "Fatal error: line 3: the time column (t) holds '#N/A', which is not a number."},
        {"t,v,i\n0,1,2\n0.5,3,4\n1,5,6e\n", delimited(),
         "Fatal error: line 4: the i column (i) holds '6e', which is not a number."},
        {"t,E,I (mA/cm2)\n0,1,2\n", delimited(),
         "options: the i column (I (mA/cm2)) is in 'mA/cm2', a unit the program does not know: give --i-scale (the "
         "factor "
         "to amperes) to read it anyway"},
        {"t;E;I\ns;V;Ohm\n0;1;2\n", delimited(),
         "options: the i column (I), by the units row (line 2), is in 'Ohm', a unit the program does not know: give "
         "--i-scale (the factor to amperes) to read it anyway"},
        {"t,E (\xB5V),I (V)\xE9\x9B\n0,1,2\n", delimited(),
         "options: the header row (line 1) has no i column by a name the program knows; its names are \"t\", "
         "\"E (\xC2\xB5V)\", \"I (V)\xC3\xA9\\x9B\"; choose the i column with --i-column (a name, or a number from 1)"},
        {"time/s\tEwe-Ece/V\t<I>/mA\n0\t1\t2\n", delimited(),
         "options: the header row (line 1) has no v column that the program takes by itself, only \"Ewe-Ece/V\" "
         "(column "
         "2); choose the v column with --v-column (a name, or a number from 1)"},
        {"t,E/V,Ewe/V,I/A\n0,1,2,3\n", delimited(),
         "options: the header row (line 1) has several v columns: \"E/V\" (column 2), \"Ewe/V\" (column 3); choose the "
         "v "
         "column with --v-column (a name, or a number from 1)"},
        {"t,v,v,i\n0,1,2,3\n", delimited([](input_request& in) { in.v_column = "v"; }),
         "options: the header row (line 1) has 2 columns named \"v\": \"v\" (column 2), \"v\" (column 3); choose one "
         "with "
         "--v-column by its number"},
        {"\tPt\tT\tVf\tVm\tOver\n\t#\ts\tV vs. Ref.\tV\tbits\n\t0\t0\t1\t2\t..........a\n", delimited(),
         "options: the header row (line 1) has no i column by a name the program knows; its names are \"\", \"Pt\", "
         "\"T\", "
         "\"Vf\", \"Vm\", \"Over\"; choose the i column with --i-column (a name, or a number from 1)"},
        {"t,v,i\n0,1,2\n", delimited([](input_request& in) {
             in.v_column = "4";
             in.i_column = "3";
         }),
         "options: --v-column 4: the table has 3 columns"},
        {two_tables, delimited(),
         "options: the file holds 2 tables, their header rows on lines 1 and 4: choose one with --table N, or join "
         "them "
         "with --table all"},
        {two_tables, delimited([](input_request& in) { in.table = 3; }),
         "options: --table 3: the file holds 2 tables (header rows on lines 1 and 4)"},
        {"t,v,i\n0,1,2\n1,3,4\nt,v,i\n5,5,6\n6,7,8\n", delimited([](input_request& in) { in.table = 0; }),
         "Fatal error: line 5: the time step (4 s) differs from the step before it (1 s) by more than 1 %; --table all "
         "joins only tables whose time goes on with the same step."},
        {"t,v,i\n0,1,2\n1,3,4\nt,v,I/mA\n2,5,6\n", delimited([](input_request& in) { in.table = 0; }),
         "Fatal error: line 5 holds a row of numbers after the table ended on line 4; --table all joins only tables "
         "whose header and units rows are the same."},
        {"t/s,E/V,I/mA\n0,1,2\n1,3,4\nt/s,E/V,I/uA\n2,5,6\n3,7,8\n", delimited([](input_request& in) { in.table = 0; }),
         "Fatal error: line 5 holds a row of numbers after the table ended on line 4; --table all joins only tables "
         "whose header and units rows are the same."},
        {"Time (ms)  E (mV)  I (uA)\n0 1 2\n0.5 3 4\n", delimited([](input_request& in) {
             in.v_column = "2";
             in.i_column = "3";
             fs_10(in);
         }),
         "options: line 1 gives units that cannot be tied to the columns (in 6 fields, the rows having 3): give "
         "--v-scale, --i-scale and --fs HZ to read the file anyway"},
        {"Time,E,I\nms,mV\n0,1,2\n", delimited(),
         "options: line 2 gives units that cannot be tied to the columns (in 2 fields, the rows having 3): give "
         "--v-scale, --i-scale and --fs HZ to read the file anyway"},
        {"# t/ms\tE/mV\tI/mA\n0\t1\t2\n", numbered_with_time,
         "options: line 1 gives units that cannot be tied to the columns (it is a comment): give --v-scale, "
         "--i-scale and --fs HZ to read the file anyway"},
        {"Time (ms);E (mV);I (uA)\n0,1,2\n", numbered_with_time,
         "options: line 1 gives units that cannot be tied to the columns (in 1 field, the rows having 3): give "
         "--v-scale, --i-scale and --fs HZ to read the file anyway"},
        {"Time (ms),E (mV),I (uA)\nData:\n0,1,2\n", numbered_with_time,
         "options: line 1 gives units that cannot be tied to the columns (other lines stand between it and the rows): "
         "give --v-scale, --i-scale and --fs HZ to read the file anyway"},
        {"Pt\tT\tVf\tIm\n# s\tmV\tuA\n0\t0\t1\t2\n", delimited(),
         "options: line 2 gives units that cannot be tied to the columns (it is a comment): give --v-scale, "
         "--i-scale and --fs HZ to read the file anyway"},
        {"t/s,E/V,I/uA\ns,V,uA/cm2\n0,1,2\n", delimited(),
         "options: the i column (I/uA) is in 'uA' by its name but in 'uA/cm2' by the units row (line 2): mend one of "
         "them, or give --i-scale to read it anyway"},
        {"Sample Interval = 0.1\nPotential/V, Current/A\n1, 2\n", delimited(),
         "Fatal error: line 1 states the sampling in a way the program does not read ('Sample Interval = 0.1'): give "
         "the frequency with --fs HZ."},
        {"t;E/V;I\ns;mV;uA\n0;1;2\n", delimited(),
         "options: the v column (E/V) is in 'V' by its name but in 'mV' by the units row (line 2): mend one of them, "
         "or give --v-scale to read it anyway"},
        {"FREQ\tQUANT\t15\nPt\tVoltage\tCurrent\n0\t1\t2\n", delimited(),
         "Fatal error: line 1 states the sampling in a way the program does not read ('FREQ QUANT 15'): give the "
         "frequency with --fs HZ."},
        {"Sample Interval (s) = 0\nPotential/V, Current/A\n1, 2\n", delimited(),
         "Fatal error: line 1 states the sampling in a way the program does not read ('Sample Interval (s) = 0'): "
         "give the frequency with --fs HZ."},
        {"Sample Interval (s) = 0.01\nSample Interval (s) = 0.02\nPotential/V, Current/A\n1, 2\n", delimited(),
         "Fatal error: lines 1 and 2 state different samplings: give the frequency with --fs HZ."},
        {"t,v,i\n0,1,2\n", delimited([](input_request& in) {
             in.format = input_format::automatic;
             in.delimiter = '\t';
         }),
         "Fatal error: the file holds no row of numbers."},
        {std::string(70000, 'x') + ",v,i\n1,2\n", delimited(fs_10), "Fatal error: line 1 is longer than 65536 bytes."},
        {"Pt,E/V,I/A\n0,1,2\n1,3,4\nMean,2,3\n", delimited(fs_10),
         "Fatal error: line 4: column 1 (Pt) holds 'Mean' where the table's first row holds a number; a summary row "
         "is no data: delete it."},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome_of(c.content, c.in), c.expected) << c.content.substr(0, 60);
}

// The input formats' table as the front ends ask it.
TEST(input_formats, by_name_raw_or_text_and_detected)
{
    const struct {
        const char* name;
        input_format format;
        bool raw;
        bool detected;
    } formats[] = {{"auto", input_format::automatic, false, false},     {"tagged", input_format::tagged, false, true},
                   {"delimited", input_format::delimited, false, true}, {"f32le", input_format::f32le, true, false},
                   {"f64le", input_format::f64le, true, false},         {"f32be", input_format::f32be, true, false},
                   {"f64be", input_format::f64be, true, false}};
    const auto names = input_format_names();
    ASSERT_EQ(names.size(), std::size(formats));
    for (std::size_t k = 0; k < names.size(); ++k) {
        const auto& f = formats[k];
        EXPECT_EQ(names[k], f.name);
        EXPECT_EQ(format_named(f.name), f.format) << f.name;
        EXPECT_EQ(format_name(f.format), f.name);
        EXPECT_EQ(is_raw(f.format), f.raw) << f.name;
        EXPECT_EQ(is_detected(f.format), f.detected) << f.name;
    }
    EXPECT_FALSE(format_named("f16le"));
    EXPECT_FALSE(format_named("Tagged"));
}
