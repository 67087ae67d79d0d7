// Writes a deterministic sample file: v a slowly wandering noise voltage with
// a weak sinusoid, i a white noise current.
//
// usage: make_sample_file LINES LAYOUT SEED [FREQUENCY_HZ] > file
// LAYOUT: paired|split|csv|tvi|tvi_ma|tvi_comma|f32le
// LINES is the number of data-block lines (two per sample in the split layout).
// csv writes the paired file's samples as delimited text "v,i" under a header
// row (the same numbers, to be read with --fs); tvi the same rows after a time
// column "t" (six decimals, as instruments log seconds); tvi_ma the current in
// mA under "I/mA"; tvi_comma the tvi rows with decimal commas between
// semicolons.
// f32le writes the samples of the paired file of as many lines as raw binary
// pairs of little-endian floats: the numbers its text holds, rounded to float.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

// Standard normal deviates by Box-Muller on the fully specified mt19937_64.
struct gaussian_source {
    std::mt19937_64 bits;
    bool has_spare = false;
    double spare = 0.0;
};

double uniform_open(std::mt19937_64& bits)
{
    return (static_cast<double>(bits() >> 11) + 0.5) * 0x1.0p-53;
}

double next_gaussian(gaussian_source& source)
{
    if (source.has_spare) {
        source.has_spare = false;
        return source.spare;
    }
    const double radius = std::sqrt(-2.0 * std::log(uniform_open(source.bits)));
    const double angle = 6.283185307179586 * uniform_open(source.bits);
    source.spare = radius * std::sin(angle);
    source.has_spare = true;
    return radius * std::cos(angle);
}

// The float that the text of `value` in `format` reads back as.
float as_written(const char* format, double value)
{
    char text[64];
    const int length = std::snprintf(text, sizeof text, format, value);
    double read = 0.0;
    std::from_chars(text, text + length, read);
    return static_cast<float>(read);
}

// A float's four bytes, least significant first.
void put_little_endian(float value, std::FILE* out)
{
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const unsigned char bytes[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                                    static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    std::fwrite(bytes, 1, sizeof bytes, out);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* const layouts[] = {"paired", "split", "csv", "tvi", "tvi_ma", "tvi_comma", "f32le"};
    if (argc < 4 || std::none_of(std::begin(layouts), std::end(layouts),
                                 [&](const char* layout) { return std::strcmp(argv[2], layout) == 0; })) {
        std::fputs("usage: make_sample_file LINES paired|split|csv|tvi|tvi_ma|tvi_comma|f32le SEED [FREQUENCY_HZ]\n",
                   stderr);
        return 2;
    }
    const std::uint64_t lines = std::strtoull(argv[1], nullptr, 10);
    const std::string layout = argv[2];
    const bool binary = layout == "f32le";
    const bool csv = layout == "csv";
    const bool timed = layout.starts_with("tvi");
    const bool paired = binary || csv || timed || layout == "paired";
    const std::uint64_t seed = std::strtoull(argv[3], nullptr, 10);
    const double frequency = argc > 4 ? std::strtod(argv[4], nullptr) : 500.0;

    static char output_buffer[1 << 20];
    std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    if (csv) {
        std::printf("v,i\n");
    } else if (timed) {
        std::printf(layout == "tvi_ma" ? "t,v,I/mA\n" : layout == "tvi_comma" ? "t;v;i\n" : "t,v,i\n");
    } else if (!binary) {
        std::printf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<acquisition>\n");
        std::printf("<comment>synthetic noise record, seed %" PRIu64 "</comment>\n", seed);
        std::printf("<sampling_frequency>%g</sampling_frequency>\n<data>\n", frequency);
    }

    gaussian_source source{std::mt19937_64(seed)};
    double wander = 0.0;
    const double tone = frequency * 0.0737;  // weak line well inside the band
    const std::uint64_t samples = paired ? lines : lines / 2;
    for (std::uint64_t k = 0; k < samples; ++k) {
        wander = 0.995 * wander + next_gaussian(source);  // nearly a random walk: 1/f^2 below a corner
        const double t = static_cast<double>(k) / frequency;
        const double v = 2.0e-6 * wander + 3.0e-6 * std::sin(6.283185307179586 * tone * t);
        const double i = 1.0e-3 + 5.0e-5 * next_gaussian(source);
        if (binary) {
            put_little_endian(as_written("%.6e", v), stdout);
            put_little_endian(as_written("%.8f", i), stdout);
        } else if (csv) {
            std::printf("%.6e,%.8f\n", v, i);
        } else if (layout == "tvi_ma") {
            std::printf("%.6f,%.6e,%.5f\n", t, v, 1e3 * i);
        } else if (timed) {
            char row[96];
            std::snprintf(row, sizeof row, "%.6f,%.6e,%.8f\n", t, v, i);
            if (layout == "tvi_comma")
                for (char* c = row; *c != '\0'; ++c) *c = *c == ',' ? ';' : *c == '.' ? ',' : *c;
            std::fputs(row, stdout);
        } else if (paired) {
            std::printf("<v>%.6e</v><i>%.8f</i>\n", v, i);
        } else {
            std::printf("<v>%.6e</v>\n<i>%.8f</i>\n", v, i);
        }
    }
    if (!paired && lines % 2 == 1) std::printf("\n");
    if (!binary && !csv && !timed) std::printf("</data>\n</acquisition>\n");
    return std::fflush(stdout) == 0 ? 0 : 1;
}
