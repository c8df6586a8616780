#include "ResamplePasses.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define KV_X86_PASSES 1
#include <immintrin.h>
#endif

namespace kv::imaging::passes {

namespace {

std::uint8_t ClampToByte(std::int32_t v)
{
    return std::uint8_t(std::max(0, std::min(255, v)));
}

// Byte i of the filtered rows exactly as ApplyTaps computes a channel; for the bytes at a row's
// end that do not fill a whole vector.
std::uint8_t FilterByte(const std::uint8_t *const *rows, const TapWindow &window,
                        const std::int16_t *weights, std::size_t i)
{
    std::int32_t sum = 0;
    for (std::int32_t t = 0; t < window.count; ++t) {
        sum += std::int32_t(weights[t]) * rows[window.first + t][i];
    }
    if (window.total != 0) {
        return ClampToByte(sum / window.total);
    }
    return ClampToByte(std::int32_t(std::uint32_t(sum) >> 8));
}

#ifdef KV_X86_PASSES

// Taps 2j and 2j+1 of a window as one 32-bit value: two 16-bit weights, the first one low.
std::int32_t WeightPair(const std::int16_t *weights, std::int32_t j)
{
    std::int32_t pair;
    std::memcpy(&pair, weights + 2 * j, sizeof pair);
    return pair;
}

// Row of the second tap of pair j; past the window's end the weight is 0 and any row will do.
const std::uint8_t *SecondRow(const std::uint8_t *const *rows, const TapWindow &window,
                              std::int32_t j)
{
    return rows[window.first + std::min(2 * j + 1, window.count - 1)];
}

// Four pixels of 4 bytes each to their first three bytes, packed into 12.
__attribute__((target("sse4.1"), always_inline)) inline __m128i PackThreeBytes(__m128i pixels)
{
    const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    return _mm_shuffle_epi8(pixels, pick);
}

// The division of ApplyTaps on vectors of channel sums. The sums stay below 2^24 in magnitude
// and the totals below 2^16 (PackTaps checks both), so sums and totals are exact floats, and
// the rounded float quotient lies on the same side of every whole number 1..255 as the exact
// one: where s/t < k, k - s/t >= 1/|t| > 2^-16, more than the half step of a float below 256.
// Truncating and then clamping (the packs that follow saturate) therefore gives the bytes of
// the integer division. A total of 0 takes the unsigned shift instead.
__attribute__((target("sse4.1"))) __m128i DivideSse41(__m128i sums, const TapWindow &window)
{
    if (window.total == 0) {
        return _mm_srli_epi32(sums, 8);
    }
    return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(sums), _mm_set1_ps(window.divisor)));
}

// Sums of one output pixel's channels (blue, green, red, fourth byte) over its window.
__attribute__((target("sse4.1"))) __m128i
SumTapsSse41(const std::uint8_t *line, const TapWindow &window, const std::int16_t *weights)
{
    // Pixels 0 and 1 (or 2 and 3) of four as 16-bit pairs b0 b1 g0 g1 r0 r1 x0 x1, so that
    // one multiply-add of the weight pair gives four channel sums.
    const __m128i low = _mm_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
    const __m128i high =
        _mm_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
    const std::uint8_t *p = line + 4 * std::size_t(window.first);
    const std::int16_t *w = weights + window.offset;
    __m128i sum = _mm_setzero_si128();
    for (std::int32_t t = 0; t < window.count; t += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 4 * t));
        const __m128i pairs = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(w + t));
        sum = _mm_add_epi32(
            sum, _mm_madd_epi16(_mm_shuffle_epi8(pixels, low), _mm_shuffle_epi32(pairs, 0x00)));
        sum = _mm_add_epi32(
            sum, _mm_madd_epi16(_mm_shuffle_epi8(pixels, high), _mm_shuffle_epi32(pairs, 0x55)));
    }
    return sum;
}

__attribute__((target("sse4.1"))) void HorizontalRowSse41(const std::uint8_t *line,
                                                          const PackedTaps &taps, std::uint8_t *out)
{
    const std::size_t n = taps.windows.size();
    const std::int16_t *weights = taps.weights.data();
    // Four output pixels at a time; past the end the last one is repeated into the room beyond.
    for (std::size_t x = 0; x < n; x += 4) {
        __m128i q[4];
        for (std::size_t i = 0; i < 4; ++i) {
            const TapWindow &window = taps.windows[std::min(x + i, n - 1)];
            q[i] = DivideSse41(SumTapsSse41(line, window, weights), window);
        }
        const __m128i bytes =
            _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * x), PackThreeBytes(bytes));
    }
}

__attribute__((target("sse4.1"))) void VerticalRowSse41(const std::uint8_t *const *rows,
                                                        const PackedTaps &taps, std::int32_t y,
                                                        std::size_t bytes, std::uint8_t *out)
{
    const TapWindow &window = taps.windows[std::size_t(y)];
    const std::int16_t *weights = taps.weights.data() + window.offset;
    const std::int32_t pairs = (window.count + 1) / 2;
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= bytes; i += 16) {
        __m128i s[4] = {zero, zero, zero, zero};
        for (std::int32_t j = 0; j < pairs; ++j) {
            const __m128i weight = _mm_set1_epi32(WeightPair(weights, j));
            const __m128i a =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[window.first + 2 * j] + i));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(SecondRow(rows, window, j) + i));
            // Byte k of both rows side by side as 16-bit values, weighed by the pair.
            const __m128i low = _mm_unpacklo_epi8(a, b);
            const __m128i high = _mm_unpackhi_epi8(a, b);
            s[0] = _mm_add_epi32(s[0], _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), weight));
            s[1] = _mm_add_epi32(s[1], _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), weight));
            s[2] = _mm_add_epi32(s[2], _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), weight));
            s[3] = _mm_add_epi32(s[3], _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), weight));
        }
        for (__m128i &v : s) {
            v = DivideSse41(v, window);
        }
        _mm_storeu_si128(
            reinterpret_cast<__m128i *>(out + i),
            _mm_packus_epi16(_mm_packs_epi32(s[0], s[1]), _mm_packs_epi32(s[2], s[3])));
    }
    for (; i < bytes; ++i) {
        out[i] = FilterByte(rows, window, weights, i);
    }
}

// Taps are read four at a time: pixels 0 and 1 of the four as 16-bit pairs b0 b1 g0 g1 r0 r1
// x0 x1 in the low half, pixels 2 and 3 in the high half, each half against its weight pair.
__attribute__((target("avx2"), always_inline)) inline __m256i
SumTapsAvx2(const std::uint8_t *line, const TapWindow &window, const std::int32_t *spreadPairs,
            __m256i spread)
{
    const std::uint8_t *p = line + 4 * std::size_t(window.first);
    const std::int32_t *w = spreadPairs + 2 * window.offset;
    __m256i sum = _mm256_setzero_si256();
    for (std::int32_t t = 0; t < window.count; t += 4) {
        const __m256i pixels = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 4 * t)));
        const __m256i pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(w + 2 * t));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, spread), pairs));
    }
    return sum;
}

// Two pixels' sums (each in two halves) to their quotients: pixel a low, pixel b high.
__attribute__((target("avx2"), always_inline)) inline __m256i
DivideAvx2(__m256i a, __m256i b, const TapWindow &wa, const TapWindow &wb)
{
    const __m256i sums = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20),
                                          _mm256_permute2x128_si256(a, b, 0x31));
    const __m256 divisors = _mm256_set_m128(_mm_set1_ps(wb.divisor), _mm_set1_ps(wa.divisor));
    __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(sums), divisors));
    if (wa.total == 0 || wb.total == 0) {
        // As DivideSse41 for a total of 0.
        const __m256i shifted = _mm256_set_m128i(_mm_set1_epi32(wb.total == 0 ? -1 : 0),
                                                 _mm_set1_epi32(wa.total == 0 ? -1 : 0));
        q = _mm256_blendv_epi8(q, _mm256_srli_epi32(sums, 8), shifted);
    }
    return q;
}

__attribute__((target("avx2"))) void HorizontalRowAvx2(const std::uint8_t *line,
                                                       const PackedTaps &taps, std::uint8_t *out)
{
    const std::size_t n = taps.windows.size();
    const std::int32_t *pairs = taps.spreadPairs.data();
    const __m256i spread =
        _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1, 8, -1, 12, -1, 9,
                         -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
    // Four output pixels at a time; past the end the last one is repeated into the room beyond.
    for (std::size_t x = 0; x < n; x += 4) {
        const TapWindow &w0 = taps.windows[x];
        const TapWindow &w1 = taps.windows[std::min(x + 1, n - 1)];
        const TapWindow &w2 = taps.windows[std::min(x + 2, n - 1)];
        const TapWindow &w3 = taps.windows[std::min(x + 3, n - 1)];
        const __m256i q01 = DivideAvx2(SumTapsAvx2(line, w0, pairs, spread),
                                       SumTapsAvx2(line, w1, pairs, spread), w0, w1);
        const __m256i q23 = DivideAvx2(SumTapsAvx2(line, w2, pairs, spread),
                                       SumTapsAvx2(line, w3, pairs, spread), w2, w3);
        // Packing works within halves: pixels 0 and 2 end up low, 1 and 3 high.
        const __m256i words = _mm256_packs_epi32(q01, q23);
        const __m256i packed = _mm256_packus_epi16(words, words);
        const __m128i bytes =
            _mm_unpacklo_epi32(_mm256_castsi256_si128(packed), _mm256_extracti128_si256(packed, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * x), PackThreeBytes(bytes));
    }
}

__attribute__((target("avx2"))) void VerticalRowAvx2(const std::uint8_t *const *rows,
                                                     const PackedTaps &taps, std::int32_t y,
                                                     std::size_t bytes, std::uint8_t *out)
{
    const TapWindow &window = taps.windows[std::size_t(y)];
    const std::int16_t *weights = taps.weights.data() + window.offset;
    const std::int32_t pairs = (window.count + 1) / 2;
    const __m256i zero = _mm256_setzero_si256();
    const __m256 divisor = _mm256_set1_ps(window.divisor);
    std::size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        __m256i s[4] = {zero, zero, zero, zero};
        for (std::int32_t j = 0; j < pairs; ++j) {
            const __m256i weight = _mm256_set1_epi32(WeightPair(weights, j));
            const __m256i a = _mm256_loadu_si256(
                reinterpret_cast<const __m256i *>(rows[window.first + 2 * j] + i));
            const __m256i b = _mm256_loadu_si256(
                reinterpret_cast<const __m256i *>(SecondRow(rows, window, j) + i));
            // As in VerticalRowSse41, within each 16-byte half.
            const __m256i low = _mm256_unpacklo_epi8(a, b);
            const __m256i high = _mm256_unpackhi_epi8(a, b);
            s[0] =
                _mm256_add_epi32(s[0], _mm256_madd_epi16(_mm256_unpacklo_epi8(low, zero), weight));
            s[1] =
                _mm256_add_epi32(s[1], _mm256_madd_epi16(_mm256_unpackhi_epi8(low, zero), weight));
            s[2] =
                _mm256_add_epi32(s[2], _mm256_madd_epi16(_mm256_unpacklo_epi8(high, zero), weight));
            s[3] =
                _mm256_add_epi32(s[3], _mm256_madd_epi16(_mm256_unpackhi_epi8(high, zero), weight));
        }
        for (__m256i &v : s) {
            // The division of DivideSse41, eight sums at a time.
            v = window.total == 0
                    ? _mm256_srli_epi32(v, 8)
                    : _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(v), divisor));
        }
        // Packing within halves puts bytes 0..15 and 16..31 back in their order.
        _mm256_storeu_si256(
            reinterpret_cast<__m256i *>(out + i),
            _mm256_packus_epi16(_mm256_packs_epi32(s[0], s[1]), _mm256_packs_epi32(s[2], s[3])));
    }
    for (; i < bytes; ++i) {
        out[i] = FilterByte(rows, window, weights, i);
    }
}

__attribute__((target("sse4.1"))) void ExpandRowSse41(const std::uint8_t *in, std::uint8_t *out,
                                                      std::int32_t width)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    std::int32_t x = 0;
    // 16 bytes are read for the 12 of four pixels, so stop while 4 more lie in the row.
    for (; x + 6 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * x),
                         _mm_shuffle_epi8(pixels, spread));
    }
    for (; x < width; ++x) {
        std::memcpy(out + 4 * x, in + 3 * x, 3);
        out[4 * x + 3] = 0;
    }
}

#endif

} // namespace

bool CpuSupports(VectorLevel level)
{
#ifdef KV_X86_PASSES
    switch (level) {
    case VectorLevel::Sse41:
        return __builtin_cpu_supports("sse4.1");
    case VectorLevel::Avx2:
        return __builtin_cpu_supports("avx2");
    }
#endif
    (void)level;
    return false;
}

std::optional<VectorLevel> BestVectorLevel()
{
    if (CpuSupports(VectorLevel::Avx2)) {
        return VectorLevel::Avx2;
    }
    if (CpuSupports(VectorLevel::Sse41)) {
        return VectorLevel::Sse41;
    }
    return std::nullopt;
}

std::optional<PackedTaps> PackTaps(const std::vector<TapList> &lists, std::int32_t length)
{
    // Bounds of the exact vector arithmetic: weights are 16-bit multiplicands; every sum of
    // weight x byte stays below 2^24 in magnitude, whatever the bytes, and every total below
    // 2^16 (see DivideSse41).
    constexpr std::int64_t kMaxWeight = 32767;
    constexpr std::int64_t kSumLimit = std::int64_t{1} << 24;
    constexpr std::int64_t kTotalLimit = std::int64_t{1} << 16;

    PackedTaps packed;
    packed.windows.reserve(lists.size());
    packed.identity = std::int64_t(lists.size()) == length;
    std::vector<std::int64_t> dense;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const std::vector<FilterTap> &taps = lists[i].taps;
        if (taps.size() != 1 || taps[0].weight != 256 || taps[0].index != std::int32_t(i)) {
            packed.identity = false;
        }
        TapWindow window;
        window.offset = packed.weights.size();
        if (!taps.empty()) {
            const auto [lowest, highest] = std::minmax_element(
                taps.begin(), taps.end(),
                [](const FilterTap &a, const FilterTap &b) { return a.index < b.index; });
            window.first = lowest->index;
            window.count = highest->index - lowest->index + 1;
            dense.assign(std::size_t(window.count), 0);
            std::int64_t total = 0;
            for (const FilterTap &tap : taps) {
                dense[std::size_t(tap.index - window.first)] += tap.weight;
                total += tap.weight;
            }
            std::int64_t magnitude = 0;
            for (const std::int64_t weight : dense) {
                if (std::llabs(weight) > kMaxWeight) {
                    return std::nullopt;
                }
                magnitude += std::llabs(weight);
            }
            if (magnitude * 255 >= kSumLimit || std::llabs(total) >= kTotalLimit) {
                return std::nullopt;
            }
            window.total = std::int32_t(total);
            for (const std::int64_t weight : dense) {
                packed.weights.push_back(std::int16_t(weight));
            }
            packed.weights.resize(packed.weights.size() + std::size_t((4 - window.count % 4) % 4));
            for (std::size_t t = window.offset; t < packed.weights.size(); t += 4) {
                for (const std::size_t first : {t, t + 2}) {
                    std::int32_t pair;
                    std::memcpy(&pair, &packed.weights[first], sizeof pair);
                    packed.spreadPairs.insert(packed.spreadPairs.end(), 4, pair);
                }
            }
        }
        window.divisor = window.total != 0 ? float(window.total) : 1.0f;
        packed.windows.push_back(window);
    }
    return packed;
}

void HorizontalRow(VectorLevel level, const std::uint8_t *line, const PackedTaps &taps,
                   std::uint8_t *out)
{
#ifdef KV_X86_PASSES
    if (level == VectorLevel::Avx2) {
        HorizontalRowAvx2(line, taps, out);
    } else {
        HorizontalRowSse41(line, taps, out);
    }
#else
    (void)level, (void)line, (void)taps, (void)out;
#endif
}

void VerticalRow(VectorLevel level, const std::uint8_t *const *rows, const PackedTaps &taps,
                 std::int32_t y, std::size_t bytes, std::uint8_t *out)
{
#ifdef KV_X86_PASSES
    if (level == VectorLevel::Avx2) {
        VerticalRowAvx2(rows, taps, y, bytes, out);
    } else {
        VerticalRowSse41(rows, taps, y, bytes, out);
    }
#else
    const TapWindow &window = taps.windows[std::size_t(y)];
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = FilterByte(rows, window, taps.weights.data() + window.offset, i);
    }
    (void)level;
#endif
}

void ExpandRow(VectorLevel level, const std::uint8_t *in, std::uint8_t *out, std::int32_t width)
{
    (void)level; // both levels share the 128-bit version
#ifdef KV_X86_PASSES
    ExpandRowSse41(in, out, width);
#else
    for (std::int32_t x = 0; x < width; ++x) {
        std::memcpy(out + 4 * x, in + 3 * x, 3);
        out[4 * x + 3] = 0;
    }
#endif
}

} // namespace kv::imaging::passes
