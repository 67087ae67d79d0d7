// Windows files: UTF-8 names over the wide API, identities from file
// indices, and the safe replacement of a result (a temporary file beside
// it, flushed to the disk, then moved over it in one step).
#include "platform/platform.hpp"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "platform/cleanup_slots.hpp"

namespace veltrin {

namespace {

std::wstring wide(const std::string& text)
{
    if (text.empty()) return L"";
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

std::string narrow(const wchar_t* text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length > 0 ? length - 1 : 0), '\0');
    if (length > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
    return result;
}

file_identity identity_of_handle(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information)) return {};
    return {information.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow, true};
}

bool same_file(const file_identity& a, const file_identity& b)
{
    return a.known && b.known && a.device == b.device && a.node == b.node;
}

// Temporary names that Ctrl+C must not leave behind: the executable's
// handlers remove them (remove_temporary_files).
using temporary_slot = cleanup_slot<wchar_t, 32768>;
temporary_slot cleanup_slots[8];

// The errno value closest to a system error code; 0 when none says it better.
int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return EISDIR;
    default:
        return 0;
    }
}

// A failure of a system call, with GetLastError's reason.
[[noreturn]] void cannot_write()
{
    throw file_write_failure{errno_of(GetLastError())};
}

// A failure of the C library's stream calls, with errno's reason.
[[noreturn]] void stream_cannot_be_written()
{
    throw file_write_failure{errno != 0 ? errno : EIO};
}

void delete_file(const wchar_t* name)
{
    DeleteFileW(name);
}

using pending_result = pending_file<temporary_slot, delete_file>;

}  // namespace

void remove_temporary_files() noexcept
{
    for (temporary_slot& slot : cleanup_slots)
        if (slot.armed.load()) DeleteFileW(slot.path);
}

// Windows keeps the waiting open and reads: a cancellation is seen between reads.
std::FILE* open_for_reading(const std::string& name, open_outcome& outcome, const std::atomic<bool>*)
{
    const std::wstring path = wide(name);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        outcome = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME
                      ? open_outcome::missing
                      : open_outcome::unreadable;
        return nullptr;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        outcome = open_outcome::unreadable;
        return nullptr;
    }
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    outcome = file != nullptr ? open_outcome::opened : open_outcome::unreadable;
    return file;
}

std::int64_t read_stream(std::FILE* file, char* buffer, std::size_t size, const std::atomic<bool>* cancel)
{
    if (cancel != nullptr && cancel->load()) return -1;
    const std::size_t got = std::fread(buffer, 1, size, file);
    return got == 0 && std::ferror(file) ? -1 : static_cast<std::int64_t>(got);
}

bool regular_file_extent(std::FILE* file, std::uint64_t& size, std::uint64_t& position)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    LARGE_INTEGER length;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &length))
        return false;
    const long long at = _ftelli64(file);
    if (at < 0) return false;
    size = static_cast<std::uint64_t>(length.QuadPart);
    position = static_cast<std::uint64_t>(at);
    return true;
}

std::int64_t read_at(std::FILE* file, std::uint64_t offset, char* buffer, std::size_t size)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    std::size_t got = 0;
    while (got < size) {
        // An offset in the OVERLAPPED structure reads there on a synchronous handle too.
        OVERLAPPED at{};
        const std::uint64_t from = offset + got;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - got, DWORD{1} << 30));
        DWORD n = 0;
        if (!ReadFile(handle, buffer + got, wanted, &n, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return -1;
        }
        if (n == 0) break;
        got += n;
    }
    return static_cast<std::int64_t>(got);
}

bool set_stream_position(std::FILE* file, std::uint64_t position)
{
    return _fseeki64(file, static_cast<long long>(position), SEEK_SET) == 0;
}

bool is_directory(const std::string& name)
{
    const DWORD attributes = GetFileAttributesW(wide(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint64_t regular_file_size(const std::string& name)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(name).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return 0;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

file_identity identity_of(std::FILE* file)
{
    if (file == nullptr) return {};
    return identity_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

file_identity identity_of(const std::string& name)
{
    const HANDLE handle = CreateFileW(wide(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const file_identity identity = identity_of_handle(handle);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    return identity;
}

void replace_file(const std::string& name, std::span<const file_identity> inputs,
                  const std::function<void(std::FILE*)>& content, bool /*allow_unnamed: Windows has no unnamed files*/)
{
    const std::wstring target = wide(name);
    const file_identity existing = identity_of(name);
    for (const file_identity& input : inputs)
        if (same_file(input, existing)) throw file_write_failure{0, true};

    pending_result pending;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw file_write_failure{EISDIR};
        if (attributes & FILE_ATTRIBUTE_READONLY) throw file_write_failure{EACCES};
        // A device (NUL, CON, a pipe) is the destination itself: write into it.
        const HANDLE handle = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
            const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
            if (descriptor < 0 || (pending.stream = _fdopen(descriptor, "wb")) == nullptr) stream_cannot_be_written();
            errno = 0;
            content(pending.stream);
            if (std::fflush(pending.stream) != 0 || std::ferror(pending.stream) != 0) stream_cannot_be_written();
            const int closed = std::fclose(pending.stream);
            pending.stream = nullptr;
            if (closed != 0) stream_cannot_be_written();
            return;
        }
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }

    // A short name of our own beside the target, never an existing file.
    std::wstring directory = wide(directory_of(name));
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 1000 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        pending.temporary_name = (directory.empty() ? L"" : directory + L"\\") + L".veltrin-" +
                                 std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        handle = CreateFileW(pending.temporary_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        pending.temporary_name.clear();
        cannot_write();
    }
    pending.slot = remember_temporary(cleanup_slots, pending.temporary_name);
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        const int reason = errno;
        CloseHandle(handle);
        throw file_write_failure{reason};
    }
    pending.stream = _fdopen(descriptor, "wb");
    if (pending.stream == nullptr) {
        const int reason = errno;
        _close(descriptor);
        throw file_write_failure{reason};
    }
    errno = 0;
    content(pending.stream);
    if (std::fflush(pending.stream) != 0 || std::ferror(pending.stream) != 0) stream_cannot_be_written();
    // On the disk before it gets its name.
    if (!FlushFileBuffers(handle)) cannot_write();
    const int closed = std::fclose(pending.stream);
    pending.stream = nullptr;
    if (closed != 0) stream_cannot_be_written();
    if (!MoveFileExW(pending.temporary_name.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        cannot_write();
    pending.temporary_name.clear();  // it is the target now
}

bool is_terminal(std::FILE* file)
{
    return _isatty(_fileno(file)) != 0;
}

void use_binary_standard_streams()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> utf8_arguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide_arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide_arguments == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int k = 0; k < count; ++k) arguments.push_back(narrow(wide_arguments[k]));
    LocalFree(wide_arguments);
    return arguments;
}

// Large pages need a privilege that users rarely have: ordinary pages here.
void advise_large_pages(void*, std::size_t) {}

}  // namespace veltrin
