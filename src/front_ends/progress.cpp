// The progress line of the command line: written by the analysing threads
// as files end, and by a watcher thread for the bytes of one large file.
#include "front_ends/progress.hpp"

namespace veltrin {

namespace {

using namespace std::chrono_literals;

// A single file shows its bytes once it has taken this long, then this often.
constexpr auto quiet_start = 1s;
constexpr auto refresh = 250ms;

std::string megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

}  // namespace

progress_display::progress_display(mode shown, std::size_t files, std::FILE* stream)
    : shown_(shown), files_(files), stream_(stream), start_(std::chrono::steady_clock::now())
{
    if (shown_ == mode::terminal && files_ == 1) watcher_ = std::thread([this] { watch_bytes(); });
}

progress_display::~progress_display()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (watcher_.joinable()) watcher_.join();
    if (written_) {
        std::fputs("\r\033[K", stream_);
        std::fflush(stream_);
    }
}

void progress_display::file_started(const std::string& name, std::uint64_t size)
{
    if (shown_ == mode::off) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    current_ = name;
    size_ = size;
    if (shown_ == mode::terminal && files_ > 1)
        show("veltrin: " + std::to_string(done_) + "/" + std::to_string(files_) + " files done, reading " + name);
}

void progress_display::file_done(const std::string& name)
{
    if (shown_ == mode::off) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    const std::string count = std::to_string(done_) + "/" + std::to_string(files_) + " files done";
    if (shown_ == mode::lines) {
        std::fputs(("veltrin: " + count + ": " + name + "\n").c_str(), stream_);
        std::fflush(stream_);
    } else if (files_ > 1) {
        show("veltrin: " + count + (done_ < files_ ? ", reading " + current_ : ""));
    }
}

std::atomic<std::uint64_t>* progress_display::bytes_counter()
{
    return shown_ == mode::terminal && files_ == 1 ? &bytes_ : nullptr;
}

void progress_display::show(const std::string& line)
{
    std::fputs(("\r\033[K" + line).c_str(), stream_);
    std::fflush(stream_);
    written_ = true;
}

void progress_display::watch_bytes()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_for(lock, quiet_start, [this] { return stopping_; })) return;
    while (!wake_.wait_for(lock, refresh, [this] { return stopping_; })) {
        const std::uint64_t read = bytes_.load(std::memory_order_relaxed);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.0f MB/s", static_cast<double>(read) / 1e6 / seconds);
        show("veltrin: " + current_ + ": " + megabytes(read) + (size_ > 0 ? " of " + megabytes(size_) : "") +
             " read, " + rate);
    }
}

}  // namespace veltrin
