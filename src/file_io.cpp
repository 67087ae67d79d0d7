// POSIX file handling: directory check, temporary file and atomic rename.
#include "file_io.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* open_for_reading(const std::string& name)
{
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) return nullptr;
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool read_whole_file(const std::string& name, std::string& text)
{
    std::FILE* file = open_for_reading(name);
    if (file == nullptr) return false;
    text.clear();
    char block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

bool begin_replacing(const std::string& target_name, pending_file& file)
{
    file.target_name = target_name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.temporary_name =
            target_name + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(attempt);
        // Exclusive creation: never write through an existing file or link.
        const int descriptor = open(file.temporary_name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        file.stream = fdopen(descriptor, "wb");
        if (file.stream == nullptr) {
            close(descriptor);
            unlink(file.temporary_name.c_str());
            return false;
        }
        return true;
    }
    return false;
}

bool finish_replacing(pending_file& file)
{
    bool ok = std::fflush(file.stream) == 0 && std::ferror(file.stream) == 0;
    ok = std::fclose(file.stream) == 0 && ok;
    file.stream = nullptr;
    ok = ok && std::rename(file.temporary_name.c_str(), file.target_name.c_str()) == 0;
    if (!ok) unlink(file.temporary_name.c_str());
    return ok;
}

void abandon_replacing(pending_file& file)
{
    if (file.stream != nullptr) std::fclose(file.stream);
    file.stream = nullptr;
    unlink(file.temporary_name.c_str());
}
