// make-play-gifs OUTDIR [--large] [--huge]: writes the animations the playing and
// loading benchmarks run on.
//   anim-800x600.gif     800 x 600, 100 frames of 4/100 s, 256 colours: shaded shapes
//                        moving over a drifting gradient, most pixels change each frame
//   frames-1000.gif      1000 x 1000, 1000 frames of 2/100 s: a full first frame, then
//                        a 120 x 120 patch per frame at a moving place
// With --large also (about a minute):
//   large-1080p.gif      1920 x 1080, 300 full frames of 4/100 s, the same scene
//   many-5000.gif        200 x 150, 5000 full frames of 4/100 s, the same scene
// With --huge also huge-1080p.gif: 1920 x 1080 frames of the scene, 60 of them encoded
// and repeated until the file passes 1 GiB, written as it goes.
// Deterministic (no clock, no random seed from outside), written by the project's own
// GIF writer so the files do not depend on any GIF library.

#include "GifBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using frolix::test::GifBuilder;
using frolix::test::Rgb;

// 192 gradient colours round a hue circle, then 8 shape colours in 8 shades each.
std::vector<Rgb> makePalette()
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

GifBuilder header(int width, int height, const std::vector<Rgb>& palette)
{
    GifBuilder gif(std::uint16_t(width), std::uint16_t(height), palette);
    gif.loop(0); // forever
    return gif;
}

void image(GifBuilder& gif, int x, int y, int w, int h, int delayCs, const std::vector<std::uint8_t>& indices)
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
void scene(
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

bool save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// `frames` full frames of the scene at `w` x `h`, 4/100 s each.
std::vector<std::uint8_t> sceneAnimation(int w, int h, int frames, const std::vector<Rgb>& palette)
{
    GifBuilder gif = header(w, h, palette);
    std::vector<std::uint8_t> canvas(std::size_t(w) * h);
    for (int f = 0; f < frames; ++f) {
        scene(canvas, w, h, 0, 0, w, h, f, 9);
        image(gif, 0, 0, w, h, 4, canvas);
    }
    return gif.bytes();
}

bool saveHuge(const std::string& path, const std::vector<Rgb>& palette)
{
    const int w = 1920, h = 1080, distinct = 60;
    const std::size_t atLeast = (std::size_t(1) << 30) + 1;
    // Each frame's blocks are what a one-frame file holds between its header and trailer.
    std::vector<std::uint8_t> start = header(w, h, palette).bytes();
    start.pop_back(); // the trailer
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> canvas(std::size_t(w) * h);
    for (int f = 0; f < distinct; ++f) {
        scene(canvas, w, h, 0, 0, w, h, f, 9);
        GifBuilder one = header(w, h, palette);
        image(one, 0, 0, w, h, 4, canvas);
        std::vector<std::uint8_t> bytes = one.bytes();
        frames.emplace_back(bytes.begin() + std::ptrdiff_t(start.size()), bytes.end() - 1);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(start.data(), 1, start.size(), file) == start.size();
    std::size_t written = start.size();
    for (std::size_t f = 0; ok && written < atLeast; ++f) {
        const std::vector<std::uint8_t>& frame = frames[f % distinct];
        ok = std::fwrite(frame.data(), 1, frame.size(), file) == frame.size();
        written += frame.size();
    }
    ok = ok && std::fputc(0x3B, file) != EOF;
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make-play-gifs OUTDIR [--large] [--huge]\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool large = false, huge = false;
    for (int i = 2; i < argc; ++i) {
        large = large || std::strcmp(argv[i], "--large") == 0;
        huge = huge || std::strcmp(argv[i], "--huge") == 0;
    }
    const auto palette = makePalette();

    if (!save(dir + "/anim-800x600.gif", sceneAnimation(800, 600, 100, palette)))
        return 1;
    if (large
        && (!save(dir + "/large-1080p.gif", sceneAnimation(1920, 1080, 300, palette))
            || !save(dir + "/many-5000.gif", sceneAnimation(200, 150, 5000, palette))))
        return 1;
    if (huge && !saveHuge(dir + "/huge-1080p.gif", palette))
        return 1;
    {
        const int w = 1000, h = 1000, patch = 120;
        GifBuilder gif = header(w, h, palette);
        std::vector<std::uint8_t> canvas(std::size_t(w) * h);
        scene(canvas, w, h, 0, 0, w, h, 0, 12);
        image(gif, 0, 0, w, h, 2, canvas);
        std::vector<std::uint8_t> rect(std::size_t(patch) * patch);
        for (int f = 1; f < 1000; ++f) {
            // The patch walks the picture in a Lissajous path and shows the scene's next frame there.
            int px = int((w - patch) * (0.5 + 0.5 * std::sin(f * 0.031)));
            int py = int((h - patch) * (0.5 + 0.5 * std::sin(f * 0.047 + 1.0)));
            scene(canvas, w, h, px, py, patch, patch, f, 12);
            for (int y = 0; y < patch; ++y)
                std::memcpy(&rect[std::size_t(y) * patch], &canvas[std::size_t(py + y) * w + px], patch);
            image(gif, px, py, patch, patch, 2, rect);
        }
        if (!save(dir + "/frames-1000.gif", gif.bytes()))
            return 1;
    }
    return 0;
}
