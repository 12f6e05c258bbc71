#include "AreaShrinker.h"

#include <algorithm>
#include <cstring>

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
    for (; x <= right; ++x)
        for (int c = 0; c < 4; ++c) {
            unsigned sum = 0;
            for (int k = 0; k < n; ++k)
                sum += unsigned(line[std::size_t(first[x] + k) * 4 + c]) * weights[std::size_t(x) * n + k];
            out[std::size_t(x) * 4 + c] = std::uint8_t((sum + 128) >> 8);
        }
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
    taps.wide.assign(std::size_t(to + 3) / 4 * taps.count * 16, 0);
    for (int i = 0; i < to; ++i)
        for (int k = 0; k < taps.count; ++k)
            for (int c = 0; c < 4; ++c)
                taps.wide[(std::size_t(i / 4) * taps.count + k) * 16 + std::size_t(i % 4) * 4 + c]
                    = taps.weights[std::size_t(i) * taps.count + k];
    return taps;
}

// Built twice on x86-64, the wider vectors taken where the processor has them.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
void AreaShrinker::shrinkArea(const QImage& source, int top, int bottom, int left, int right)
{
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
        withCount<RowsJob>(count, m_line.data() + offset, m_rowsRead.data(), m_rowWeights.data(), count, bytes);
        withCount<ColumnsJob>(m_columns.count, m_result.scanLine(y), m_line.data(), m_columns.first.data(),
            m_columns.weights.data(), m_columns.wide.data(), m_columns.count, left, right);
    }
}

const QImage& AreaShrinker::shrink(const QImage& source, QSize size, QRect changed)
{
    if (source.size() != m_from || m_result.size() != size || m_result.format() != source.format()) {
        m_from = source.size();
        m_result = size.isEmpty() ? QImage() : QImage(size, source.format());
        m_rows = taps(m_from.height(), size.height());
        m_columns = taps(m_from.width(), size.width());
        m_line.resize(std::size_t(m_from.width()) * 4);
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
