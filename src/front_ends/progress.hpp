// What a long run of the command line shows on standard error while it
// works: the files done of a batch and the file being read, or, for one
// file that takes more than a second, the bytes read and the rate.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace veltrin {

class progress_display {
public:
    enum class mode {
        off,
        terminal,  // one line, rewritten in place and cleared at the end
        lines,     // one line a file done, for logs
    };

    progress_display(mode shown, std::size_t files, std::FILE* stream = stderr);
    ~progress_display();  // clears the terminal's line
    progress_display(const progress_display&) = delete;
    progress_display& operator=(const progress_display&) = delete;

    // From the threads that analyse the files. `size` is 0 when unknown (a pipe).
    void file_started(const std::string& name, std::uint64_t size);
    void file_done(const std::string& name);

    // Counts the bytes the reading of a single file has read (nullptr when
    // nothing shows them).
    std::atomic<std::uint64_t>* bytes_counter();

private:
    void show(const std::string& line);  // the mutex held
    void watch_bytes();

    mode shown_;
    std::size_t files_;
    std::FILE* stream_;
    std::mutex mutex_;
    std::size_t done_ = 0;
    std::string current_;  // the file begun last
    std::uint64_t size_ = 0;
    bool written_ = false;  // a line is on the terminal
    std::atomic<std::uint64_t> bytes_{0};
    std::chrono::steady_clock::time_point start_;
    bool stopping_ = false;
    std::condition_variable wake_;
    std::thread watcher_;
};

}  // namespace veltrin
