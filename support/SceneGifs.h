#pragma once
// The benchmarks' animated scene: shaded shapes moving over a drifting gradient, most
// pixels changing each frame, written with the project's GIF writer. Deterministic (no
// clock, no random seed from outside). make-play-gifs writes its files from it, and
// bench-decode builds its small multi-frame files from it.

#include "GifBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace frolix::test {

// 192 gradient colours round a hue circle, then 8 shape colours in 8 shades each.
inline std::vector<Rgb> scenePalette()
{
    std::vector<Rgb> palette;
    for (int i = 0; i < 192; ++i) {
        double t = i / 192.0 * 2 * M_PI;
        palette.push_back({ std::uint8_t(128 + 90 * std::sin(t)), std::uint8_t(128 + 90 * std::sin(t + 2.1)),
            std::uint8_t(128 + 90 * std::sin(t + 4.2)) });
    }
    const Rgb base[8] = { { 230, 40, 40 }, { 40, 200, 60 }, { 40, 80, 230 }, { 240, 220, 40 }, { 220, 60, 220 },
        { 40, 220, 220 }, { 250, 250, 250 }, { 30, 30, 30 } };
    for (const Rgb& b : base)
        for (int s = 0; s < 8; ++s) {
            double k = 0.45 + 0.55 * s / 7.0;
            palette.push_back({ std::uint8_t(b.r * k), std::uint8_t(b.g * k), std::uint8_t(b.b * k) });
        }
    return palette;
}

inline GifBuilder sceneHeader(int width, int height, const std::vector<Rgb>& palette)
{
    GifBuilder gif(std::uint16_t(width), std::uint16_t(height), palette);
    gif.loop(0); // forever
    return gif;
}

inline void sceneImage(
    GifBuilder& gif, int x, int y, int w, int h, int delayCs, const std::vector<std::uint8_t>& indices)
{
    gif.control({ .delayCs = std::uint16_t(delayCs), .disposal = 1 }); // leave in place
    gif.image({ .left = std::uint16_t(x),
        .top = std::uint16_t(y),
        .width = std::uint16_t(w),
        .height = std::uint16_t(h),
        .indices = indices });
}

// Paints one frame of the scene into `canvas` (palette indices), over rows and columns
// [x0, x0 + w) x [y0, y0 + h) of a `width` x `height` picture.
inline void paintScene(
    std::vector<std::uint8_t>& canvas, int width, int height, int x0, int y0, int w, int h, int frame, int shapes)
{
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            // A gradient drifting 3 pixels a frame along its diagonal, with a slow ripple.
            double v = (x + 0.6 * y) / 4.0 + 12 * std::sin(y / 37.0 + frame * 0.07) + frame * 0.75;
            canvas[std::size_t(y) * width + x] = std::uint8_t(((int(std::floor(v)) % 192) + 192) % 192);
        }
    for (int s = 0; s < shapes; ++s) {
        double cx = width * 0.5 + width * 0.38 * std::sin(frame * 0.045 * (1 + s % 3) + s * 1.3);
        double cy = height * 0.5 + height * 0.36 * std::cos(frame * 0.06 * (1 + s % 2) + s * 0.7);
        double r = 40 + 18 * (s % 4) + 10 * std::sin(frame * 0.1 + s);
        int colour = s % 8;
        for (int y = std::max(y0, int(cy - r)); y < std::min(y0 + h, int(cy + r) + 1); ++y)
            for (int x = std::max(x0, int(cx - r)); x < std::min(x0 + w, int(cx + r) + 1); ++x) {
                double dx = (x - cx) / r, dy = (y - cy) / r;
                double d2 = dx * dx + dy * dy;
                bool inside = (s % 2 == 0) ? d2 <= 1.0 : std::max(std::fabs(dx), std::fabs(dy)) <= 0.8;
                if (!inside)
                    continue;
                // Shaded towards a light from the top-left.
                double light = 1.0 - 0.5 * ((dx + 0.4) * (dx + 0.4) + (dy + 0.4) * (dy + 0.4));
                int shade = std::clamp(int(light * 8), 0, 7);
                canvas[std::size_t(y) * width + x] = std::uint8_t(192 + colour * 8 + shade);
            }
    }
}

// `frames` full frames of the scene at `w` x `h`, 4/100 s each.
inline std::vector<std::uint8_t> sceneAnimation(int w, int h, int frames, const std::vector<Rgb>& palette)
{
    GifBuilder gif = sceneHeader(w, h, palette);
    std::vector<std::uint8_t> canvas(std::size_t(w) * h);
    for (int f = 0; f < frames; ++f) {
        paintScene(canvas, w, h, 0, 0, w, h, f, 9);
        sceneImage(gif, 0, 0, w, h, 4, canvas);
    }
    return gif.bytes();
}

// Small files where a decode's fixed costs and the LZW loop's branches show most. Noise:
// random indices over 256 colours, each frame with a colour table of its own, as small
// real files often have (strings of one or two pixels). Flat: each frame one colour
// (long runs). Deterministic: a fixed xorshift seed.
inline std::vector<std::uint8_t> noiseAnimation(int w, int h, int frames)
{
    std::uint32_t state = 0x9E3779B9u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    GifBuilder gif = sceneHeader(w, h, scenePalette());
    std::vector<std::uint8_t> indices(std::size_t(w) * h);
    for (int f = 0; f < frames; ++f) {
        std::vector<Rgb> local(256);
        for (Rgb& c : local) {
            std::uint32_t v = next();
            c = { std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16) };
        }
        for (std::uint8_t& index : indices)
            index = std::uint8_t(next() >> 24);
        gif.control({ .delayCs = 4, .disposal = 1 });
        gif.image({ .width = std::uint16_t(w), .height = std::uint16_t(h), .indices = indices, .localPalette = local });
    }
    return gif.bytes();
}

inline std::vector<std::uint8_t> flatAnimation(int w, int h, int frames)
{
    GifBuilder gif = sceneHeader(w, h, scenePalette());
    for (int f = 0; f < frames; ++f)
        sceneImage(gif, 0, 0, w, h, 4, std::vector<std::uint8_t>(std::size_t(w) * h, std::uint8_t(f * 17)));
    return gif.bytes();
}

} // namespace frolix::test
