#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <vector>

namespace frolix {

// Shrinks frames of 4-byte pixels: each output pixel is the mean of the picture pixels
// it covers, those covered in part weighted by how much (in 256ths). The result is kept,
// so a frame that changed only a rectangle costs only the output pixels that reach it.
class AreaShrinker {
public:
    // Portable: without the processor's widest vectors, to check them against.
    enum class Vectors { Widest, Portable };
    explicit AreaShrinker(Vectors vectors = Vectors::Widest)
        : m_vectors(vectors)
    {
    }

    // `source` shrunk to `size` (no larger than it either way). `changed` holds every
    // source pixel that differs from the last call's source; it is not trusted when the
    // sizes moved or after forget().
    const QImage& shrink(const QImage& source, QSize size, QRect changed);
    // The next shrink starts afresh (the source is another picture).
    void forget() { m_valid = false; }

private:
    // Along one direction: output i is the sum over k < count of weights[i * count + k]
    // times source pixel first[i] + k, over 256.
    struct Taps {
        int count = 0;
        std::vector<int> first;
        std::vector<std::uint16_t> weights;
        // The same for outputs four at a time: per group and tap, each output's weight
        // four times over (once per channel).
        std::vector<std::uint16_t> wide;
        // Per output, channel by channel, its four taps' weights as bytes: empty for more
        // taps or a weight of 256.
        std::vector<std::uint8_t> quad;
    };
    static Taps taps(int from, int to);
    // Output rows [top, bottom], pixels [left, right] (left a multiple of four).
    void shrinkArea(const QImage& source, int top, int bottom, int left, int right);

    Vectors m_vectors;
    QImage m_result;
    QSize m_from;
    bool m_valid = false;
    Taps m_rows;
    Taps m_columns;
    std::vector<std::uint8_t> m_line; // one output row's worth of source rows, averaged
    std::vector<const std::uint8_t*> m_rowsRead; // the source rows that make that up
    std::vector<std::uint16_t> m_rowWeights; // and their weights
};

} // namespace frolix
