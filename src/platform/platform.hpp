// What differs between operating systems: opening, identifying and safely
// replacing files, and the number of cores.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace veltrin {

enum class open_outcome { opened, missing, unreadable };

// Opens a file for reading in binary mode. A directory is unreadable. With
// a cancellation flag the opening never waits (a FIFO without a writer opens
// at once), and the file must then be read with read_stream and that flag.
std::FILE* open_for_reading(const std::string& name, open_outcome& outcome, const std::atomic<bool>* cancel = nullptr);

// Reads up to `size` bytes of an open stream: the bytes read (at least one),
// 0 at its end, -1 on a read error or once *cancel is true. Without a flag it
// is fread. With one, a pipe, FIFO or device is waited on in short slices
// that look at the flag, and read without the stream's own buffer (nothing
// may have been read through it); a regular file is read as by fread.
std::int64_t read_stream(std::FILE* file, char* buffer, std::size_t size, const std::atomic<bool>* cancel = nullptr);

// Reads a whole file; false with the outcome when it cannot be opened or read.
bool read_whole_file(const std::string& name, std::string& text, open_outcome& outcome);

// For a regular file: its size and the stream's position in bytes; false
// for anything else (a pipe, a terminal, a device).
bool regular_file_extent(std::FILE* file, std::uint64_t& size, std::uint64_t& position);

// Reads up to `size` bytes at `offset` of an open regular file, without
// moving the stream's position, so that threads can read parts of a file at
// once: the bytes read (fewer only at the file's end), or -1 on a read error.
std::int64_t read_at(std::FILE* file, std::uint64_t offset, char* buffer, std::size_t size);

// Moves an open file's stream to byte `position`; false on failure.
bool set_stream_position(std::FILE* file, std::uint64_t position);

// True when the name is an existing directory (links followed).
bool is_directory(const std::string& name);

// The size in bytes of the regular file a name refers to (links followed); 0
// for anything else or a name that cannot be looked at.
std::uint64_t regular_file_size(const std::string& name);

// Which file an open stream or a name refers to, links followed.
struct file_identity {
    std::uint64_t device = 0;
    std::uint64_t node = 0;
    bool known = false;
};
file_identity identity_of(std::FILE* file);
file_identity identity_of(const std::string& name);

// Why a file could not be replaced: the errno value of the call that
// failed, or that the name is one of the inputs.
struct file_write_failure {
    int system_error = 0;
    bool is_input = false;
};

// Replaces a file's content. An existing regular file (or the file a
// symbolic link leads to) is replaced only once the new content is complete
// and on the disk, keeps its permission bits, and is never left half-written
// or with a temporary file beside it; an existing file that is not a regular
// file (a device, a FIFO) is written into directly. `name` must not be one
// of `inputs`. Throws file_write_failure on any failure. `allow_unnamed`
// false takes the path through a named temporary file, the one a system
// without unnamed files takes.
void replace_file(const std::string& name, std::span<const file_identity> inputs,
                  const std::function<void(std::FILE*)>& content, bool allow_unnamed = true);

// Removes the temporary files of results being written, for a signal
// handler that ends the process: safe to call from one. The library
// installs no handler; the executable's call this.
void remove_temporary_files() noexcept;

// The directory part of a path ("" for a bare name), and a path joined to it.
std::string directory_of(const std::string& path);
std::string relative_to(const std::string& directory, const std::string& path);

// Cores available to this process, at least 1.
unsigned core_count();

// Whether an open stream is a terminal (a console on Windows).
bool is_terminal(std::FILE* file);

// The standard streams carry bytes as they are (no CR added to a LF), so that
// every platform shows and pipes the same bytes.
void use_binary_standard_streams();

// The command-line arguments in UTF-8 (on Windows, from the wide command line).
std::vector<std::string> utf8_arguments(int argc, char** argv);

// Memory for arrays of many MiB, written once: from 2 MiB on it is taken in
// whole 2 MiB pages where the system has them, so that filling it costs a
// few page faults, not one per 4 KiB. release_large takes the same size.
void* allocate_large(std::size_t bytes);
void release_large(void* p, std::size_t bytes) noexcept;
// Asks for large pages in [p, p + bytes), a whole number of them.
void advise_large_pages(void* p, std::size_t bytes);

}  // namespace veltrin
