// The library's entry points: a recording read by name, and its analysis.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/platform.hpp"
#include "input/reading.hpp"
#include "model/result.hpp"

namespace veltrin {

// Opens and reads the recording at `path`, naming it `shown_name` in the
// messages; `identity` receives the file opened.
recording load_recording(const std::string& path, const std::string& shown_name, file_identity& identity,
                         const reading_options& options = {});

// Reads the recording from an open file, as load_recording does: with no
// more threads than the file's size can use, and with an unknown structure
// marked when the file looks like UTF-16 text.
recording read_open_recording(std::FILE* file, const std::string& shown_name, const reading_options& options = {});

// Opens the file at `path` (named `shown_name` in the messages), or takes
// `file` when it is not null; `identity` receives the file opened.
using opened_file = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
opened_file open_recording(const std::string& path, const std::string& shown_name, file_identity& identity,
                           const reading_options& options);

// Reads the open file and hands its samples to `sink` as they are read (the
// recording's series stay empty): what read_open_recording reads.
recording read_into(std::FILE* file, const std::string& shown_name, sample_sink& sink, reading_options options);

// Reads the open file and analyses it as it is read, the samples never held
// whole: what read_open_recording and then analyse give, the result's input
// described.
spectrum_result analyse_open_file(std::FILE* file, const std::string& data_file, const analysis_request& request,
                                  const std::string& shown_name, const reading_options& options, unsigned threads);

// Checks the request against the recording and its rules (check_request),
// then computes the estimate and what else it asks for. `data_file` is
// echoed in the result; errors name `shown_name`. A recording too short for
// the sections is told first. `threads` compute at once; the result does not
// depend on them.
spectrum_result analyse(const sample_view& samples, const std::string& data_file, const analysis_request& request,
                        const std::string& shown_name, unsigned threads = 1);

}  // namespace veltrin
