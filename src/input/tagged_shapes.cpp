// Common data lines, read without searching them for every tag.
#include "input/tagged_shapes.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "input/number_text.hpp"
#include "input/tag_search.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <tmmintrin.h>
#endif

namespace veltrin {

namespace {

// Where the numbers of a line read straight through start and end: v and
// i (or the one number of a split line), then the time.
struct number_spans {
    const char* first[3];
    const char* last[3];
};

// A common line read through from its start: its tags where they belong and
// numbers that read_number_exactly takes; false for anything else.
bool read_straight(std::string_view line, std::int64_t c, bool paired, line_stores& s, number_spans& spans)
{
    const char* const p = line.data();
    const char* const last = p + line.size();
    if (line.size() < 8 || p[0] != '<' || p[2] != '>' || (p[1] != 'v' && p[1] != 'i')) return false;
    const bool v_first = p[1] == 'v';
    double first_value;
    const char* q = read_number_exactly(p + 3, last, first_value);
    if (q == nullptr) return false;
    spans.first[0] = p + 3;
    spans.last[0] = q;
    if (paired) {
        if (!v_first || last - q < 7 || std::memcmp(q, pair_tag.text.data(), 7) != 0) return false;
        double second_value;
        spans.first[1] = q + 7;
        q = read_number_exactly(q + 7, last, second_value);
        if (q == nullptr || last - q != 4 || std::memcmp(q, "</i>", 4) != 0) return false;
        spans.last[1] = q;
        s = line_stores{2, {true, false}, {c, c}, {first_value, second_value}};
        return true;
    }
    if (last - q != 4 || q[0] != '<' || q[1] != '/' || q[2] != p[1] || q[3] != '>') return false;
    s = line_stores{1, {v_first, false}, {c / 2, 0}, {first_value, 0.0}};
    return true;
}

// The positions of a number that read_number_exactly has read from
// [first, last) with `point` as its decimal separator; false beyond 15
// digits, which three chunks always hold.
bool learn_number(const char* line, const char* first, const char* last, char point, number_positions& n)
{
    const char* p = first;
    n.negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char* const significand = p;
    n.chunks = 0;
    n.fraction_digits = 0;
    int digits = 0;
    bool fraction = false;
    while (p != last && (is_digit(*p) || *p == point)) {
        if (*p == point) {
            fraction = true;
            ++p;
            continue;
        }
        const char* const run = p;
        while (p != last && is_digit(*p) && p - run < 8) ++p;
        const auto length = static_cast<int>(p - run);
        digits += length;
        if (digits > 15) return false;
        n.chunk_at[n.chunks] = static_cast<std::uint8_t>(run - line);
        n.chunk_shift[n.chunks] = static_cast<std::uint8_t>(digits_shift(length));
        n.chunk_scale[n.chunks++] = decimal_scales[length];
        if (fraction) n.fraction_digits += length;
    }
    n.significand_at = static_cast<std::uint8_t>(significand - line);
    std::memset(n.gather, 0x80, sizeof n.gather);
    // At most 15 digits and a point: 16 bytes hold them all.
    int lane = static_cast<int>(sizeof n.gather) - digits;
    for (const char* q = significand; q != p; ++q)
        if (is_digit(*q)) n.gather[lane++] = static_cast<unsigned char>(q - significand);
    n.point_inside = fraction && digits <= 8;
    if (n.point_inside) {
        const int whole_digits = digits - n.fraction_digits;
        n.chunks = 1;
        n.chunk_at[0] = static_cast<std::uint8_t>(significand - line);
        n.chunk_shift[0] = static_cast<std::uint8_t>(digits_shift(digits));
        n.chunk_scale[0] = decimal_scales[digits];
        n.before_point = whole_digits == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * whole_digits)) - 1;
    }
    n.exponent_digits = 0;  // read_number_exactly took 1 to 3 digits after an exponent mark
    n.exponent_negative = false;
    if (p != last) {
        ++p;
        n.exponent_negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        n.exponent_at = static_cast<std::uint8_t>(p - line);
        n.exponent_digits = static_cast<int>(last - p);
    }
    return true;
}

// Whether the line at p has the bytes of a shape with these lanes. Beyond a
// shape's length every byte fits: the last lane of a line of up to three
// lanes need not be looked at.
[[gnu::always_inline]] inline bool lanes_fit(const char* p, const byte_lanes* low, const byte_lanes* spread,
                                             bool four_lanes)
{
    const std::size_t lanes = four_lanes ? shape_lanes : shape_lanes - 1;
#if defined(__SSE2__)
    // The saturating subtraction is 0 exactly where the byte is in its range.
    __m128i wrong = _mm_setzero_si128();
    for (std::size_t k = 0; k < lanes; ++k) {
        const __m128i lane = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * sizeof(byte_lanes)));
        wrong = _mm_or_si128(wrong, _mm_subs_epu8(_mm_sub_epi8(lane, reinterpret_cast<const __m128i&>(low[k])),
                                                  reinterpret_cast<const __m128i&>(spread[k])));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(wrong, _mm_setzero_si128())) == 0xffff;
#else
    byte_lanes wrong{};
    for (std::size_t k = 0; k < lanes; ++k) {
        byte_lanes lane;
        std::memcpy(&lane, p + k * sizeof lane, sizeof lane);
        wrong |= (lane - low[k]) > spread[k];
    }
    std::uint64_t halves[2];
    std::memcpy(halves, &wrong, sizeof halves);
    return (halves[0] | halves[1]) == 0;
#endif
}

bool has_four_lanes(const line_shape& shape)
{
    return shape.length > 3 * sizeof(byte_lanes);
}

bool fits(const line_shape& shape, const char* line)
{
    return lanes_fit(line, shape.low, shape.spread, has_four_lanes(shape));
}

bool learn_shape(std::string_view line, const line_stores& s, const number_spans& spans, char point, line_shape& shape)
{
    for (int k = 0; k < s.count; ++k)
        if (!learn_number(line.data(), spans.first[k], spans.last[k], point, shape.number[k])) return false;
    shape.numbers = s.count;
    shape.to_v[0] = s.to_v[0];
    shape.to_v[1] = s.to_v[1];
    shape.paired = s.count == 2;
    // Only a pair has a time: it is stored at the pair's index.
    if (s.timed && !shape.paired) return false;
    shape.timed = s.timed;
    if (s.timed && !learn_number(line.data(), spans.first[2], spans.last[2], point, shape.time)) return false;
    shape.length = line.size();
    unsigned char low[longest_shape] = {};
    unsigned char spread[longest_shape];
    std::memset(spread, 255, sizeof spread);
    for (std::size_t k = 0; k < line.size(); ++k) {
        const bool digit = is_digit(line[k]);
        low[k] = digit ? '0' : static_cast<unsigned char>(line[k]);
        spread[k] = digit ? 9 : 0;
    }
    std::memcpy(shape.low, low, sizeof low);
    std::memcpy(shape.spread, spread, sizeof spread);
    return true;
}

#if defined(__x86_64__)
// The value of the digits gathered by `gather` from the 16 bytes at `at`.
[[gnu::target("ssse3")]] inline std::uint64_t gathered_digits(const char* at, __m128i gather)
{
    __m128i x = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), _mm_set1_epi8('0'));
    x = _mm_shuffle_epi8(x, gather);
    x = _mm_maddubs_epi16(x, _mm_set1_epi16(0x010a));   // pairs: 10 a + b
    x = _mm_madd_epi16(x, _mm_set1_epi32(0x00010064));  // fours: 100 a + b
    x = _mm_packs_epi32(x, x);
    x = _mm_madd_epi16(x, _mm_set1_epi32(0x00012710));  // eights: 10000 a + b
    const auto eights = static_cast<std::uint64_t>(_mm_cvtsi128_si64(x));
    return (eights & 0xffffffff) * 100000000 + (eights >> 32);
}
#endif

// The exponent of a number's value: its exponent part less its fraction
// digits; false outside [-22, 22], where the exact path ends. N holds where
// the exponent part is, as number_positions does.
template <class N>
[[gnu::always_inline]] inline bool exponent_of(const char* line, const N& n, int& exponent)
{
    exponent = -n.fraction_digits;
    if (n.exponent_digits == 0) return true;  // never out of range
    const char* const digits = line + n.exponent_at;
    int written = digits[0] - '0';
    if (n.exponent_digits == 2) {
        written = written * 10 + (digits[1] - '0');
    } else {
        for (int k = 1; k < n.exponent_digits; ++k) written = written * 10 + (digits[k] - '0');
    }
    exponent += n.exponent_negative ? -written : written;
    return exponent >= -22 && exponent <= 22;
}

// What exact_decimal does, knowing that a shape's at most 15 digits are
// below 2^53 and that exponent_of has checked the exponent. A zero needs no
// case of its own: it scales to a zero, negated to -0 as the general
// reading gives.
[[gnu::always_inline]] inline double scaled_exactly(std::uint64_t significand, int exponent)
{
    const auto exact = static_cast<double>(significand);
    return exponent >= 0 ? exact * exact_powers_of_ten[exponent] : exact / exact_powers_of_ten[-exponent];
}

template <bool Gathered>
[[gnu::always_inline]] inline bool read_number(const char* line, const number_positions& n, double& value)
{
    int exponent;
    if (!exponent_of(line, n, exponent)) return false;
    std::uint64_t significand = 0;
#if defined(__x86_64__)
    if constexpr (Gathered) {
        const __m128i gather = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n.gather));
        significand = gathered_digits(line + n.significand_at, gather);
    } else
#endif
        if (n.point_inside) {
        const char* const at = line + n.chunk_at[0];
        const std::uint64_t word = eight_characters(at);
        const std::uint64_t ninth = std::uint64_t{static_cast<unsigned char>(at[8])} << 56;
        const std::uint64_t joined = (word & n.before_point) | (((word >> 8) | ninth) & ~n.before_point);
        significand = value_of_eight_digits(joined << n.chunk_shift[0]);
    } else {
        for (int k = 0; k < n.chunks; ++k)
            significand = significand * n.chunk_scale[k] +
                          value_of_eight_digits(eight_characters(line + n.chunk_at[k]) << n.chunk_shift[k]);
    }
    value = scaled_exactly(significand, exponent);
    if (n.negative) value = -value;
    return true;
}

// The channel of a split line's shape: 0 v, 1 i.
int channel_of(const line_shape& shape)
{
    return shape.to_v[0] ? 0 : 1;
}

// Notes that a line of shape `slot` has been read.
void follow(line_shapes& shapes, std::uint8_t slot)
{
    if (shapes.current != line_shapes::none) shapes.successor[shapes.current] = slot;
    shapes.current = slot;
}

}  // namespace

void learn_line_shape(std::string_view line, const line_stores& s, const char* const (&first)[3],
                      const char* const (&last)[3], char point, line_shapes& shapes)
{
    shapes.current = line_shapes::none;
    if (shapes.resting > 0) {
        --shapes.resting;
        return;
    }
    if (++shapes.misses > 16) {
        shapes.misses = 0;
        shapes.resting = 4096;
        return;
    }
    const number_spans spans{{first[0], first[1], first[2]}, {last[0], last[1], last[2]}};
    line_shape learnt;
    if (learn_shape(line, s, spans, point, learnt)) {
        const auto slot = static_cast<std::uint8_t>(shapes.oldest);
        shapes.shape[slot] = learnt;
        shapes.oldest = (shapes.oldest + 1) % std::size(shapes.shape);
        follow(shapes, slot);
    }
}

namespace {

// Reads a line of no known shape straight through and learns its shape.
bool read_and_learn(std::string_view line, std::int64_t c, bool paired, line_shapes& shapes, line_stores& s)
{
    shapes.current = line_shapes::none;
    number_spans spans{};
    if (!read_straight(line, c, paired, s, spans)) return false;
    learn_line_shape(line, s, spans.first, spans.last, '.', shapes);
    return true;
}

}  // namespace

bool read_common_line(std::string_view line, const char* readable_end, std::int64_t c, bool paired, line_shapes& shapes,
                      line_stores& s)
{
    const bool shaped =
        line.size() <= longest_shape && readable_end - line.data() >= static_cast<std::ptrdiff_t>(shape_reach);
    if (!shaped || shapes.resting > 0) {
        shapes.resting -= shapes.resting > 0 ? 1 : 0;
        shapes.current = line_shapes::none;
        number_spans spans;
        return read_straight(line, c, paired, s, spans);
    }
    return read_and_learn(line, c, paired, shapes, s);
}

namespace {

#if defined(__x86_64__)
// What a number of a repeated shape is read by, held in locals: no store
// into the series can change them, so they stay in registers.
struct repeated_number {
    __m128i gather;
    std::size_t significand_at;
    std::size_t exponent_at;
    int exponent_digits;
    bool exponent_negative;
    int fraction_digits;
    double sign;  // -0.0 or 0.0: its sign bit is XOR-ed into the value

    explicit repeated_number(const number_positions& n)
        : gather(_mm_loadu_si128(reinterpret_cast<const __m128i*>(n.gather))), significand_at(n.significand_at),
          exponent_at(n.exponent_at), exponent_digits(n.exponent_digits), exponent_negative(n.exponent_negative),
          fraction_digits(n.fraction_digits), sign(n.negative ? -0.0 : 0.0)
    {
    }
};

// The value of a number of a repeated shape, as read_number gives it; false
// where its exponent is beyond the exact path.
[[gnu::target("ssse3"), gnu::always_inline]] inline bool read_repeated(const char* line, const repeated_number& n,
                                                                       double& value)
{
    int exponent;
    if (!exponent_of(line, n, exponent)) return false;
    const double scaled = scaled_exactly(gathered_digits(line + n.significand_at, n.gather), exponent);
    // Negating is flipping the sign bit.
    value = _mm_cvtsd_f64(_mm_xor_pd(_mm_set_sd(scaled), _mm_set_sd(n.sign)));
    return true;
}

// A shape held in locals for a loop over its lines.
struct held_shape {
    std::size_t length;
    byte_lanes low[shape_lanes];
    byte_lanes spread[shape_lanes];
    bool four_lanes;
    bool paired;
    bool to_v;  // a line of one number: its channel
    bool timed;
    repeated_number first;
    repeated_number second;  // a line of one number: the first again
    repeated_number time;    // a line without a time: the first again

    explicit held_shape(const line_shape& shape)
        : length(shape.length), four_lanes(has_four_lanes(shape)), paired(shape.paired), to_v(shape.to_v[0]),
          timed(shape.timed), first(shape.number[0]), second(shape.number[shape.numbers - 1]),
          time(shape.timed ? shape.time : shape.number[0])
    {
        std::memcpy(low, shape.low, sizeof low);
        std::memcpy(spread, shape.spread, sizeof spread);
    }

    // Whether the line at p has this shape: its bytes, and the LF after it.
    bool fits(const char* p) const { return p[length] == '\n' && lanes_fit(p, low, spread, four_lanes); }
};

// Reads the lines from p on, block line c on, as long as they take the
// Cycle shapes in turn (one shape repeated, or the two of the split layout)
// and can be read by them; the number read. The shapes' fields are taken
// into locals once, instead of for every line.
template <std::size_t Cycle>
[[gnu::target("ssse3")]] std::int64_t read_in_turn(const char*& p, const char* last, std::int64_t c,
                                                   const line_shape* const (&shapes)[Cycle], const store_target& target,
                                                   const value_scales& scales)
{
    const auto held = [&]<std::size_t... k>(std::index_sequence<k...>)
    {
        return std::array<held_shape, Cycle>{held_shape(*shapes[k])...};
    }
    (std::make_index_sequence<Cycle>{});
    float* const v = target.v;
    float* const i = target.i;
    double* const times = target.time;
    const std::int64_t time_first_slot = target.time_first_slot;
    const double v_scale = scales.v;
    const double i_scale = scales.i;
    const double time_scale = scales.time;
    // Split lines in turn hold one v and one i value per pair only when the
    // cycle's two shapes take the two channels (the line before had the
    // second shape, so a pair it opened takes the first).
    if (!held[0].paired && (Cycle != 2 || held[0].to_v == held[Cycle - 1].to_v)) return 0;
    std::int64_t read = 0;
    for (;;) {
        for (const held_shape& shape : held) {
            if (last - p < static_cast<std::ptrdiff_t>(shape_reach) || !shape.fits(p)) return read;
            const std::int64_t index = shape.paired ? c : c / 2;
            if (static_cast<std::uint64_t>(index - target.own_first) >= target.owned) return read;
            double first;
            double second;
            double time = 0.0;
            if (!read_repeated(p, shape.first, first)) return read;
            if (shape.timed && !read_repeated(p, shape.time, time)) return read;
            if (shape.paired) {
                if (!read_repeated(p, shape.second, second)) return read;
                v[index - target.first_slot] = static_cast<float>(first * v_scale);
                i[index - target.first_slot] = static_cast<float>(second * i_scale);
                if (shape.timed && times != nullptr) times[index - time_first_slot] = time * time_scale;
            } else {
                (shape.to_v ? v : i)[index - target.first_slot] =
                    static_cast<float>(first * (shape.to_v ? v_scale : i_scale));
            }
            p += shape.length + 1;
            ++c;
            ++read;
        }
    }
}
#endif

template <bool Gathered>
[[gnu::always_inline]] inline std::int64_t read_known(const char*& p, const char* last, std::int64_t c,
                                                      line_shapes& shapes, const store_target& target,
                                                      const value_scales& scales)
{
    if (shapes.resting > 0) return 0;
    const auto has = [&](std::uint8_t slot) {
        const line_shape& shape = shapes.shape[slot];
        return shape.length != 0 && p[shape.length] == '\n' && fits(shape, p);
    };
    std::int64_t read = 0;
    for (; last - p >= static_cast<std::ptrdiff_t>(shape_reach); ++read) {
        // The shape that followed the last one, else any known one.
        const std::uint8_t expected =
            shapes.current == line_shapes::none ? line_shapes::none : shapes.successor[shapes.current];
        std::uint8_t next = expected;
        if (next == line_shapes::none || !has(next)) {
            next = line_shapes::none;
            for (std::size_t slot = 0; slot < std::size(shapes.shape); ++slot) {
                if (slot != expected && has(static_cast<std::uint8_t>(slot))) {
                    next = static_cast<std::uint8_t>(slot);
                    break;
                }
            }
            if (next == line_shapes::none) break;
        }
        const line_shape& shape = shapes.shape[next];
#if defined(__x86_64__)
        if constexpr (Gathered) {
            // The line continues a cycle of one shape, or of two in turn:
            // most likely many more lines will.
            std::int64_t in_turn = 0;
            if (next == expected && next == shapes.current) {
                const line_shape* const cycle[] = {&shape};
                in_turn = read_in_turn(p, last, c + read, cycle, target, scales);
            } else if (next == expected && shapes.current != line_shapes::none &&
                       shapes.successor[next] == shapes.current) {
                const line_shape* const cycle[] = {&shape, &shapes.shape[shapes.current]};
                in_turn = read_in_turn(p, last, c + read, cycle, target, scales);
            }
            if (in_turn > 0) {
                // The cycle's shapes follow each other already; the last
                // line read has the one to go on from.
                if (in_turn % 2 == 1) shapes.current = next;
                const line_shape& last_read = shapes.shape[shapes.current];
                if (!last_read.paired) shapes.open_pair = (c + read + in_turn) % 2 == 1 ? channel_of(last_read) : -1;
                read += in_turn - 1;  // the loop counts one
                continue;
            }
        }
#endif
        const std::int64_t index = shape.paired ? c + read : (c + read) / 2;
        if (static_cast<std::uint64_t>(index - target.own_first) >= target.owned) break;
        const bool opens_pair = (c + read) % 2 == 0;
        if (!shape.paired && !opens_pair && channel_of(shape) == shapes.open_pair) break;
        double values[2];
        double time = 0.0;
        if (!read_number<Gathered>(p, shape.number[0], values[0])) break;
        if (shape.numbers == 2 && !read_number<Gathered>(p, shape.number[1], values[1])) break;
        if (shape.timed && !read_number<Gathered>(p, shape.time, time)) break;
        if (!shape.paired) shapes.open_pair = opens_pair ? channel_of(shape) : -1;
        // The scales keep these stores below the largest float (shapes_can_scale).
        for (int n = 0; n < shape.numbers; ++n)
            (shape.to_v[n] ? target.v : target.i)[index - target.first_slot] =
                static_cast<float>(values[n] * (shape.to_v[n] ? scales.v : scales.i));
        if (shape.timed && target.time != nullptr) target.time[index - target.time_first_slot] = time * scales.time;
        p += shape.length + 1;
        follow(shapes, next);
    }
    shapes.misses -= static_cast<int>(std::min<std::int64_t>(shapes.misses, read));
    return read;
}

#if defined(__x86_64__)
[[gnu::target("ssse3")]] std::int64_t read_known_gathered(const char*& p, const char* last, std::int64_t c,
                                                          line_shapes& shapes, const store_target& target,
                                                          const value_scales& scales)
{
    return read_known<true>(p, last, c, shapes, target, scales);
}
#endif

}  // namespace

std::int64_t read_lines_of_known_shapes(const char*& p, const char* last, std::int64_t c, line_shapes& shapes,
                                        const store_target& target, const value_scales& scales, bool allow_gathering)
{
#if defined(__x86_64__)
    static const bool has_ssse3 = __builtin_cpu_supports("ssse3");
    if (allow_gathering && has_ssse3) return read_known_gathered(p, last, c, shapes, target, scales);
#else
    (void)allow_gathering;
#endif
    return read_known<false>(p, last, c, shapes, target, scales);
}

}  // namespace veltrin
