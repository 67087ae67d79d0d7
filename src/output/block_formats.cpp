// The block writers: a header first, a row a block, the settings last.
#include "output/block_formats.hpp"

#include <nlohmann/json.hpp>

namespace veltrin {

namespace {

// The run's settings: the estimate's, then the blocks'.
std::vector<std::pair<std::string, setting_value>> block_settings(const spectrum_result& settings, const block_run& run)
{
    std::vector<std::pair<std::string, setting_value>> entries = settings_of(settings);
    entries.emplace_back("block_points", run.block_points);
    entries.emplace_back("block_duration", static_cast<double>(run.block_points) / run.sampling_frequency);
    entries.emplace_back("blocks", run.blocks);
    entries.emplace_back("dropped_samples", static_cast<std::int64_t>(run.dropped_samples));
    if (run.interrupted) entries.emplace_back("interrupted", std::int64_t{1});
    return entries;
}

nlohmann::ordered_json settings_object(const spectrum_result& settings, const block_run& run)
{
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const auto& [key, value] : block_settings(settings, run))
        std::visit([&, name = key](const auto& v) { object[name] = v; }, value);
    return object;
}

// Non-finite numbers have no JSON form: the library writes them as null. A
// name that is not UTF-8 gets U+FFFD for its stray bytes.
std::string dumped(const nlohmann::ordered_json& value)
{
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void append_heading(std::string& text, const std::string& name, bool first)
{
    char heading[64];
    std::snprintf(heading, sizeof heading, first ? "%14s" : "\t%14s", name.c_str());
    text += heading;
}

// The rest of a row after the block's number: its start, end and values,
// each after the separator, and the line end.
void append_values(std::string& text, char separator, void (*append)(std::string&, double), const block_result& block,
                   const std::vector<double>& values)
{
    for (const double value : {block.start, block.end}) {
        text += separator;
        append(text, value);
    }
    for (const double value : values) {
        text += separator;
        append(text, value);
    }
    text += '\n';
}

}  // namespace

block_writer::block_writer(std::FILE* stream, result_format format, std::vector<std::string> keys)
    : stream_(stream), format_(format), keys_(std::move(keys))
{
}

void block_writer::start(const std::string& data_file, double sampling_frequency, std::int64_t block_points)
{
    data_file_ = data_file;
    sampling_frequency_ = sampling_frequency;
    std::string text;
    std::vector<std::string> names = {"block", "start", "end"};
    names.insert(names.end(), keys_.begin(), keys_.end());
    switch (format_) {
    case result_format::table:
        text = "data file = " + printable(data_file) + "    block_points = " + std::to_string(block_points) + "\n";
        for (std::size_t k = 0; k < names.size(); ++k) append_heading(text, names[k], k == 0);
        text += '\n';
        break;
    case result_format::csv:
        for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
        text += '\n';
        break;
    case result_format::json: {
        nlohmann::ordered_json head;
        head["data_file"] = data_file;
        head["sampling_frequency"] = sampling_frequency;
        text = dumped(head);
        // The object stays open for the blocks: {"data_file":...,"sampling_frequency":...,"blocks":[
        text.pop_back();
        text += ",\"blocks\":[";
        break;
    }
    case result_format::jsonl:
        break;
    }
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
}

void block_writer::add(const block_result& block, const std::vector<double>& values)
{
    std::string text;
    switch (format_) {
    case result_format::table: {
        char number[32];
        std::snprintf(number, sizeof number, "%14lld", static_cast<long long>(block.number));
        text += number;
        append_values(text, '\t', append_field, block, values);
        break;
    }
    case result_format::csv:
        text += std::to_string(block.number);
        append_values(text, ',', append_shortest, block, values);
        break;
    case result_format::json:
    case result_format::jsonl: {
        nlohmann::ordered_json row;
        row["block"] = block.number;
        row["start"] = block.start;
        row["end"] = block.end;
        for (std::size_t k = 0; k < keys_.size() && k < values.size(); ++k) row[keys_[k]] = values[k];
        if (format_ == result_format::json && rows_ > 0) text += ',';
        text += dumped(row);
        if (format_ == result_format::jsonl) text += '\n';
        break;
    }
    }
    ++rows_;
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
}

void block_writer::finish(const spectrum_result& settings, const block_run& run)
{
    std::string text;
    switch (format_) {
    case result_format::table:
        // After a blank line, so that readers of the rows stop before them.
        text = "\n";
        for (const auto& [key, value] : block_settings(settings, run))
            text += key + " = " + printable(text_of(value)) + "\n";
        break;
    case result_format::csv:
        text = "# data_file = " + printable(data_file_) + "\n# sampling_frequency = ";
        append_shortest(text, sampling_frequency_);
        text += '\n';
        for (const auto& [key, value] : block_settings(settings, run))
            text += "# " + key + " = " + printable(text_of(value)) + "\n";
        break;
    case result_format::json:
        text = "],\"settings\":" + dumped(settings_object(settings, run)) + "}\n";
        break;
    case result_format::jsonl: {
        nlohmann::ordered_json last;
        last["data_file"] = data_file_;
        last["sampling_frequency"] = sampling_frequency_;
        last["settings"] = settings_object(settings, run);
        text = dumped(last) + "\n";
        break;
    }
    }
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
}

}  // namespace veltrin
