#include "AreaShrinker.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define FROLIX_SHRINK_AVX2 1
#include <immintrin.h>
#endif

namespace frolix {

// The vectors below never cross a call (all is inlined), so their calling convention is moot.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// Channels widened to 16 bits: weights in 256ths that sum to 256 keep any weighted sum
// of bytes below 65536, so the compiler can work on 16 channels at a time.
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Sums16 = std::uint16_t __attribute__((vector_size(32)));

[[gnu::always_inline]] inline Sums16 widen(const std::uint8_t* bytes)
{
    Bytes16 v;
    std::memcpy(&v, bytes, 16);
    return __builtin_convertvector(v, Sums16);
}

[[gnu::always_inline]] inline void narrow(std::uint8_t* out, Sums16 sum)
{
    Bytes16 mean = __builtin_convertvector((sum + 128) >> 8, Bytes16);
    std::memcpy(out, &mean, 16);
}

// out[b] = the weighted mean of rows[k][b], for `bytes` bytes. A fixed tap count (the
// common ratios) keeps the sums in registers.
template <int Count>
[[gnu::always_inline]] inline void averageRows(
    std::uint8_t* out, const std::uint8_t* const* rows, const std::uint16_t* weights, int count, std::size_t bytes)
{
    const int n = Count > 0 ? Count : count;
    std::size_t b = 0;
    for (; b + 16 <= bytes; b += 16) {
        Sums16 sum = widen(rows[0] + b) * weights[0];
        for (int k = 1; k < n; ++k)
            sum += widen(rows[k] + b) * weights[k];
        narrow(out + b, sum);
    }
    for (; b < bytes; ++b) {
        unsigned sum = 0;
        for (int k = 0; k < n; ++k)
            sum += unsigned(rows[k][b]) * weights[k];
        out[b] = std::uint8_t((sum + 128) >> 8);
    }
}

// Output pixels [left, right] one at a time: what is left after groups of four.
[[gnu::always_inline]] inline void averageColumnsOneByOne(std::uint8_t* out, const std::uint8_t* line, const int* first,
    const std::uint16_t* weights, int count, int left, int right)
{
    for (int x = left; x <= right; ++x)
        for (int c = 0; c < 4; ++c) {
            unsigned sum = 0;
            for (int k = 0; k < count; ++k)
                sum += unsigned(line[std::size_t(first[x] + k) * 4 + c]) * weights[std::size_t(x) * count + k];
            out[std::size_t(x) * 4 + c] = std::uint8_t((sum + 128) >> 8);
        }
}

// Output pixels [left, right] from a row of averaged source rows, four at a time (left
// a multiple of four): the weights come laid out for that, four pixels' channels side
// by side per tap.
template <int Count>
[[gnu::always_inline]] inline void averageColumns(std::uint8_t* out, const std::uint8_t* line, const int* first,
    const std::uint16_t* weights, const std::uint16_t* wide, int count, int left, int right)
{
    const int n = Count > 0 ? Count : count;
    int x = left;
    for (; x + 3 <= right; x += 4) {
        const std::uint16_t* w = wide + std::size_t(x / 4) * n * 16;
        Sums16 sum = {};
        for (int k = 0; k < n; ++k) {
            std::uint32_t pixels[4];
            for (int j = 0; j < 4; ++j)
                std::memcpy(&pixels[j], line + std::size_t(first[x + j] + k) * 4, 4);
            Sums16 share;
            std::memcpy(&share, w + k * 16, 32);
            sum += widen(reinterpret_cast<const std::uint8_t*>(pixels)) * share;
        }
        narrow(out + std::size_t(x) * 4, sum);
    }
    averageColumnsOneByOne(out, line, first, weights, n, x, right);
}

// Dispatches on the tap count.
template <template <int> class Job, typename... Args>
[[gnu::always_inline]] inline void withCount(int count, Args&&... args)
{
    switch (count) {
    case 1:
        return Job<1>::run(args...);
    case 2:
        return Job<2>::run(args...);
    case 3:
        return Job<3>::run(args...);
    case 4:
        return Job<4>::run(args...);
    default:
        return Job<0>::run(args...);
    }
}

template <int Count> struct RowsJob {
    [[gnu::always_inline]] static void run(
        std::uint8_t* out, const std::uint8_t* const* rows, const std::uint16_t* weights, int count, std::size_t bytes)
    {
        averageRows<Count>(out, rows, weights, count, bytes);
    }
};

template <int Count> struct ColumnsJob {
    [[gnu::always_inline]] static void run(std::uint8_t* out, const std::uint8_t* line, const int* first,
        const std::uint16_t* weights, const std::uint16_t* wide, int count, int left, int right)
    {
        averageColumns<Count>(out, line, first, weights, wide, count, left, right);
    }
};

// The outputs whose taps reach source pixels [low, high]; first is ascending.
std::pair<int, int> reaching(const std::vector<int>& first, int count, int low, int high)
{
    auto begin = std::lower_bound(first.begin(), first.end(), low - count + 1);
    auto end = std::upper_bound(begin, first.end(), high);
    return { int(begin - first.begin()), int(end - first.begin()) - 1 };
}

#ifdef FROLIX_SHRINK_AVX2
// The same sums in AVX2, multiplying bytes in pairs (vpmaddubsw): half the multiplies of
// widening to 16 bits, which bound the averaging. The weights go in as unsigned bytes, so
// this needs every weight below 256; the pixels as signed ones, top bit flipped (p - 128),
// which keeps any weighted sum within 16 bits: it lies in [-128 * 256, 127 * 256]. The
// 128 * 256 taken off comes back with the rounding half, so the sums are exact: the bytes
// are the portable code's.
#define FROLIX_AVX2 __attribute__((target("avx2"), always_inline)) inline

FROLIX_AVX2 __m256i signedPixels(__m256i bytes) { return _mm256_xor_si256(bytes, _mm256_set1_epi8(char(0x80))); }

// Sums of signed pixels times weights, to means as unsigned 16-bit lanes.
FROLIX_AVX2 __m256i means16(__m256i sums)
{
    return _mm256_srli_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(short(0x8080))), 8);
}

// Rows taken in pairs, their bytes interleaved: up to 2 * Pairs taps, an odd one out
// paired with itself at weight nought.
template <int Pairs> struct RowsAvx2 {
    [[gnu::target("avx2")]] static void run(
        std::uint8_t* out, const std::uint8_t* const* rows, const std::uint16_t* weights, int count, std::size_t bytes)
    {
        const std::uint8_t* first[Pairs];
        const std::uint8_t* second[Pairs];
        __m256i w[Pairs];
        for (int p = 0; p < Pairs; ++p) {
            const bool paired = 2 * p + 1 < count;
            first[p] = rows[2 * p];
            second[p] = paired ? rows[2 * p + 1] : rows[2 * p];
            w[p] = _mm256_set1_epi16(short(weights[2 * p] | (paired ? weights[2 * p + 1] : 0) << 8));
        }
        std::size_t b = 0;
        for (; b + 32 <= bytes; b += 32) {
            __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
            for (int p = 0; p < Pairs; ++p) {
                const __m256i a = signedPixels(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first[p] + b)));
                const __m256i c = signedPixels(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(second[p] + b)));
                low = _mm256_add_epi16(low, _mm256_maddubs_epi16(w[p], _mm256_unpacklo_epi8(a, c)));
                high = _mm256_add_epi16(high, _mm256_maddubs_epi16(w[p], _mm256_unpackhi_epi8(a, c)));
            }
            // Both interleave and pack work within each 128-bit half, so packing undoes
            // the interleaving's order.
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b), _mm256_packus_epi16(means16(low), means16(high)));
        }
        for (; b < bytes; ++b) {
            unsigned sum = 0;
            for (int k = 0; k < count; ++k)
                sum += unsigned(rows[k][b]) * weights[k];
            out[b] = std::uint8_t((sum + 128) >> 8);
        }
    }
};

// Dispatches on the pairs of taps, 1 to 4.
[[gnu::target("avx2")]] void withPairs(
    std::uint8_t* out, const std::uint8_t* const* rows, const std::uint16_t* weights, int count, std::size_t bytes)
{
    switch ((count + 1) / 2) {
    case 1:
        return RowsAvx2<1>::run(out, rows, weights, count, bytes);
    case 2:
        return RowsAvx2<2>::run(out, rows, weights, count, bytes);
    case 3:
        return RowsAvx2<3>::run(out, rows, weights, count, bytes);
    default:
        return RowsAvx2<4>::run(out, rows, weights, count, bytes);
    }
}

// Whether a pass with these taps can go the AVX2 way.
bool fitsAvx2(const std::uint16_t* weights, int count)
{
    return count <= 8 && std::all_of(weights, weights + count, [](std::uint16_t w) { return w < 256; });
}

// Two outputs in one register, each from the four pixels from its first tap on in one
// load (the line has room for that load past its end), their bytes ordered channel by
// channel so that pairs of taps multiply together: `quad` holds, per output, its four
// taps' weights once per channel (nought past its taps).
FROLIX_AVX2 __m256i twoOutputs(const std::uint8_t* line, const int* first, const std::uint8_t* quad, int x)
{
    const __m256i byChannel = _mm256_setr_epi8(
        0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    const __m256i pixels = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + std::size_t(first[x]) * 4))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + std::size_t(first[x + 1]) * 4)), 1);
    return _mm256_maddubs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(quad + std::size_t(x) * 16)),
        _mm256_shuffle_epi8(signedPixels(pixels), byChannel));
}

[[gnu::target("avx2")]] void columnsAvx2(std::uint8_t* out, const std::uint8_t* line, const int* first,
    const std::uint16_t* weights, const std::uint8_t* quad, int count, int left, int right)
{
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 0, 4, 1, 5);
    int x = left;
    for (; x + 3 <= right; x += 4) {
        // Taps 0 + 1 and 2 + 3 of outputs x and x + 1, then of x + 2 and x + 3, added:
        // x and x + 2 in the low half, x + 1 and x + 3 in the high one.
        const __m256i sums = _mm256_hadd_epi16(twoOutputs(line, first, quad, x), twoOutputs(line, first, quad, x + 2));
        const __m256i mean = means16(sums);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(mean, mean), order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + std::size_t(x) * 4), _mm256_castsi256_si128(packed));
    }
    averageColumnsOneByOne(out, line, first, weights, count, x, right);
}
#undef FROLIX_AVX2
#endif

} // namespace

AreaShrinker::Taps AreaShrinker::taps(int from, int to)
{
    // Output i covers source [i * from, (i + 1) * from) in units of 1/to of a pixel.
    Taps taps;
    for (int i = 0; i < to; ++i) {
        const long long start = (long long)i * from, end = start + from;
        taps.count = std::max(taps.count, int((end - 1) / to - start / to + 1));
    }
    taps.first.resize(std::size_t(to));
    taps.weights.assign(std::size_t(to) * taps.count, 0);
    for (int i = 0; i < to; ++i) {
        const long long start = (long long)i * from, end = start + from;
        const int low = int(start / to), high = int((end - 1) / to);
        // Every output has the same tap count; at the far edge the taps start early
        // with weights of nought.
        const int base = std::min(low, from - taps.count);
        taps.first[std::size_t(i)] = base;
        std::uint16_t* w = &taps.weights[std::size_t(i) * taps.count];
        int sum = 0;
        for (int s = low; s <= high; ++s) {
            const long long covered = std::min(end, (long long)(s + 1) * to) - std::max(start, (long long)s * to);
            w[s - base] = std::uint16_t((covered * 256 + from / 2) / from);
            sum += w[s - base];
        }
        // Rounding may leave the sum a little off 256: the largest share absorbs it.
        *std::max_element(w, w + taps.count) += std::uint16_t(256 - sum);
    }
    if (taps.count <= 4 && std::all_of(taps.weights.begin(), taps.weights.end(), [](auto w) { return w < 256; })) {
        taps.quad.assign(std::size_t(to) * 16, 0);
        for (int i = 0; i < to; ++i)
            for (int k = 0; k < taps.count; ++k)
                for (int c = 0; c < 4; ++c)
                    taps.quad[std::size_t(i) * 16 + std::size_t(c) * 4 + k]
                        = std::uint8_t(taps.weights[std::size_t(i) * taps.count + k]);
    }
    taps.wide.assign(std::size_t(to + 3) / 4 * taps.count * 16, 0);
    for (int i = 0; i < to; ++i)
        for (int k = 0; k < taps.count; ++k)
            for (int c = 0; c < 4; ++c)
                taps.wide[(std::size_t(i / 4) * taps.count + k) * 16 + std::size_t(i % 4) * 4 + c]
                    = taps.weights[std::size_t(i) * taps.count + k];
    return taps;
}

void AreaShrinker::shrinkArea(const QImage& source, int top, int bottom, int left, int right)
{
#ifdef FROLIX_SHRINK_AVX2
    const bool avx2 = m_vectors == Vectors::Widest && __builtin_cpu_supports("avx2");
#endif
    // The source columns those outputs read, averaged down the rows first.
    const int sourceLeft = m_columns.first[std::size_t(left)];
    const int sourceRight = m_columns.first[std::size_t(right)] + m_columns.count;
    const std::size_t offset = std::size_t(sourceLeft) * 4, bytes = std::size_t(sourceRight - sourceLeft) * 4;
    for (int y = top; y <= bottom; ++y) {
        // Taps of weight nought are left out: they are up to a third of them.
        int count = 0;
        for (int k = 0; k < m_rows.count; ++k) {
            const std::uint16_t w = m_rows.weights[std::size_t(y) * m_rows.count + k];
            if (w == 0)
                continue;
            m_rowsRead[std::size_t(count)] = source.constScanLine(m_rows.first[std::size_t(y)] + k) + offset;
            m_rowWeights[std::size_t(count++)] = w;
        }
        std::uint8_t* line = m_line.data() + offset;
        std::uint8_t* out = m_result.scanLine(y);
#ifdef FROLIX_SHRINK_AVX2
        if (avx2 && fitsAvx2(m_rowWeights.data(), count)) {
            withPairs(line, m_rowsRead.data(), m_rowWeights.data(), count, bytes);
        } else
#endif
            withCount<RowsJob>(count, line, m_rowsRead.data(), m_rowWeights.data(), count, bytes);
#ifdef FROLIX_SHRINK_AVX2
        if (avx2 && !m_columns.quad.empty()) {
            columnsAvx2(out, m_line.data(), m_columns.first.data(), m_columns.weights.data(), m_columns.quad.data(),
                m_columns.count, left, right);
            continue;
        }
#endif
        withCount<ColumnsJob>(m_columns.count, out, m_line.data(), m_columns.first.data(), m_columns.weights.data(),
            m_columns.wide.data(), m_columns.count, left, right);
    }
}

const QImage& AreaShrinker::shrink(const QImage& source, QSize size, QRect changed)
{
    if (source.size() != m_from || m_result.size() != size || m_result.format() != source.format()) {
        m_from = source.size();
        m_result = size.isEmpty() ? QImage() : QImage(size, source.format());
        m_rows = taps(m_from.height(), size.height());
        m_columns = taps(m_from.width(), size.width());
        // Room for a load of four pixels from the last one.
        m_line.resize(std::size_t(m_from.width()) * 4 + 16);
        m_rowsRead.resize(std::size_t(m_rows.count));
        m_rowWeights.resize(std::size_t(m_rows.count));
        m_valid = false;
    }
    const QRect area = m_valid ? changed & source.rect() : source.rect();
    m_valid = true;
    if (area.isEmpty() || m_result.isNull())
        return m_result;
    const auto [top, bottom] = reaching(m_rows.first, m_rows.count, area.top(), area.bottom());
    const auto [left, right] = reaching(m_columns.first, m_columns.count, area.left(), area.right());
    if (top > bottom || left > right)
        return m_result;
    // Whole groups of four outputs, as the columns are averaged.
    shrinkArea(source, top, bottom, left / 4 * 4, std::min(size.width() - 1, right / 4 * 4 + 3));
    return m_result;
}

} // namespace frolix
