#pragma once
// A long, large animation for the snapshot budget: 1000 x 1000 pixels, 1000 frames.
// The first frame is one full-screen run of a single index (cheap to code and to
// decode); every later frame is a small patch whose disposal depends on its number,
// so each picture depends on the history before it.

#include "GifBuilder.h"

namespace frolix::test {

inline constexpr unsigned kBigSide = 1000;
inline constexpr unsigned kBigFrames = 1000;

inline Bytes bigAnimation()
{
    GifBuilder gif(kBigSide, kBigSide);
    gif.loop(0);
    gif.control({ 4, 1 }).fill(0, 0, kBigSide, kBigSide, 1);
    for (unsigned f = 1; f < kBigFrames; ++f) {
        unsigned disposal = (f % 7 == 3) ? 3 : (f % 5 == 0) ? 2 : 1;
        std::uint16_t x = std::uint16_t((f * 37) % (kBigSide - 16));
        std::uint16_t y = std::uint16_t((f * 53) % (kBigSide - 16));
        gif.control({ 4, disposal });
        gif.fill(x, y, 16, 16, std::uint8_t(2 + f % 200));
    }
    return gif.bytes();
}

// A cheap fingerprint of a picture, to compare frames without keeping them.
inline std::uint64_t fingerprint(std::span<const std::uint8_t> pixels)
{
    std::uint64_t sum = 0, weighted = 0;
    for (std::size_t i = 0; i + 8 <= pixels.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, &pixels[i], 8);
        sum += word;
        weighted += word * (i | 1);
    }
    return sum ^ (weighted * 0x9E3779B97F4A7C15ull);
}

} // namespace frolix::test
