// The input formats the program reads, one row per grammar, and the choice
// among them.
#include "input/reading.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <optional>

#include "input/delimited_fields.hpp"
#include "input/delimited_grammar.hpp"
#include "input/raw_binary.hpp"
#include "input/tag_search.hpp"
#include "input/tagged_grammar.hpp"
#include "model/error.hpp"

namespace veltrin {

namespace {

// Text formats read from a reader that may have looked ahead.
using text_reading = recording (*)(line_reader&, const std::string&, const reading_options&);

// What a format reads.
enum class format_reads {
    choice,  // auto: one of the detected formats, as the file shows
    text,
    raw_binary,
};

// One row per format: the input formats' table.
struct format_row {
    input_format format;
    std::string_view name;
    format_reads reads;
    text_reading text = nullptr;                        // a text format's grammar
    sample_encoding encoding = sample_encoding::f32le;  // raw binary's sample type and byte order
    bool detected = false;                              // auto may take it
};

constexpr format_row rows[] = {
    {input_format::automatic, "auto", format_reads::choice},
    {input_format::tagged, "tagged", format_reads::text, read_tagged_recording, {}, true},
    {input_format::delimited, "delimited", format_reads::text, read_delimited_recording, {}, true},
    {input_format::f32le, "f32le", format_reads::raw_binary, nullptr, sample_encoding::f32le},
    {input_format::f64le, "f64le", format_reads::raw_binary, nullptr, sample_encoding::f64le},
    {input_format::f32be, "f32be", format_reads::raw_binary, nullptr, sample_encoding::f32be},
    {input_format::f64be, "f64be", format_reads::raw_binary, nullptr, sample_encoding::f64be},
};

const format_row& row_of(input_format format)
{
    for (const format_row& row : rows)
        if (row.format == format) return row;
    return rows[0];  // every format has its row
}

constexpr auto names = [] {
    std::array<std::string_view, std::size(rows)> list{};
    for (std::size_t k = 0; k < list.size(); ++k) list[k] = rows[k].name;
    return list;
}();

// How much text the choice looks at before it settles for delimited text.
constexpr std::size_t most_looked_at = std::size_t{1} << 20;

// Tagged when a line holds the frequency or the data tag before any row of
// numbers (or when the text looks like UTF-16, which neither reads, for the
// tagged format's hint). The reader keeps every byte: the chosen grammar
// starts at the file's first line.
const format_row& text_format_of(line_reader& reader)
{
    const format_row& tagged = row_of(input_format::tagged);
    const format_row& delimited = row_of(input_format::delimited);
    if (reader.starts_as_utf16) return tagged;
    std::size_t looked = 0;  // bytes of whole lines looked at
    for (;;) {
        const char* const start = reader.buffer.get() + reader.begin;
        const char* p = start + looked;
        const char* const last = reader.buffer.get() + reader.end;
        const char* const cut = line_framing::complete_end(p, last, reader.file_done);
        std::string_view line;
        while (p != cut && next_line_in(p, cut, line)) {
            if (holds(line, frequency_tag) || holds(line, data_tag)) return tagged;
            if (!line.starts_with('#') && is_number_row(line)) return delimited;
        }
        looked = static_cast<std::size_t>(p - start);
        const std::size_t held = reader.end - reader.begin;
        if (reader.file_done || held >= most_looked_at) break;
        if (held + 65536 > reader.capacity) enlarge_buffer(reader, 2 * reader.capacity);
        refill(reader, held + 1);
        if (reader.end - reader.begin == held) break;
    }
    // A line longer than what was looked at may still hold a tag.
    const std::string_view text(reader.buffer.get() + reader.begin, reader.end - reader.begin);
    return holds(text, frequency_tag) || holds(text, data_tag) ? tagged : delimited;
}

// The options that only some formats read: given for another, they would be
// ignored without a word.
void check_options_apply(const format_row& format, const input_request& in, const std::string& name)
{
    const bool delimited = format.format == input_format::delimited;
    const bool raw = format.reads == format_reads::raw_binary;
    const auto refuse = [&](setting_id setting) {
        fail_reading(
            error_kind::input_options, name,
            {.rule = reading_rule::option_not_read, .setting = setting, .format = format.format, .raw_input = raw});
    };
    for (const setting_row& row : settings_table()) {
        const bool applies =
            row.scope == input_scope::every_input || delimited || (row.scope == input_scope::delimited_or_raw && raw);
        if (!applies && gives(in, row.id)) refuse(row.id);
    }
    if (raw && !in.sampling_frequency)
        fail_reading(error_kind::input_options, name,
                     {.rule = reading_rule::needs_frequency, .setting = setting_id::fs});
}

recording read_raw(std::FILE* file, const std::string& name, const reading_options& options, const format_row& format)
{
    raw_layout layout;
    layout.encoding = format.encoding;
    layout.sampling_frequency = *options.input.sampling_frequency;
    layout.v_scale = options.input.v_scale.value_or(1.0);
    layout.i_scale = options.input.i_scale.value_or(1.0);
    recording result = read_raw_binary(file, name, options, layout);
    result.input.format = format.name;
    result.input.v_scale = options.input.v_scale;
    result.input.i_scale = options.input.i_scale;
    return result;
}

}  // namespace

std::span<const std::string_view> input_format_names()
{
    return names;
}

std::optional<input_format> format_named(std::string_view name)
{
    for (const format_row& row : rows)
        if (row.name == name) return row.format;
    return std::nullopt;
}

std::string_view format_name(input_format format)
{
    return row_of(format).name;
}

bool is_raw(input_format format)
{
    return row_of(format).reads == format_reads::raw_binary;
}

bool is_detected(input_format format)
{
    return row_of(format).detected;
}

namespace {

// Gives the sink the sampling frequency asked for instead of the file's,
// and the input as the result describes it.
struct reading_told final : sample_sink {
    sample_sink& next;
    const input_request& in;
    input_format format = input_format::automatic;
    reading_told(sample_sink& sink, const input_request& request) : next(sink), in(request) {}
    input_description told(const input_description& input) const
    {
        input_description told = input;
        told.format = format_name(format);
        if (is_raw(format)) {
            told.v_scale = in.v_scale;
            told.i_scale = in.i_scale;
        }
        return told;
    }
    void begin(double frequency, float deltat, const input_description& input) override
    {
        if (in.sampling_frequency) {
            frequency = *in.sampling_frequency;
            deltat = static_cast<float>(1.0 / frequency);
        }
        next.begin(frequency, deltat, told(input));
    }
    void take(std::span<const float> v, std::span<const float> i) override { next.take(v, i); }
    void reading_ended(const input_description& input) override { next.reading_ended(told(input)); }
};

}  // namespace

recording read_recording(std::FILE* file, const std::string& name, const reading_options& given)
{
    reading_options options = given;
    std::optional<reading_told> told;
    if (given.sink != nullptr) options.sink = &told.emplace(*given.sink, given.input);
    const input_request& in = options.input;
    const format_row& row = row_of(in.format);
    if (in.sampling_frequency && !(*in.sampling_frequency >= 1e-37 && *in.sampling_frequency <= 1e37))
        fail_reading(error_kind::input_options, name,
                     {.rule = reading_rule::frequency_out_of_range, .setting = setting_id::fs});
    recording result;
    if (row.reads == format_reads::raw_binary) {
        check_options_apply(row, in, name);
        if (told) told->format = row.format;
        result = read_raw(file, name, options, row);
    } else {
        line_reader reader;
        reader.bytes_read = options.bytes_read;
        start_reading(reader, file, {}, nullptr, options.held_limit, options.cancel);
        const format_row& format = row.reads == format_reads::text ? row : text_format_of(reader);
        check_options_apply(format, in, name);
        if (told) told->format = format.format;
        result = format.text(reader, name, options);
        result.input.format = format.name;
    }
    if (in.sampling_frequency) {
        result.sampling_frequency = *in.sampling_frequency;
        result.deltat = static_cast<float>(1.0 / *in.sampling_frequency);
    }
    return result;
}

}  // namespace veltrin
