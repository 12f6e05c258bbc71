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
// The scene is support/SceneGifs.h's, written by the project's own GIF writer so the
// files do not depend on any GIF library.

#include "SceneGifs.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace frolix::test;

bool save(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool saveHuge(const std::string& path, const std::vector<Rgb>& palette)
{
    const int w = 1920, h = 1080, distinct = 60;
    const std::size_t atLeast = (std::size_t(1) << 30) + 1;
    // Each frame's blocks are what a one-frame file holds between its header and trailer.
    std::vector<std::uint8_t> start = sceneHeader(w, h, palette).bytes();
    start.pop_back(); // the trailer
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> canvas(std::size_t(w) * h);
    for (int f = 0; f < distinct; ++f) {
        paintScene(canvas, w, h, 0, 0, w, h, f, 9);
        GifBuilder one = sceneHeader(w, h, palette);
        sceneImage(one, 0, 0, w, h, 4, canvas);
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
    const auto palette = scenePalette();

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
        GifBuilder gif = sceneHeader(w, h, palette);
        std::vector<std::uint8_t> canvas(std::size_t(w) * h);
        paintScene(canvas, w, h, 0, 0, w, h, 0, 12);
        sceneImage(gif, 0, 0, w, h, 2, canvas);
        std::vector<std::uint8_t> rect(std::size_t(patch) * patch);
        for (int f = 1; f < 1000; ++f) {
            // The patch walks the picture in a Lissajous path and shows the scene's next frame there.
            int px = int((w - patch) * (0.5 + 0.5 * std::sin(f * 0.031)));
            int py = int((h - patch) * (0.5 + 0.5 * std::sin(f * 0.047 + 1.0)));
            paintScene(canvas, w, h, px, py, patch, patch, f, 12);
            for (int y = 0; y < patch; ++y)
                std::memcpy(&rect[std::size_t(y) * patch], &canvas[std::size_t(py + y) * w + px], patch);
            sceneImage(gif, px, py, patch, patch, 2, rect);
        }
        if (!save(dir + "/frames-1000.gif", gif.bytes()))
            return 1;
    }
    return 0;
}
