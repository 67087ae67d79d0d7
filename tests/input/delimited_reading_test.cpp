// Delimited text: the header search, the columns and units, the rules of a
// row, the end of the table, the time column, and the choice of the format.
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

TEST(delimited_reading, reads_the_columns_units_and_separators_a_file_shows)
{
    const reading_case cases[] = {
        {"plain", "time,v,i\n0,1,2\n0.5,3,4\n", delimited(), "fs 2: 1,2 3,4"},
        {"columns in another order, time last", "i,v,t\n2,1,0\n4,3,0.5\n", delimited(), "fs 2: 1,2 3,4"},
        {"no final line end: the last row was still being written", "time,v,i\n0,1,2\n0.5,3,4\n1.2,5,6", delimited(),
         "fs 2: 1,2 3,4"},
        {"CR and CR LF", "time,v,i\r0,1,2\r\n0.5,3,4\r", delimited(), "fs 2: 1,2 3,4"},
        {"CR after a column not read", "t,v,i,x\r0,1,2,9\r0.5,3,4,9\r1,5,6,9\n", delimited(), "fs 2: 1,2 3,4 5,6"},
        {"byte-order mark", "\xEF\xBB\xBFtime,v,i\n0,1,2\n0.5,3,4\n", delimited(), "fs 2: 1,2 3,4"},
        {"a quoted name holds the delimiter", "t,\"v, mV\",i\n0,1,2\n0.5,3,4\n",
         delimited([](input_request& in) { in.v_column.emplace("v, mV"); }), "fs 2: 1,2 3,4"},
        {"quoted names and numbers", "\"time\",\"v\",\"i\"\n\"0\",\"1\",\"2\"\n0.5,3,4\n", delimited(),
         "fs 2: 1,2 3,4"},
        {"preamble (a line naming v alone) and footer",
         "Instrument X\nv,5 V range\ntime,v,i\n0,1,2\n0.5,3,4\n\nEnd of data\n# done\n", delimited(), "fs 2: 1,2 3,4"},
        {"comments inside the table", "time,v,i\n# start\n0,1,2\n# pause\n#\n0.5,3,4\n", delimited(), "fs 2: 1,2 3,4"},
        {"units row", "time;v;i\ns;V;A\n0;1;2\n0.5;3;4\n", delimited(), "fs 2: 1,2 3,4"},
        {"decimal comma found", "t;v;i\n0;1,5;2\n0,5;3;4\n", delimited(), "fs 2: 1.5,2 3,4"},
        {"decimal comma given, tab", "t\tv\ti\n0\t1\t2\n0,5\t3,25\t4\n",
         delimited([](input_request& in) { in.decimal_comma = true; }), "fs 2: 1,2 3.25,4"},
        {"blanks", "  t   v  i\n 0  1\t2\n 0.5 3 4  \n", delimited(), "fs 2: 1,2 3,4"},
        {"semicolon before comma", "t;v;i;note, x\n0;1;2;a\n1;3;4;b\n", delimited(), "fs 1: 1,2 3,4"},
        {"tab before semicolon", "t\tv;x\ti\n0\t1;9\t2\n",
         delimited([](input_request& in) { in.v_column.emplace("v;x"); }),
         "Fatal error: line 2: the v column (v;x) holds '1;9', which is not a number."},
        {"units scale", "time/s,E (mV),I [uA]\n0,1,2\n0.5,3,4\n", delimited([](input_request& in) {
             in.v_column.emplace("E (mV)");
             in.i_column.emplace("I [uA]");
         }),
         "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"names beginning with Ewe and <I>, a micro sign",
         "time/s\tEwe/mV\t<I>/\xC2\xB5"
         "A\n0\t1\t2\n0.5\t3\t4\n",
         delimited(), "fs 2: 0.00100000005,1.99999999e-06 0.00300000003,3.99999999e-06"},
        {"<I>/mA by default", "time/s\tEwe/V\t<I>/mA\n0\t1\t2\n0.5\t3\t4\n", delimited(),
         "fs 2: 1,0.00200000009 3,0.00400000019"},
        {"scales given over units", "t,v,I/mA\n0,1,2\n0.5,3,4\n", delimited([](input_request& in) {
             in.v_scale = 2;
             in.i_scale = 10;
         }),
         "fs 2: 2,20 6,40"},
        {"numbered columns, no header", "1 2\n3 4\n", delimited([](input_request& in) {
             in.v_column.emplace("1");
             in.i_column.emplace("2");
             fs_10(in);
         }),
         "fs 10: 1,2 3,4"},
        {"numbered columns take the time by name", "time,a,b\n0,1,2\n0.5,3,4\n", delimited([](input_request& in) {
             in.v_column.emplace("2");
             in.i_column.emplace("3");
         }),
         "fs 2: 1,2 3,4"},
        {"decimal commas quoted between commas", "t,v,i\n0,\"1,5\",2\n0,5,3,4\n", delimited([](input_request& in) {
             in.decimal_comma = true;
             in.time_column.emplace("1");
             in.sampling_frequency = 2;
         }),
         "Fatal error: line 3 has 4 fields; the header row (line 1) has 3."},
        {"one column for both", "t,x\n0,1\n0.5,3\n", delimited([](input_request& in) {
             in.v_column.emplace("x");
             in.i_column.emplace("2");
         }),
         "fs 2: 1,1 3,3"},
        {"--skip", "1,2,3\nx,y\nt,v,i\n0,1,2\n0.5,3,4\n", delimited([](input_request& in) { in.skip = 2; }),
         "fs 2: 1,2 3,4"},
        {"Nb header lines", "File\nNb header lines : 4\nE I time in this order\ntime\tE\tI\n0\t1\t2\n0.5\t3\t4\n",
         delimited(), "fs 2: 1,2 3,4"},
        {"--fs over the time column", "t,v,i\n0,1,2\n7,3,4\n", delimited(fs_10), "fs 10: 1,2 3,4"},
        {"a time column by name", "when,v,i\n0,1,2\n0.25,3,4\n",
         delimited([](input_request& in) { in.time_column.emplace("when"); }), "fs 4: 1,2 3,4"},
        {"time steps within 1 % of the mean", "t,v,i\n0,1,2\n0.995,3,4\n2,5,6\n", delimited(), "fs 1: 1,2 3,4 5,6"},
        {"times in ms", "time (ms),v,i\n0,1,2\n250,3,4\n",
         delimited([](input_request& in) { in.time_column.emplace("time (ms)"); }), "fs 4: 1,2 3,4"},
        {"auto reads delimited", "time,v,i\n0,1,2\n0.5,3,4\n", input_request{.format = input_format::automatic},
         "fs 2: 1,2 3,4"},
        {"auto reads tagged", "v,i\n<sampling_frequency>4\n<data>\n<v>1</v><i>2</i>\n</data>\n",
         input_request{.format = input_format::automatic}, "fs 4: 1,2"},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome_of(c.content, c.in), c.expected) << c.name;
}

TEST(delimited_reading, stops_naming_the_line_the_column_and_the_text)
{
    const std::string head = "time,v,i\n0,1,2\n";
    // Two tables, the second's times half a step late.
    std::string joined = "t,v,i\n";
    for (int k = 0; k < 100; ++k) joined += std::to_string(k) + ",1,2\n";
    joined += "\nt,v,i\n";
    for (int k = 100; k < 200; ++k) joined += std::to_string(k) + ".5,1,2\n";
    // A long steady run, then one step 5 % long.
    std::string steady = "t,v,i\n";
    for (int k = 0; k < 1000; ++k) {
        char row[32];
        std::snprintf(row, sizeof row, "%g,1,2\n", k + (k >= 700 ? 0.05 : 0.0));
        steady += row;
    }
    const struct {
        std::string content;
        input_request in;
        std::string expected;
    } cases[] = {
        {head + "0.1,abc,3\n", delimited(),
         "Fatal error: line 3: the v column (v) holds 'abc', which is not a number."},
        {head + "0.1,a\x7F"
                "b\x01,3\n",
         delimited(), "Fatal error: line 3: the v column (v) holds 'a\\x7Fb\\x01', which is not a number."},
        {head + "0.1,nan,3\n", delimited(),
         "Fatal error: line 3: the v column (v) holds 'nan', which is not a number."},
        {head + "0.1,1,3e\n", delimited(), "Fatal error: line 3: the i column (i) holds '3e', which is not a number."},
        {head + "0.1,,3\n", delimited(), "Fatal error: line 3: the v column (v) is empty."},
        {"time,v,i\n0,\"1,500\",2\n", delimited(fs_10),
         "Fatal error: line 2: the v column (v) holds '1,500', which is not a number; for decimal commas, give "
         "--decimal-comma; thousands separators are not read: write the numbers without them."},
        {"time;v;i\ns;V;A\n0;1;2\n0.5;x;4\n", delimited(),
         "Fatal error: line 4: the v column (v) holds 'x', which is not a number."},
        {head + "0.1,1\n", delimited(), "Fatal error: line 3 has 2 fields; the header row (line 1) has 3."},
        {head + "0.1\n", delimited(), "Fatal error: line 3 has 1 field; the header row (line 1) has 3."},
        {head + "# note\n0.1,1e39,3\n", delimited(),
         "Fatal error: line 4: the v column (v) holds a value too large for single precision."},
        {"t;v;i\n0;1;2\n0,1;1.5;3\n", delimited([](input_request& in) { in.decimal_comma = true; }),
         "Fatal error: line 3: the v column (v) holds '1.5', which is not a number."},
        {head + "0.5,1,2\n\nfooter\n7,1,2\n", delimited(),
         "Fatal error: line 6 holds a row of numbers after the table ended on line 5; a second table is not read."},
        {head + "0.5,1,2\n\nfooter\n7,1,2\n", delimited([](input_request& in) { in.table = 0; }),
         "Fatal error: line 6 holds a row of numbers after the table ended on line 5; --table all joins only tables "
         "whose header and units rows are the same."},
        {head, delimited([](input_request& in) { in.sampling_frequency = 1e38; }),
         "options: the sampling frequency must be a number from 1e-37 to 1e37"},
        {head + "0.5,1,2\nx,1,2\n0.6,1,2\n", delimited(),
         "Fatal error: line 4: the time column (time) holds 'x', which is not a number."},
        {head + "1,1,2\n2,1,2\n3,1,2\n# pause\n4.1,1,2\n5,1,2\n", delimited(),
         "Fatal error: line 7: the time step (1.1 s) differs from the mean step (1 s) by more than 1 %; give "
         "the sampling frequency with --fs to read the file anyway."},
        {"time,v,i\n0,1,2\n1.015,1,2\n2,1,2\n3,1,2\n", delimited(),
         "Fatal error: line 3: the time step (1.015 s) differs from the mean step (1 s) by more than 1 %; give "
         "the sampling frequency with --fs to read the file anyway."},
        // The first step too short or too long, whichever comes first, after
        // steps that differ from each other but not from the mean.
        {head + "1,1,2\n1.5,1,2\n3,1,2\n4,1,2\n5,1,2\n", delimited(),
         "Fatal error: line 4: the time step (0.5 s) differs from the mean step (1 s) by more than 1 %; give "
         "the sampling frequency with --fs to read the file anyway."},
        {head + "0.992,1,2\n2,1,2\n3.009,1,2\n4.02,1,2\n5.04,1,2\n6,1,2\n", delimited(),
         "Fatal error: line 6: the time step (1.011 s) differs from the mean step (1 s) by more than 1 %; give "
         "the sampling frequency with --fs to read the file anyway."},
        {steady, delimited(),
         "Fatal error: line 702: the time step (1.05 s) differs from the mean step (1.00005 s) by more than 1 %; give "
         "the sampling frequency with --fs to read the file anyway."},
        {joined, delimited([](input_request& in) { in.table = 0; }),
         "Fatal error: line 104: the time step (1.5 s) differs from the step before it (1 s) by more than 1 %; "
         "--table all joins only tables whose time goes on with the same step."},
        {head + "-0.5,1,2\n", delimited(),
         "Fatal error: the time column (time) does not increase from line 2 to line 3."},
        {head, delimited(), "options: one row cannot give the sampling frequency: give it with --fs"},
        {"time,v,i\n\n", delimited(), "Fatal error: no row of numbers follows the header row (line 1)."},
        {"just text\n", delimited(), "Fatal error: the file holds no row of numbers."},
        {head + "0.5,1," + std::string(70000, '2') + "\n", delimited(),
         "Fatal error: line 3 is longer than 65536 bytes."},
        {"1,2\n3,4\n", delimited(),
         "options: no header row names the v and i columns: choose them with --v-column and --i-column (a name, or a "
         "number from 1)"},
        {"a,b\n1,2\n", delimited(fs_10),
         "options: the header row (line 1) has no v column by a name the program knows; its names are \"a\", \"b\"; "
         "choose the v column with --v-column (a name, or a number from 1)"},
        {"v,b\n1,2\n", delimited(fs_10),
         "options: the header row (line 1) has no i column by a name the program knows; its names are \"v\", \"b\"; "
         "choose the i column with --i-column (a name, or a number from 1)"},
        {"v,i\n1,2\n", delimited(),
         "options: the file has no time column to give the sampling frequency: give it with --fs HZ, or choose the "
         "time column with --time-column"},
        {"t,v,I/mV\n0,1,2\n", delimited([](input_request& in) { in.i_column.emplace("I/mV"); }),
         "options: the i column (I/mV) is in volts: choose the i column with --i-column, or give --i-scale to read it "
         "anyway"},
        {head, delimited([](input_request& in) { in.v_column.emplace("0"); }),
         "options: --v-column numbers the columns from 1"},
        {head, input_request{.format = input_format::tagged, .v_column = "v"},
         "options: --v-column does not apply to a tagged file"},
        {head, input_request{.format = input_format::f32le, .delimiter = ','},
         "options: --delimiter does not apply to raw binary input"},
        {head, input_request{.format = input_format::f32le},
         "options: raw binary input needs the sampling frequency: give it with --fs HZ"},
        {head, input_request{.format = input_format::tagged, .v_scale = 2.0},
         "options: --v-scale does not apply to a tagged file"},
        {"<sampling_frequency>4\n<data>\n<v>1</v><i>2</i>\n</data>\n",
         input_request{.format = input_format::automatic, .i_scale = 2.0},
         "options: --i-scale does not apply to a tagged file"},
        {head, input_request{.format = input_format::f64be, .sampling_frequency = 10.0, .decimal_comma = true},
         "options: --decimal-comma does not apply to raw binary input"},
    };
    for (const auto& c : cases) EXPECT_EQ(outcome_of(c.content, c.in), c.expected) << c.content.substr(0, 60);
}

// Rows, comments and a stop scattered over many regions: every thread count,
// region size and a pipe read the same samples and stop at the same line.
TEST(delimited_reading, reads_the_same_for_every_thread_count_and_through_a_pipe)
{
    std::string rows = "Rate 100 Hz\ntime,v,i\n";
    for (int k = 0; k < 30000; ++k) {
        const std::string t = std::to_string(k) + "e-2,";
        if (k % 1111 == 0) rows += "# mark " + std::to_string(k) + "\n";
        // Blanks and quotes take the long way; the others, the straight one.
        if (k % 3001 == 0)
            rows += t + " " + std::to_string(k % 97) + ".25 ,\"" + std::to_string(-k) + "e-9\"\n";
        else
            rows += t + std::to_string(k % 97) + ".25," + std::to_string(-k) + "e-9\n";
    }
    const std::string expected = outcome_of(rows, delimited(fs_10));
    ASSERT_EQ(expected.substr(0, 23), "fs 10: 0.25,0 1.25,-9.9");
    for (unsigned threads : {1u, 2u, 3u})
        for (std::size_t block : {std::size_t{4} << 20, std::size_t{4096}, std::size_t{333}})
            EXPECT_EQ(outcome_of(rows, delimited(fs_10), threads, block), expected)
                << threads << " threads, regions of " << block;
    EXPECT_EQ(outcome_of(rows, delimited(fs_10), 1, 4096, true), expected);
    // Handed on as they are read: the same samples, whatever the regions.
    for (unsigned threads : {1u, 3u})
        for (std::size_t block : {std::size_t{4} << 20, std::size_t{4096}, std::size_t{333}})
            EXPECT_EQ(outcome_of(rows, delimited(fs_10), threads, block, false, true), expected)
                << threads << " threads, regions of " << block << ", handed on";
    EXPECT_EQ(outcome_of(rows, delimited(fs_10), 1, 4096, true, true), expected);
    // The time column's frequency comes from every time: handed on at the end.
    EXPECT_EQ(outcome_of(rows, delimited(), 2, 4096, false, true), outcome_of(rows, delimited(), 2, 4096));
    // The time column read too: 100 Hz.
    EXPECT_EQ(outcome_of(rows, delimited(), 2, 4096).substr(0, 8), "fs 100: ");
    const std::size_t middle = rows.find('\n', rows.size() / 2) + 1;
    const std::string broken = rows.substr(0, middle) + "1,2,x\n" + rows.substr(middle);
    const std::string stop = outcome_of(broken, delimited(fs_10), 1, 4096, true);
    ASSERT_EQ(stop.substr(0, 26), "Fatal error: line 15464: t");
    for (unsigned threads : {1u, 2u, 3u}) EXPECT_EQ(outcome_of(broken, delimited(fs_10), threads, 4096), stop);
    EXPECT_EQ(outcome_of(broken, delimited(fs_10), 2, 4096, false, true), stop);
    EXPECT_EQ(outcome_of(broken, delimited(fs_10), 1, 4096, true, true), stop);
    // CR CR LF, cut anywhere by the regions' ends: still one line end.
    std::string crcrlf;
    for (const char ch : broken) crcrlf += ch == '\n' ? std::string("\r\r\n") : std::string(1, ch);
    for (std::size_t block : {std::size_t{4096}, std::size_t{999}})
        EXPECT_EQ(outcome_of(crcrlf, delimited(fs_10), 2, block), stop) << "regions of " << block;
    // CR LF, taken straight through: the samples a pipe gives, a delimiter at
    // a row's end adding no field, a field too many stopping.
    std::string crlf;
    for (const char ch : rows.substr(0, middle) + "1,2,3,\n" + rows.substr(middle))
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string by_pipe = outcome_of(crlf, delimited(fs_10), 1, 4096, true);
    ASSERT_EQ(by_pipe.substr(0, 23), "fs 10: 0.25,0 1.25,-9.9");
    EXPECT_EQ(outcome_of(crlf, delimited(fs_10), 2, 4096), by_pipe);
    const std::size_t crlf_middle = crlf.find('\n', crlf.size() / 2) + 1;
    const std::string wide = crlf.substr(0, crlf_middle) + "1,2,3,4\r\n" + crlf.substr(crlf_middle);
    EXPECT_EQ(outcome_of(wide, delimited(fs_10), 2, 4096), outcome_of(wide, delimited(fs_10), 1, 4096, true));
    EXPECT_NE(outcome_of(wide, delimited(fs_10), 2, 4096).find("has 4 fields; the header row (line 2) has 3."),
              std::string::npos);
}

// Rows with a time column, units that scale them or decimal commas are read
// by the shapes learnt from them: every thread count, region size and way
// of reading gives what the rules give line by line (a pipe), frequency and
// stops included.
TEST(delimited_reading, timed_scaled_and_decimal_comma_rows_read_as_a_pipe_reads_them)
{
    // Runs of one shape, shapes in turn, comments, and rows only the rules
    // read (a blank, an exponent beyond the exact conversion); v with an
    // exponent, then with two decimals.
    const auto table = [](const char* header, double step, int time_decimals, bool decimal_comma, int big_v_at = -1) {
        std::string text = std::string(header) + "\n";
        for (int k = 0; k < 20000; ++k) {
            if (k % 997 == 0) text += "# mark\n";
            const bool negative = k % 4000 < 2000 ? (k / 300) % 2 == 1 : k % 2 == 1;
            const double v = (negative ? -1.0 : 1.0) * ((k * 7919) % 20001 + 1);
            char v_text[32];
            if (k < 10000)
                std::snprintf(v_text, sizeof v_text, "%.6e", 1e-7 * v);
            else
                std::snprintf(v_text, sizeof v_text, "%.2f", k == big_v_at ? 999.99 : 0.01 * v);
            char row[96];
            std::snprintf(row, sizeof row, "%.*f,%s%s,%.*f\n", time_decimals, k * step, k % 1499 == 0 ? " " : "",
                          k % 2003 == 0 ? "1.5e-30" : v_text, 2 + (k / 500) % 3, 1 + (k % 7) * 0.1234);
            if (decimal_comma)
                for (char* c = row; *c != '\0'; ++c) *c = *c == ',' ? ';' : *c == '.' ? ',' : *c;
            text += row;
        }
        return text;
    };
    const auto scaled_by = [](double v_scale) { return delimited([=](input_request& in) { in.v_scale = v_scale; }); };
    const struct {
        const char* name;
        std::string content;
        input_request in;
        std::string starts;  // what the line by line reading gives
    } cases[] = {
        {"times", table("t,v,i", 0.002, 4, false), delimited(), "fs 500.00000000000006: 1.5e-30,1 0.000791999977,1.12"},
        {"times in ms, v in mV, i in uA", table("time/ms,Ewe/mV,<I>/uA", 2.0, 1, false), delimited(),
         "fs 500: 1.50000004e-33,9.99999997e-07 7.9199998e-07,1.11999998e-06"},
        {"decimal commas", table("time/ms;v;i", 2.0, 1, true), delimited(), "fs 500: 1.5e-30,1 0.000791999977,1.12"},
        {"a scale that can take a value beyond a float", table("t,v,i", 0.002, 4, false, 15250), scaled_by(1e36),
         "Fatal error: line 15268: the v column (v) holds a value too large for single precision."},
    };
    for (const auto& c : cases) {
        const std::string expected = outcome_of(c.content, c.in, 1, 4096, true);
        ASSERT_EQ(expected.substr(0, c.starts.size()), c.starts) << c.name;
        for (unsigned threads : {1u, 2u, 3u})
            for (std::size_t block : {std::size_t{4} << 20, std::size_t{4096}, std::size_t{333}})
                EXPECT_EQ(outcome_of(c.content, c.in, threads, block), expected)
                    << c.name << ", " << threads << " threads, regions of " << block;
        EXPECT_EQ(outcome_of(c.content, c.in, 2, 4096, false, true), expected) << c.name << ", handed on";
        EXPECT_EQ(outcome_of(c.content, c.in, 2, 4096, false, false, false), expected)
            << c.name << ", digits not gathered";
    }
}

TEST(delimited_reading, tagged_and_raw_samples_are_handed_on_as_they_are_read)
{
    // Paired lines and split ones (a unit of two lines), with the block's end
    // or cut short inside a unit: every layout the tagged engine keeps or drops.
    std::string paired = "<sampling_frequency>100</sampling_frequency>\n<data>\n";
    std::string split = paired;
    for (int k = 0; k < 20000; ++k) {
        // Numbers of one width: the lines take the fast reading of known shapes.
        char v[32];
        char i[32];
        std::snprintf(v, sizeof v, "<v>%02d.5</v>", k % 89);
        std::snprintf(i, sizeof i, "<i>-%05de-6</i>", k);
        paired += std::string(v) + i + "\n";
        split += std::string(v) + "\n" + i + "\n";
    }
    input_request as_tagged;
    as_tagged.format = input_format::tagged;
    for (const std::string& text :
         {paired + "</data>\n", paired + "<v>1</v><i>2", split + "</data>\n", split + "<v>1</v>\n"}) {
        const std::string expected = outcome_of(text, as_tagged);
        ASSERT_EQ(expected.substr(0, 20), "fs 100: 0.5,-0 1.5,-");
        for (unsigned threads : {1u, 2u})
            for (std::size_t block : {std::size_t{4} << 20, std::size_t{4096}, std::size_t{333}})
                EXPECT_EQ(outcome_of(text, as_tagged, threads, block, false, true), expected)
                    << threads << " threads, regions of " << block;
        EXPECT_EQ(outcome_of(text, as_tagged, 1, 4096, true, true), expected);
    }
    std::string raw;
    for (int k = 0; k < 100000; ++k) {
        const float pair[2] = {static_cast<float>(k % 101), static_cast<float>(-k)};
        raw.append(reinterpret_cast<const char*>(pair), sizeof pair);
    }
    input_request as_raw;
    as_raw.format = input_format::f32le;
    as_raw.sampling_frequency = 100.0;
    const std::string expected = outcome_of(raw, as_raw);
    ASSERT_EQ(expected.substr(0, 16), "fs 100: 0,0 1,-1");
    for (std::size_t block : {std::size_t{4} << 20, std::size_t{4096}, std::size_t{333}})
        EXPECT_EQ(outcome_of(raw, as_raw, 2, block, false, true), expected) << "regions of " << block;
    EXPECT_EQ(outcome_of(raw, as_raw, 1, 4096, true, true), expected);
}
