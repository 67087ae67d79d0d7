// Bounded line pieces over block reads.
#include "line_reader.hpp"

#include <cstring>
#include <utility>

namespace {

constexpr std::size_t block_size = std::size_t{1} << 20;

}  // namespace

void refill(line_reader& reader, std::size_t wanted)
{
    const std::size_t kept = reader.end - reader.begin;
    if (reader.begin > 0) {
        std::memmove(reader.buffer.get(), reader.buffer.get() + reader.begin, kept);
        reader.buffer_offset += reader.begin;
        reader.begin = 0;
        reader.end = kept;
    }
    if (reader.capacity < wanted) {
        auto larger = std::make_unique_for_overwrite<char[]>(wanted + block_size);
        if (reader.end > 0) std::memcpy(larger.get(), reader.buffer.get(), reader.end);
        reader.buffer = std::move(larger);
        reader.capacity = wanted + block_size;
    }
    while (reader.end < wanted && !reader.file_done) {
        const std::size_t got =
            std::fread(reader.buffer.get() + reader.end, 1, reader.capacity - reader.end, reader.file);
        reader.end += got;
        // A read error ends the input like the end of the file does.
        if (got == 0) reader.file_done = true;
    }
}

void start_reading(line_reader& reader, std::FILE* file)
{
    reader.file = file;
    if (reader.capacity < block_size) {
        reader.buffer = std::make_unique_for_overwrite<char[]>(block_size);
        reader.capacity = block_size;
    }
    reader.begin = reader.end = 0;
    reader.buffer_offset = 0;
    reader.file_done = false;
}

std::uint64_t reading_position(const line_reader& reader)
{
    return reader.buffer_offset + reader.begin;
}

void seek_reading(line_reader& reader, std::uint64_t offset)
{
    if (offset >= reader.buffer_offset && offset <= reader.buffer_offset + reader.end) {
        reader.begin = static_cast<std::size_t>(offset - reader.buffer_offset);
        return;
    }
    std::clearerr(reader.file);
    reader.begin = reader.end = 0;
    reader.buffer_offset = offset;
    reader.file_done = false;
    if (std::fseek(reader.file, static_cast<long>(offset), SEEK_SET) != 0) reader.file_done = true;
}
