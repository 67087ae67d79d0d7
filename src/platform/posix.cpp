// POSIX files: opening with errno told apart, identities, and the safe
// replacement of a result (unnamed file linked in once complete, fsync).
#include "platform/platform.hpp"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/cleanup_slots.hpp"

namespace veltrin {

namespace {

// Opens without waiting for a FIFO's writer; reads block again afterwards.
std::FILE* open_at_once(const std::string& name)
{
    const int descriptor = open(name.c_str(), O_RDONLY | O_NONBLOCK);
    if (descriptor < 0) return nullptr;
    const int flags = fcntl(descriptor, F_GETFL);
    std::FILE* file = nullptr;
    if (flags != -1 && fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != -1) file = fdopen(descriptor, "rb");
    if (file == nullptr) {
        const int error = errno;
        close(descriptor);
        errno = error;
    }
    return file;
}

}  // namespace

std::FILE* open_for_reading(const std::string& name, open_outcome& outcome, const std::atomic<bool>* cancel)
{
    std::FILE* file = cancel != nullptr ? open_at_once(name) : std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        outcome = errno == ENOENT || errno == ENOTDIR ? open_outcome::missing : open_outcome::unreadable;
        return nullptr;
    }
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        outcome = open_outcome::unreadable;
        return nullptr;
    }
    outcome = open_outcome::opened;
    return file;
}

namespace {

file_identity identity_from(const struct stat& status)
{
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino), true};
}

bool same_file(const file_identity& a, const file_identity& b)
{
    return a.known && b.known && a.device == b.device && a.node == b.node;
}

// Temporary names that a signal must not leave behind (remove_temporary_files).
using temporary_slot = cleanup_slot<char, 4096>;
temporary_slot cleanup_slots[32];

// Follows a chain of symbolic links to the name of the file they lead to,
// which need not exist yet.
std::string final_target(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string link(4096, '\0');
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) return path;
        link.resize(static_cast<std::size_t>(length));
        path = link.front() == '/' ? link : relative_to(directory_of(path), link);
    }
    return path;
}

// The failure of the call just made, with its errno value.
[[noreturn]] void cannot_write()
{
    throw file_write_failure{errno};
}

// Writes the content and flushes it; false, with errno saying why, when a
// write failed (the errno of the failed write when nothing has replaced it).
bool write_and_flush(std::FILE* stream, const std::function<void(std::FILE*)>& content)
{
    errno = 0;
    content(stream);
    if (std::fflush(stream) != 0) return false;
    if (std::ferror(stream) == 0) return true;
    if (errno == 0) errno = EIO;
    return false;
}

void sync_directory(const std::string& directory)
{
    const int descriptor = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

using pending_result = pending_file<temporary_slot, unlink>;

// Creates a file under a short name of our own beside the target, never
// through an existing file or link of that name.
bool create_named_temporary(const std::string& directory, pending_result& pending, int& descriptor)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name =
            relative_to(directory, ".veltrin-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            pending.slot = remember_temporary(cleanup_slots, name);
            pending.temporary_name = name;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// Gives a complete unnamed file a name beside the target; the name is then a
// temporary one to rename, or, when the target does not exist, the target itself.
bool link_unnamed(int descriptor, const std::string& directory, const std::string& target, bool target_exists,
                  pending_result& pending)
{
    const std::string proc_path = "/proc/self/fd/" + std::to_string(descriptor);
    if (!target_exists) {
        if (linkat(AT_FDCWD, proc_path.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) return false;
    }
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name =
            relative_to(directory, ".veltrin-" + std::to_string(getpid()) + "-" + std::to_string(attempt));
        pending.slot = remember_temporary(cleanup_slots, name);
        if (linkat(AT_FDCWD, proc_path.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            pending.temporary_name = name;
            return std::rename(name.c_str(), target.c_str()) == 0;
        }
        forget_temporary(pending.slot);
        pending.slot = nullptr;
        if (errno != EEXIST) return false;
    }
    return false;
}

}  // namespace

void remove_temporary_files() noexcept
{
    for (temporary_slot& slot : cleanup_slots)
        if (slot.armed.load()) unlink(slot.path);
}

bool is_directory(const std::string& name)
{
    struct stat status {};
    return stat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::uint64_t regular_file_size(const std::string& name)
{
    struct stat status {};
    if (stat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

file_identity identity_of(std::FILE* file)
{
    struct stat status {};
    if (file == nullptr || fstat(fileno(file), &status) != 0) return {};
    return identity_from(status);
}

file_identity identity_of(const std::string& name)
{
    struct stat status {};
    if (stat(name.c_str(), &status) != 0) return {};
    return identity_from(status);
}

void replace_file(const std::string& name, std::span<const file_identity> inputs,
                  const std::function<void(std::FILE*)>& content, bool allow_unnamed)
{
    struct stat existing {};
    const bool exists = stat(name.c_str(), &existing) == 0;
    if (exists) {
        for (const file_identity& input : inputs)
            if (same_file(input, identity_from(existing))) throw file_write_failure{0, true};
    }
    pending_result pending;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a FIFO is the destination itself: write into it.
        const int descriptor = open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (descriptor < 0 || (pending.stream = fdopen(descriptor, "wb")) == nullptr) {
            const int reason = errno;
            if (descriptor >= 0) close(descriptor);
            throw file_write_failure{reason};
        }
        if (!write_and_flush(pending.stream, content)) cannot_write();
        const int closed = std::fclose(pending.stream);
        pending.stream = nullptr;
        if (closed != 0) cannot_write();
        return;
    }
    if (exists && access(name.c_str(), W_OK) != 0) cannot_write();

    const std::string target = final_target(name);
    const std::string directory = directory_of(target);
    int descriptor = -1;
#ifdef O_TMPFILE
    // An unnamed file gets its name through /proc/self/fd; without /proc, a named temporary file.
    if (allow_unnamed && access("/proc/self/fd", X_OK) == 0)
        descriptor = open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    const bool unnamed = descriptor >= 0;
    if (!unnamed && !create_named_temporary(directory, pending, descriptor)) cannot_write();
    if (exists) {
        // Best effort: only a privileged process may give the file back to its owner.
        if (fchown(descriptor, existing.st_uid, existing.st_gid) != 0) {
            // the new file stays ours
        }
        fchmod(descriptor, existing.st_mode & 07777);
    }
    pending.stream = fdopen(descriptor, "wb");
    if (pending.stream == nullptr) {
        const int reason = errno;
        close(descriptor);
        throw file_write_failure{reason};
    }
    // On the disk before it gets its name.
    if (!write_and_flush(pending.stream, content) || fsync(descriptor) != 0) cannot_write();
    bool published;
    if (unnamed) {
        published = link_unnamed(descriptor, directory, target, exists, pending);
    } else {
        published = std::rename(pending.temporary_name.c_str(), target.c_str()) == 0;
    }
    if (!published) cannot_write();
    pending.temporary_name.clear();  // it is the target now
    sync_directory(directory);
}

bool regular_file_extent(std::FILE* file, std::uint64_t& size, std::uint64_t& position)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const off_t at = ftello(file);
    if (at < 0) return false;
    size = static_cast<std::uint64_t>(status.st_size);
    position = static_cast<std::uint64_t>(at);
    return true;
}

std::int64_t read_at(std::FILE* file, std::uint64_t offset, char* buffer, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = pread(fileno(file), buffer + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
}

std::int64_t read_stream(std::FILE* file, char* buffer, std::size_t size, const std::atomic<bool>* cancel)
{
    struct stat status {};
    const int descriptor = fileno(file);
    if (cancel == nullptr || descriptor < 0 || fstat(descriptor, &status) != 0 || S_ISREG(status.st_mode)) {
        if (cancel != nullptr && cancel->load()) return -1;
        const std::size_t got = std::fread(buffer, 1, size, file);
        return got == 0 && std::ferror(file) ? -1 : static_cast<std::int64_t>(got);
    }
    // A pipe can stay silent for ever: wait in slices short enough that a
    // cancellation is seen at once.
    while (!cancel->load()) {
        pollfd watched{descriptor, POLLIN, 0};
        const int ready = poll(&watched, 1, 20);
        if (ready < 0 && errno != EINTR) return -1;
        if (ready <= 0) continue;
        const ssize_t got = read(descriptor, buffer, size);
        if (got >= 0) return got;
        if (errno != EINTR && errno != EAGAIN) return -1;
    }
    return -1;
}

bool set_stream_position(std::FILE* file, std::uint64_t position)
{
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

void use_binary_standard_streams() {}

bool is_terminal(std::FILE* file)
{
    return isatty(fileno(file)) != 0;
}

std::vector<std::string> utf8_arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void advise_large_pages(void* p, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);
#else
    (void)p, (void)bytes;
#endif
}

}  // namespace veltrin
