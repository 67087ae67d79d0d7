// What both platforms share: whole-file reading, paths (Windows also takes
// '\' and drive letters), the core count.
#include <new>
#include <thread>

#include "platform/platform.hpp"

namespace veltrin {

namespace {

constexpr std::size_t large_page = std::size_t{2} << 20;

bool is_large(std::size_t bytes)
{
    return bytes >= large_page;
}

bool is_separator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

bool is_absolute(const std::string& path)
{
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':') return true;  // C:\x, and C:x (relative to the drive)
#endif
    return !path.empty() && is_separator(path.front());
}

}  // namespace

void* allocate_large(std::size_t bytes)
{
    if (!is_large(bytes)) return ::operator new(bytes);
    if (bytes > std::size_t(-1) - large_page) throw std::bad_alloc();
    // Whole large pages, on their boundaries.
    const std::size_t size = (bytes + large_page - 1) / large_page * large_page;
    void* const p = ::operator new (size, std::align_val_t{large_page});
    advise_large_pages(p, size);
    return p;
}

void release_large(void* p, std::size_t bytes) noexcept
{
    if (!is_large(bytes))
        ::operator delete(p);
    else
        ::operator delete (p, std::align_val_t{large_page});
}

bool read_whole_file(const std::string& name, std::string& text, open_outcome& outcome)
{
    std::FILE* file = open_for_reading(name, outcome);
    if (file == nullptr) return false;
    text.clear();
    char block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    if (!ok) outcome = open_outcome::unreadable;
    return ok;
}

std::string directory_of(const std::string& path)
{
    std::size_t slash = path.size();
    while (slash > 0 && !is_separator(path[slash - 1])) --slash;
    if (slash == 0) return "";
    return slash == 1 ? path.substr(0, 1) : path.substr(0, slash - 1);
}

std::string relative_to(const std::string& directory, const std::string& path)
{
    if (directory.empty() || is_absolute(path)) return path;
    return is_separator(directory.back()) ? directory + path : directory + "/" + path;
}

unsigned core_count()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

}  // namespace veltrin
