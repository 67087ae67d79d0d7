// The least work any run must do: read the sample file twice (once to find
// the block and count it, once to load it) and convert every value once.
//
// usage: floor_read FILE   (prints the line count and a checksum)
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

constexpr std::size_t block_size = std::size_t{1} << 20;

// Calls on_line for every line of the file, block by block.
template <class Function>
void for_each_line(const char* name, Function on_line)
{
    std::FILE* file = std::fopen(name, "rb");
    if (file == nullptr) {
        std::perror(name);
        std::exit(1);
    }
    auto buffer = std::make_unique_for_overwrite<char[]>(2 * block_size);
    std::size_t kept = 0;
    std::size_t got;
    while ((got = std::fread(buffer.get() + kept, 1, block_size, file)) > 0) {
        const char* p = buffer.get();
        const char* end = p + kept + got;
        while (const char* feed = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) {
            on_line(std::string_view(p, static_cast<std::size_t>(feed - p)));
            p = feed + 1;
        }
        kept = static_cast<std::size_t>(end - p);
        std::memmove(buffer.get(), p, kept);
    }
    if (kept > 0) on_line(std::string_view(buffer.get(), kept));
    std::fclose(file);
}

double value_after(std::string_view line, std::string_view tag)
{
    const std::size_t at = line.find(tag);
    if (at == std::string_view::npos) return 0.0;
    double value = 0.0;
    std::from_chars(line.data() + at + tag.size(), line.data() + line.size(), value);
    return value;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: floor_read FILE\n", stderr);
        return 2;
    }
    std::size_t lines = 0;
    for_each_line(argv[1], [&lines](std::string_view) { ++lines; });
    double checksum = 0.0;
    for_each_line(argv[1], [&checksum](std::string_view line) {
        checksum += value_after(line, "<v>") + value_after(line, "<i>");
    });
    std::printf("%zu lines, checksum %.6e\n", lines, checksum);
    return 0;
}
