// The library's entry points: a recording read by name, and its analysis.
#pragma once

#include <string>

#include "platform/platform.hpp"
#include "input/reading.hpp"
#include "model/result.hpp"

// Opens and reads the recording at `path`, naming it `shown_name` in the
// messages; `identity` receives the file opened.
recording load_recording(const std::string& path, const std::string& shown_name, file_identity& identity,
                         const reading_options& options = {});

// Reads the recording from an open file, as load_recording does: with no
// more threads than the file's size can use, and with an unknown structure
// marked when the file looks like UTF-16 text.
recording read_open_recording(std::FILE* file, const std::string& shown_name, const reading_options& options = {});

// Checks the request against the recording and its rules (check_request),
// then computes the estimate and what else it asks for. `data_file` is
// echoed in the result; errors name `shown_name`. A recording too short for
// the sections is told first. `threads` compute at once; the result does not
// depend on them.
spectrum_result analyse(const sample_view& samples, const std::string& data_file, const analysis_request& request,
                        const std::string& shown_name, unsigned threads = 1);
