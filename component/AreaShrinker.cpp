#include "AreaShrinker.h"

#include <algorithm>
#include <cstring>

namespace frolix {

namespace {

// Channels widened to 16 bits: weights in 256ths that sum to 256 keep any weighted sum
// of bytes below 65536, so the compiler can work on 16 channels at a time.
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Sums16 = std::uint16_t __attribute__((vector_size(32)));
using Bytes4 = std::uint8_t __attribute__((vector_size(4)));
using Sums4 = std::uint16_t __attribute__((vector_size(8)));

// out[b] = the weighted mean of rows[k][b], for `bytes` bytes.
void averageRows(
    std::uint8_t* out, const std::uint8_t* const* rows, const std::uint16_t* weights, int count, std::size_t bytes)
{
    std::size_t b = 0;
    for (; b + 16 <= bytes; b += 16) {
        Sums16 sum = {};
        for (int k = 0; k < count; ++k) {
            Bytes16 v;
            std::memcpy(&v, rows[k] + b, 16);
            sum += __builtin_convertvector(v, Sums16) * weights[k];
        }
        Bytes16 mean = __builtin_convertvector((sum + 128) >> 8, Bytes16);
        std::memcpy(out + b, &mean, 16);
    }
    for (; b < bytes; ++b) {
        unsigned sum = 0;
        for (int k = 0; k < count; ++k)
            sum += unsigned(rows[k][b]) * weights[k];
        out[b] = std::uint8_t((sum + 128) >> 8);
    }
}

// out's pixels [from, to] from the row of averaged source rows; a fixed tap count lets
// the compiler unroll the common ratios.
template <int Count>
void averageColumns(std::uint8_t* out, const std::uint8_t* line, const int* first, const std::uint16_t* weights,
    int count, int from, int to)
{
    const int n = Count > 0 ? Count : count;
    for (int x = from; x <= to; ++x) {
        const std::uint8_t* pixel = line + std::size_t(first[x]) * 4;
        const std::uint16_t* w = weights + std::size_t(x) * n;
        Sums4 sum = {};
        for (int k = 0; k < n; ++k) {
            Bytes4 v;
            std::memcpy(&v, pixel + k * 4, 4);
            sum += __builtin_convertvector(v, Sums4) * w[k];
        }
        Bytes4 mean = __builtin_convertvector((sum + 128) >> 8, Bytes4);
        std::memcpy(out + std::size_t(x) * 4, &mean, 4);
    }
}

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
    return taps;
}

const QImage& AreaShrinker::shrink(const QImage& source, QSize size, QRect changed)
{
    if (source.size() != m_from || m_result.size() != size || m_result.format() != source.format()) {
        m_from = source.size();
        m_result = size.isEmpty() ? QImage() : QImage(size, source.format());
        m_rows = taps(m_from.height(), size.height());
        m_columns = taps(m_from.width(), size.width());
        m_line.resize(std::size_t(m_from.width()) * 4);
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
    // The source columns those outputs read, averaged down the rows first.
    const int sourceLeft = m_columns.first[std::size_t(left)];
    const int sourceRight = m_columns.first[std::size_t(right)] + m_columns.count;
    const std::size_t offset = std::size_t(sourceLeft) * 4, bytes = std::size_t(sourceRight - sourceLeft) * 4;
    std::vector<const std::uint8_t*> rows(std::size_t(m_rows.count));
    std::vector<std::uint16_t> weights(std::size_t(m_rows.count));
    for (int y = top; y <= bottom; ++y) {
        // Taps of weight nought are left out: they are up to a third of them.
        int count = 0;
        for (int k = 0; k < m_rows.count; ++k) {
            const std::uint16_t w = m_rows.weights[std::size_t(y) * m_rows.count + k];
            if (w == 0)
                continue;
            rows[std::size_t(count)] = source.constScanLine(m_rows.first[std::size_t(y)] + k) + offset;
            weights[std::size_t(count++)] = w;
        }
        averageRows(m_line.data() + offset, rows.data(), weights.data(), count, bytes);
        std::uint8_t* out = m_result.scanLine(y);
        const int* first = m_columns.first.data();
        const std::uint16_t* w = m_columns.weights.data();
        switch (m_columns.count) {
        case 2:
            averageColumns<2>(out, m_line.data(), first, w, 2, left, right);
            break;
        case 3:
            averageColumns<3>(out, m_line.data(), first, w, 3, left, right);
            break;
        case 4:
            averageColumns<4>(out, m_line.data(), first, w, 4, left, right);
            break;
        default:
            averageColumns<0>(out, m_line.data(), first, w, m_columns.count, left, right);
        }
    }
    return m_result;
}

} // namespace frolix
